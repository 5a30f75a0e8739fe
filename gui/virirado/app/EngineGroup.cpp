#include "EngineGroup.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "ProcStat.hpp"

namespace virirado {

namespace {

// How often a wait for the group looks again.
constexpr auto kPoll = std::chrono::milliseconds(10);

bool isNumber(const char* name) {
    if (*name == '\0') return false;
    for (; *name != '\0'; ++name) {
        if (*name < '0' || *name > '9') return false;
    }
    return true;
}

// Some process of `group` runs: neither a zombie nor dead.
bool groupRuns(pid_t group) {
    const std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), ::closedir);
    if (!proc) return false;
    while (const dirent* entry = ::readdir(proc.get())) {
        if (!isNumber(entry->d_name)) continue;
        const auto stat = procStat(static_cast<pid_t>(std::strtol(entry->d_name, nullptr, 10)));
        if (stat && stat->group == group && stat->runs()) return true;
    }
    return false;
}

}  // namespace

EngineGroup::EngineGroup(Sender send) : m_send(std::move(send)) {
    if (!m_send) m_send = [](pid_t target, int sig) { return ::kill(target, sig); };
}

bool EngineGroup::takeChildSignal() {
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    return ::sigaction(SIGCHLD, &byDefault, nullptr) == 0;
}

EngineGroup::~EngineGroup() {
    endNow(0);
}

std::optional<std::string> EngineGroup::start() {
    release();
    const pid_t child = ::fork();
    if (child < 0) return std::string("no process for the engine's group: ") + std::strerror(errno);
    if (child == 0) {
        // Only calls a forked copy of a threaded program may make.
        ::_exit(::setpgid(0, 0) == 0 ? 0 : 1);
    }
    // Waits for its end, but leaves it unreaped: from here on the number is ours.
    siginfo_t info{};
    int waited;
    do {
        waited = ::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT);
    } while (waited != 0 && errno == EINTR);
    if (waited != 0) {
        return std::string("the engine's group could not be kept: ") + std::strerror(errno);
    }
    m_leader = child;
    if (info.si_code != CLD_EXITED || info.si_status != 0) {
        release();
        return std::string("the engine's group could not be made");
    }
    return std::nullopt;
}

bool EngineGroup::stillOurs() {
    if (m_leader <= 0) return false;
    siginfo_t info{};
    const int waited =
        ::waitid(P_PID, static_cast<id_t>(m_leader), &info, WEXITED | WNOHANG | WNOWAIT);
    if (waited == 0 && info.si_pid == m_leader) return true;
    // Reaped by someone else: its number may already be another's.
    m_leader = 0;
    return false;
}

bool EngineGroup::anyRunning() const {
    return m_leader > 0 && groupRuns(m_leader);
}

bool EngineGroup::waitUntilEmpty(int ms) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (!anyRunning()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kPoll);
    }
}

bool EngineGroup::signal(int sig) {
    if (!stillOurs() || !anyRunning()) return false;
    return m_send(-m_leader, sig) == 0;
}

void EngineGroup::end(int termMs, int killMs) {
    if (signal(SIGTERM)) waitUntilEmpty(termMs);
    endNow(killMs);
}

void EngineGroup::endNow(int killMs) {
    if (signal(SIGKILL)) waitUntilEmpty(killMs);
    release();
}

void EngineGroup::release() {
    if (m_leader <= 0) return;
    // Reaps only the placeholder; a number someone else reaped is left alone.
    if (stillOurs()) {
        while (::waitpid(m_leader, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    m_leader = 0;
}

}  // namespace virirado
