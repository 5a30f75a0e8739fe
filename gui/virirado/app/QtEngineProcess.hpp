// The cleaning engine as a QProcess. QProcess reports on the main thread, so the
// client's state is only ever touched there.
#pragma once

#include <QPointer>
#include <QProcess>

#include "EngineProcess.hpp"

namespace virirado {

// The engine runs in a process group of its own, and whatever of that group is
// left is ended with it: a helper the engine started (and that holds its output)
// never outlives the app.
class QtEngineProcess : public EngineProcess {
public:
    QtEngineProcess() = default;
    // Gives the engine a moment to end by itself once its input is closed, then
    // terminates its whole group and finally kills it. An engine that ignores
    // all of it holds the app about one second at most.
    ~QtEngineProcess() override;

    std::optional<std::string> launch(const std::string& executable,
                                      const std::vector<std::string>& arguments,
                                      const Environment& environment, Handlers handlers) override;
    bool usable() const override;
    std::optional<std::string> write(const std::string& bytes) override;
    // Kills the engine's whole group.
    void kill() override;

    // Milliseconds the engine is given to end by itself once its input is
    // closed, then to end on SIGTERM, then for the killed engine to be reaped.
    static constexpr int kInputGraceMs = 500;
    static constexpr int kTermGraceMs = 300;
    static constexpr int kReapMs = 200;

private:
    // Sends `signal` to what is left of the engine's group; false when nothing is.
    bool signalGroup(int signal);
    // Waits up to `ms` for the engine and the rest of its group to end.
    bool waitForGroup(int ms);
    // What the engine left running when it ended by itself: stray helpers of
    // an engine that is gone, ended at once.
    void endStrays();

    QPointer<QProcess> m_process;
    Handlers m_handlers;
    // The engine's process id, which names its group; 0 once the group is gone.
    qint64 m_group = 0;
};

// Runs work on the global thread pool and hands `done` back to the event loop.
class QtExecutor : public Executor {
public:
    void run(std::function<void()> work, std::function<void()> done) override;
};

}  // namespace virirado
