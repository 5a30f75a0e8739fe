// What still runs of the processes a test started, read from /proc. A process
// that has ended but was not yet reaped (a zombie, which an init that does not
// reap orphans keeps for good) no longer runs and is not counted.
#pragma once

#include <sys/types.h>

#include <QTest>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace virirado::testing {

struct ProcessStat {
    pid_t pid = 0;
    char state = '?';
    pid_t group = 0;
};

// The process's state and group, or none when it is gone.
inline std::optional<ProcessStat> processStat(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(in, text)) return std::nullopt;
    // "pid (name) state ppid pgrp ...": the name may hold spaces and parentheses.
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream rest(text.substr(close + 1));
    ProcessStat s;
    s.pid = pid;
    pid_t parent = 0;
    rest >> s.state >> parent >> s.group;
    if (!rest) return std::nullopt;
    return s;
}

inline bool running(pid_t pid) {
    const std::optional<ProcessStat> s = processStat(pid);
    return s && s->state != 'Z' && s->state != 'X';
}

// The group `pid` runs in, 0 when it is gone. The engine's group is not named
// after the engine, so it is read while the engine runs.
inline pid_t groupOf(pid_t pid) {
    const std::optional<ProcessStat> s = processStat(pid);
    return s ? s->group : 0;
}

// The processes of `group` that still run.
inline std::vector<pid_t> runningInGroup(pid_t group) {
    std::vector<pid_t> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        const pid_t pid = static_cast<pid_t>(std::stol(name));
        const std::optional<ProcessStat> s = processStat(pid);
        if (s && s->group == group && s->state != 'Z' && s->state != 'X') found.push_back(pid);
    }
    return found;
}

// Waits up to `ms` for every one of `pids`, and every process of `group`, to
// stop running.
inline bool allEnd(const std::vector<pid_t>& pids, pid_t group, int ms) {
    return QTest::qWaitFor(
        [&] {
            for (pid_t pid : pids) {
                if (running(pid)) return false;
            }
            return runningInGroup(group).empty();
        },
        ms);
}

}  // namespace virirado::testing
