// The cleaning engine as a QProcess. QProcess reports on the main thread, so the
// client's state is only ever touched there.
#pragma once

#include <QPointer>
#include <QProcess>

#include "EngineGroup.hpp"
#include "EngineProcess.hpp"

namespace virirado {

// The engine runs in a process group of its own (`EngineGroup`), and whatever of
// that group is left is ended with it: a helper the engine started (and that
// holds its output) never outlives the app. The group is signalled only while
// it is held, so no signal reaches a process that took over its number.
class QtEngineProcess : public EngineProcess {
public:
    // `send` delivers the group's signals (kill(2) unless a test records them).
    explicit QtEngineProcess(EngineGroup::Sender send = {});
    // Gives the engine a moment to end by itself once its input is closed, then
    // terminates its whole group and finally kills it. An engine that ignores
    // all of it holds the app about one second at most. After `kill`, or once
    // the engine ended by itself, there is nothing left to end.
    ~QtEngineProcess() override;

    std::optional<std::string> launch(const std::string& executable,
                                      const std::vector<std::string>& arguments,
                                      const Environment& environment, Handlers handlers) override;
    bool usable() const override;
    std::optional<std::string> write(const std::string& bytes) override;
    // Kills the engine's whole group and reaps the engine.
    void kill() override;

    const EngineGroup& group() const { return m_group; }

    // Milliseconds the engine is given to end by itself once its input is
    // closed, then to end on SIGTERM, then for the killed group to be gone.
    static constexpr int kInputGraceMs = 500;
    static constexpr int kTermGraceMs = 300;
    static constexpr int kReapMs = 200;

private:
    QPointer<QProcess> m_process;
    Handlers m_handlers;
    EngineGroup m_group;
};

// Runs work on the global thread pool and hands `done` back to the event loop.
class QtExecutor : public Executor {
public:
    void run(std::function<void()> work, std::function<void()> done) override;
};

}  // namespace virirado
