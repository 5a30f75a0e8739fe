// The cleaning engine as a QProcess. QProcess reports on the main thread, so the
// client's state is only ever touched there.
#pragma once

#include <QPointer>
#include <QProcess>

#include "EngineProcess.hpp"

namespace virirado {

class QtEngineProcess : public EngineProcess {
public:
    QtEngineProcess() = default;
    // Lets a running engine finish its current item: input closed, then a short
    // wait, then a terminate and finally a kill.
    ~QtEngineProcess() override;

    std::optional<std::string> launch(const std::string& executable,
                                      const std::vector<std::string>& arguments,
                                      const Environment& environment, Handlers handlers) override;
    bool usable() const override;
    std::optional<std::string> write(const std::string& bytes) override;
    void kill() override;

private:
    QPointer<QProcess> m_process;
    Handlers m_handlers;
};

// Runs work on the global thread pool and hands `done` back to the event loop.
class QtExecutor : public Executor {
public:
    void run(std::function<void()> work, std::function<void()> done) override;
};

}  // namespace virirado
