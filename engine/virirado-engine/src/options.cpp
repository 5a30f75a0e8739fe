#include "options.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "utf8.hpp"

namespace virirado_engine {

std::optional<std::string> env_text(const char* name) {
    const char* v = std::getenv(name);
    if (v == nullptr || *v == '\0' || !bwcore::utf8::valid(v)) return std::nullopt;
    return std::string(v);
}

namespace {

// A rules file is a few kilobytes; anything near this is a device or a mistake, and reading it
// whole would exhaust memory first.
constexpr std::size_t MAX_RULES_BYTES = std::size_t{64} << 20;

// Reads the whole file. Opening does not wait for a writer, so a fifo nobody writes to reads as
// empty instead of blocking forever; a pipe that already has a writer (`--config <(...)`) reads
// normally once blocking mode is back on.
std::optional<std::string> read_file(const std::string& path, std::string& error) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = std::strerror(errno);
        return std::nullopt;
    }
    struct stat st {};
    int err = ::fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
    if (err == 0 && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) err = errno;
    std::string s;
    char buf[65536];
    while (err == 0) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno != EINTR) err = errno;
        } else if (s.size() + static_cast<std::size_t>(n) > MAX_RULES_BYTES) {
            err = EFBIG;
        } else {
            s.append(buf, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    if (err != 0) {
        error = std::strerror(err);
        return std::nullopt;
    }
    if (!bwcore::utf8::valid(s)) {
        error = "stream did not contain valid UTF-8";
        return std::nullopt;
    }
    return s;
}

}  // namespace

bwcore::Rules load_rules(const std::optional<std::string>& path) {
    if (!path) return bwcore::Rules::defaults();
    std::string error;
    auto text = read_file(*path, error);
    if (!text) throw ExitError{2, "--config " + *path + ": " + error + "\n"};
    auto rules = bwcore::rules::parse_json(*text);
    if (!rules) throw ExitError{2, "--config " + *path + ": " + rules.error().message + "\n"};
    return std::move(rules).value();
}

unsigned clamp_threads(uint64_t requested) {
    return static_cast<unsigned>(std::min<uint64_t>(requested, MAX_THREADS));
}

}  // namespace virirado_engine
