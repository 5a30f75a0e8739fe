#include "QuitSignals.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>

namespace virirado {

namespace {

constexpr std::array<int, 3> kSignals{SIGTERM, SIGHUP, SIGINT};

// The pipe's write end, for the handler: a handler is handed nothing but the
// signal's number, so this one value has to live outside any object.
std::atomic<int> writeEnd{-1};

void wakeMainThread(int) {
    const int saved = errno;
    const int fd = writeEnd.load(std::memory_order_relaxed);
    if (fd >= 0) {
        const char byte = 1;
        // A full pipe already holds a wake-up: nothing is lost.
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = saved;
}

}  // namespace

QuitSignals::QuitSignals(std::function<void()> onSignal, QObject* parent)
    : QObject(parent), m_onSignal(std::move(onSignal)) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    int expected = -1;
    if (!writeEnd.compare_exchange_strong(expected, fds[1])) {
        ::close(fds[0]);
        ::close(fds[1]);
        return;
    }
    m_readEnd = fds[0];
    m_notifier = new QSocketNotifier(m_readEnd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::drain);
    struct sigaction action {};
    action.sa_handler = wakeMainThread;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        if (::sigaction(kSignals[i], nullptr, &m_previous[i]) != 0) continue;
        const bool ignored =
            (m_previous[i].sa_flags & SA_SIGINFO) == 0 && m_previous[i].sa_handler == SIG_IGN;
        if (ignored) continue;
        m_caught[i] = ::sigaction(kSignals[i], &action, nullptr) == 0;
    }
}

QuitSignals::~QuitSignals() {
    if (!catching()) return;
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        if (m_caught[i]) ::sigaction(kSignals[i], &m_previous[i], nullptr);
    }
    const int fd = writeEnd.exchange(-1);
    ::close(fd);
    delete m_notifier;
    ::close(m_readEnd);
}

void QuitSignals::drain() {
    char bytes[64];
    while (::read(m_readEnd, bytes, sizeof bytes) > 0) {
    }
    if (m_onSignal) m_onSignal();
}

}  // namespace virirado
