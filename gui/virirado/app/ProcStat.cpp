#include "ProcStat.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace virirado {

std::optional<ProcStat> parseProcStat(std::string_view line) {
    const std::size_t close = line.rfind(')');
    if (close == std::string_view::npos) return std::nullopt;
    // sscanf needs the text to end.
    const std::string rest(line.substr(close + 1));
    ProcStat s;
    long parent = 0;
    long group = 0;
    if (std::sscanf(rest.c_str(), " %c %ld %ld", &s.state, &parent, &group) != 3) {
        return std::nullopt;
    }
    s.group = static_cast<pid_t>(group);
    return s;
}

std::optional<ProcStat> procStat(pid_t pid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%ld/stat", static_cast<long>(pid));
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    // The name is at most 16 bytes; what follows the group is not needed.
    char line[512];
    const ssize_t n = ::read(fd, line, sizeof line);
    ::close(fd);
    if (n <= 0) return std::nullopt;
    return parseProcStat(std::string_view(line, static_cast<std::size_t>(n)));
}

}  // namespace virirado
