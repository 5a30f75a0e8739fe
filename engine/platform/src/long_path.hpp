#pragma once
// A path of any length handed to the *at() calls. The kernel refuses a path of PATH_MAX bytes or
// more as a whole, though nothing limits how deep a tree goes: such a path is reached piece by
// piece instead, each piece a run of whole components shorter than the limit, opened in the
// folder the previous one led to. Every component resolves as it would in the whole path (links
// on the way are followed, ".." steps up), and the last piece is left to the caller's call, so
// its flags (not following a final link, say) apply as before.
#include <fcntl.h>

#include <string>
#include <string_view>

namespace bwplatform {

class LongPath {
public:
    // `path` must hold no NUL byte. A short path costs nothing: dirfd() is AT_FDCWD and rest()
    // the path itself.
    explicit LongPath(std::string_view path);
    ~LongPath();
    LongPath(const LongPath&) = delete;
    LongPath& operator=(const LongPath&) = delete;

    // 0, or the errno of the folder on the way that could not be opened (ENAMETOOLONG for a
    // single component longer than the limit): then the path cannot be reached at all.
    int error() const { return m_error; }
    // The folder the last piece is relative to, and that piece.
    int dirfd() const { return m_fd; }
    const char* rest() const { return m_rest.c_str(); }

private:
    int m_fd = AT_FDCWD;
    int m_error = 0;
    std::string m_rest;
};

}  // namespace bwplatform
