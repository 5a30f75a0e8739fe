// What still runs of the processes a test started, read from /proc as the
// engine's group reads it. A process that has ended but was not yet reaped (a
// zombie, which an init that does not reap orphans keeps for good) no longer
// runs and is not counted.
#pragma once

#include <sys/types.h>

#include <QTest>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ProcStat.hpp"

namespace virirado::testing {

inline bool running(pid_t pid) {
    const std::optional<ProcStat> s = procStat(pid);
    return s && s->runs();
}

// The group `pid` runs in, 0 when it is gone. The engine's group is not named
// after the engine, so it is read while the engine runs.
inline pid_t groupOf(pid_t pid) {
    const std::optional<ProcStat> s = procStat(pid);
    return s ? s->group : 0;
}

// The processes of `group` that still run.
inline std::vector<pid_t> runningInGroup(pid_t group) {
    std::vector<pid_t> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        const pid_t pid = static_cast<pid_t>(std::stol(name));
        const std::optional<ProcStat> s = procStat(pid);
        if (s && s->group == group && s->runs()) found.push_back(pid);
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
