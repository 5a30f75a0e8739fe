// Logout (SIGTERM), a closed terminal (SIGHUP) and an interrupt (SIGINT) as a
// request to end the app at once. Left to their default, these signals ended
// the app on the spot: a clean's rows never reached the deletion log and an
// engine that hung outlived the app.
//
// A signal the app was started with ignored stays ignored: under nohup a
// hangup must not end the app and a running clean's engine, and a background
// job of a shell without job control ignores Ctrl+C.
//
// A signal handler may do almost nothing, so it only writes one byte to a pipe;
// a socket notifier on the main thread reads it and calls the app back there,
// where anything may be done.
#pragma once

#include <signal.h>

#include <QObject>
#include <array>
#include <functional>

class QSocketNotifier;

namespace virirado {

class QuitSignals : public QObject {
    Q_OBJECT
public:
    // Catches the three signals (those not ignored already) and calls
    // `onSignal` on the main thread for each burst of them. Needs a running QCoreApplication. Only
    // one may exist at a time; a second catches nothing (`catching()` is false).
    explicit QuitSignals(std::function<void()> onSignal, QObject* parent = nullptr);
    // Puts back the handlers that were there before.
    ~QuitSignals() override;
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

    bool catching() const { return m_readEnd >= 0; }

private:
    void drain();

    std::function<void()> m_onSignal;
    int m_readEnd = -1;
    QSocketNotifier* m_notifier = nullptr;
    std::array<struct sigaction, 3> m_previous{};
    // Which of the three this object caught, and so has to put back.
    std::array<bool, 3> m_caught{};
};

}  // namespace virirado
