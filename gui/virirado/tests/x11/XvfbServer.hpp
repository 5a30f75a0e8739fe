// An X server of the test's own: Xvfb on a display it picks itself
// (`-displayfd`), ended with the test, and never left behind even when the test
// process dies (it is signalled when its parent goes).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

namespace virirado::testing {

class XvfbServer {
public:
    XvfbServer() { start(); }
    ~XvfbServer() { stop(); }
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // ":N" once it listens; empty when it could not start (`problem()` says why).
    const std::string& display() const { return m_display; }
    const std::string& problem() const { return m_problem; }

    // Ends the server, as the end of a session does; nothing when it is not running.
    void stop() {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGTERM);
        for (int i = 0; i < 100; ++i) {
            if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    // The descriptor the child is told to write its display number to.
    static constexpr int kDisplayFd = 3;

    void start() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            m_problem = "no pipe for Xvfb";
            return;
        }
        const pid_t parent = ::getpid();
        m_pid = ::fork();
        if (m_pid == 0) {
            // Only calls that are safe between fork and exec.
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (::getppid() != parent) ::_exit(126);
            ::dup2(fds[1], kDisplayFd);
            const int null = ::open("/dev/null", O_RDWR);
            if (null >= 0) {
                ::dup2(null, STDIN_FILENO);
                ::dup2(null, STDOUT_FILENO);
                ::dup2(null, STDERR_FILENO);
            }
            ::execlp("Xvfb", "Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-screen", "0",
                     "1600x1000x24", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        if (m_pid < 0) {
            ::close(fds[0]);
            m_problem = "cannot fork for Xvfb";
            return;
        }
        m_display = readDisplay(fds[0]);
        ::close(fds[0]);
        if (m_display.empty()) {
            m_problem = "Xvfb did not start (is the package xvfb installed?)";
            stop();
        }
    }

    // The number Xvfb writes once it accepts clients, within ten seconds.
    static std::string readDisplay(int fd) {
        std::string number;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < until) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char c = 0;
            if (::read(fd, &c, 1) != 1) break;
            if (c == '\n') return number.empty() ? "" : ":" + number;
            number += c;
        }
        return "";
    }

    pid_t m_pid = -1;
    std::string m_display;
    std::string m_problem;
};

}  // namespace virirado::testing
