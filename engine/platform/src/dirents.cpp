#include "dirents.hpp"

#include <dirent.h>

#include <cerrno>

namespace bwplatform {

ssize_t read_dirents(int dirfd, void* buf, std::size_t cap) {
    for (;;) {
        ssize_t n = ::getdents64(dirfd, buf, cap);
        if (n >= 0 || errno != EINTR) return n;
    }
}

}  // namespace bwplatform
