#include "long_path.hpp"

#include <unistd.h>

#include <cerrno>
#include <climits>

namespace bwplatform {

LongPath::LongPath(std::string_view path) {
    std::string_view left = path;
    while (left.size() >= PATH_MAX) {
        // The longest run of whole components the kernel takes, its NUL included. A cut at 0
        // would leave the piece empty: the first component alone is too long.
        std::size_t cut = left.rfind('/', PATH_MAX - 1);
        if (cut == std::string_view::npos || cut == 0) {
            m_error = ENAMETOOLONG;
            break;
        }
        std::string piece(left.substr(0, cut));
        int next = ::openat(m_fd, piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (next < 0) m_error = errno;
        if (m_fd != AT_FDCWD) ::close(m_fd);
        m_fd = next < 0 ? -1 : next;
        if (next < 0) break;
        // The rest is relative to the folder just opened, even where slashes repeat.
        left.remove_prefix(cut);
        while (!left.empty() && left.front() == '/')
            left.remove_prefix(1);
    }
    if (m_error != 0) return;
    // Only slashes were left after a piece: the path names that folder, as a trailing "/" does.
    m_rest = left.empty() && m_fd >= 0 ? std::string(".") : std::string(left);
}

LongPath::~LongPath() {
    if (m_fd >= 0) ::close(m_fd);
}

}  // namespace bwplatform
