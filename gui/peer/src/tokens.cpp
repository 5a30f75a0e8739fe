#include "tokens.hpp"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>

namespace peer::tokens {
namespace {

bool fill(unsigned char* buf, size_t n) {
    size_t got = 0;
    while (got < n) {
        ssize_t r = ::getrandom(buf + got, n - got, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        got += static_cast<size_t>(r);
    }
    if (got == n) return true;
    int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    got = 0;
    while (got < n) {
        ssize_t r = ::read(fd, buf + got, n - got);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        got += static_cast<size_t>(r);
    }
    ::close(fd);
    return got == n;
}

}  // namespace

std::optional<std::string> make() {
    unsigned char buf[16];
    if (!fill(buf, sizeof buf)) return std::nullopt;
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (unsigned char b : buf) {
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    return out;
}

}  // namespace peer::tokens
