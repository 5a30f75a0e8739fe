// What /proc says of a process: its state and its process group, read from its
// "stat" line. Plain POSIX, no Qt: the engine's group reads it, and so do tests.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string_view>

namespace virirado {

struct ProcStat {
    char state = '?';
    pid_t group = 0;

    // Neither a zombie (ended, not yet reaped) nor dead.
    bool runs() const { return state != 'Z' && state != 'X' && state != 'x'; }
};

// A "stat" line: "pid (name) state ppid pgrp ...", where the name may hold
// spaces and parentheses of its own. None when it is not such a line.
std::optional<ProcStat> parseProcStat(std::string_view line);

// The stat of process `pid`; none when it is gone.
std::optional<ProcStat> procStat(pid_t pid);

}  // namespace virirado
