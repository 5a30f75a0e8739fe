#include "list_generic.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include "long_path.hpp"
#include "statx_fields.hpp"
#include "utf8.hpp"

namespace bwcore::list_generic {

namespace bp = bwplatform;

namespace {

class DirCloser {
public:
    explicit DirCloser(DIR* d) : m_d(d) {}
    ~DirCloser() { ::closedir(m_d); }
    DirCloser(const DirCloser&) = delete;
    DirCloser& operator=(const DirCloser&) = delete;

private:
    DIR* m_d;
};

Entry failed_entry(std::string name, int err) {
    Entry e;
    e.name = std::move(name);
    e.kind = KIND_OTHER;
    e.error = static_cast<uint32_t>(err);
    return e;
}

Entry from_fields(std::string name, const bp::StatFields& f) {
    Entry e;
    e.name = std::move(name);
    e.dev = f.dev;
    e.ino = f.ino;
    e.alloc = f.alloc;
    e.logical = f.logical;
    e.mtime_ns = bp::saturating_ns(f.mtime_sec, f.mtime_nsec);
    e.flags = f.flags;
    e.nlink = f.nlink;
    e.kind = f.kind;
    return e;
}

Entry entry_at(int dirfd, const char* raw) {
    std::string_view name(raw);
    if (!utf8::valid(name)) return failed_entry(utf8::lossy(name), EILSEQ);
    if (dirfd < 0) return failed_entry(std::string(name), EBADF);
    bp::StatFields f;
    int err = bp::stat_fields(dirfd, raw, AT_SYMLINK_NOFOLLOW, f);
    if (err != 0) return failed_entry(std::string(name), err);
    return from_fields(std::string(name), f);
}

// opendir of any length of path: it follows a link at the path itself, as opendir does.
DIR* open_folder(std::string_view path) {
    bp::LongPath at(path);
    if (at.error() != 0) {
        errno = at.error();
        return nullptr;
    }
    int fd = ::openat(at.dirfd(), at.rest(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        int err = errno;
        ::close(fd);
        errno = err;
    }
    return dir;
}

bool is_dot_or_dotdot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

}  // namespace

std::string_view file_name(std::string_view path) {
    std::string_view last;
    size_t at = 0;
    while (at <= path.size()) {
        size_t slash = path.find('/', at);
        if (slash == std::string_view::npos) slash = path.size();
        std::string_view part = path.substr(at, slash - at);
        if (!part.empty() && part != ".") last = part;
        at = slash + 1;
    }
    return last == ".." ? std::string_view{} : last;
}

Result<list_macos::Stop> stream_entries(std::string_view path,
                                        const std::function<void(Entry& e)>& fn) {
    if (path.find('\0') != std::string_view::npos) return Error::os(EINVAL);
    DIR* dir = open_folder(path);
    if (dir == nullptr) return Error::os(errno);
    DirCloser closer(dir);
    int fd = ::dirfd(dir);

    list_macos::Stop stop;
    for (;;) {
        errno = 0;
        const struct dirent* d = ::readdir(dir);
        if (d == nullptr) {
            if (errno != 0) {
                stop.truncated = true;
                stop.stop_error = errno;
            }
            break;
        }
        if (is_dot_or_dotdot(d->d_name)) continue;
        Entry e = entry_at(fd, d->d_name);
        fn(e);
    }
    return stop;
}

Result<Listing> list_dir_ex(std::string_view path) {
    Listing listing;
    auto stop = stream_entries(path, [&](Entry& e) { listing.entries.push_back(std::move(e)); });
    if (!stop) return stop.error();
    listing.truncated = stop->truncated;
    listing.stop_error = stop->stop_error;
    return listing;
}

Result<std::vector<Entry>> list_dir(std::string_view path) {
    auto listing = list_dir_ex(path);
    if (!listing) return listing.error();
    return std::move(listing->entries);
}

Result<Entry> stat_path(std::string_view path) {
    if (path.find('\0') != std::string_view::npos) return Error::os(EINVAL);
    bp::LongPath at(path);
    if (at.error() != 0) return Error::os(at.error());
    bp::StatFields f;
    int err = bp::stat_fields(at.dirfd(), at.rest(), AT_SYMLINK_NOFOLLOW, f);
    if (err != 0) return Error::os(err);
    return from_fields(utf8::lossy(file_name(path)), f);
}

}  // namespace bwcore::list_generic
