#include "clean.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "paths.hpp"

namespace peer::clean {
namespace {

// How many folders of one walk stay open at once, however deep it goes: those
// further up are closed and opened again through ".." on the way back.
constexpr size_t kOpenFolders = 32;
const char* kMountItem = "is a mount point; not deleted";
const char* kMountBelow = "partly removed: a mount point below it was left alone";
const char* kCannotTell = "cannot tell mount points apart on this system; not deleted";
const char* kMoved = "partly removed: a folder in it was moved meanwhile; stopped there";

enum class Mount { no, yes, unknown };

// One entry as statx sees it, the link itself when it is one.
struct Entry {
    bool ok = false;
    int error = 0;
    bool is_dir = false;
    dev_t dev = 0;
    Mount mount = Mount::unknown;
};

Entry look(int fd, const char* name, int flags, const MountTests& how) {
    struct statx sx {};
    Entry e;
    flags |= AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT;
    if (::statx(fd, name, flags, STATX_TYPE | STATX_INO, &sx) != 0) {
        e.error = errno;
        return e;
    }
    e.ok = true;
    e.is_dir = S_ISDIR(sx.stx_mode);
    e.dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    // The kernel says in the mask whether it knows the attribute at all.
    if (how.statx && (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT))
        e.mount = (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) ? Mount::yes : Mount::no;
    return e;
}

// openat2 with RESOLVE_NO_XDEV: EXDEV when `name` is a mount point; -1 with
// errno ENOSYS when this kernel (or the test) does not offer it.
int open_no_xdev(int fd, const char* name, uint64_t flags, const MountTests& how) {
    if (!how.openat2) {
        errno = ENOSYS;
        return -1;
    }
    open_how oh{};
    oh.flags = flags | O_NOFOLLOW | O_CLOEXEC;
    oh.resolve = RESOLVE_NO_XDEV | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS | RESOLVE_BENEATH;
    long r = ::syscall(SYS_openat2, fd, name, &oh, sizeof oh);
    // EINVAL and E2BIG: a kernel that knows openat2 but not these flags.
    if (r < 0 && (errno == EINVAL || errno == E2BIG)) errno = ENOSYS;
    return static_cast<int>(r);
}

// Opens the folder `name` of `fd` to empty it. -1 with errno: ELOOP for a link,
// EXDEV for a mount point, ENOTSUP when no test here can tell whether it is one.
// What was opened is itself asked, so a mount made after the look is seen too.
int open_folder(int fd, const char* name, const MountTests& how) {
    bool known = false;
    int child = open_no_xdev(fd, name, O_RDONLY | O_DIRECTORY, how);
    if (child >= 0) {
        known = true;
    } else if (errno != ENOSYS) {
        return -1;
    } else {
        child = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (child < 0) return -1;
    }
    Mount m = look(child, "", AT_EMPTY_PATH, how).mount;
    if (m == Mount::yes || (m == Mount::unknown && !known)) {
        ::close(child);
        errno = m == Mount::yes ? EXDEV : ENOTSUP;
        return -1;
    }
    return child;
}

struct Walk {
    dev_t dev;
    MountTests how;
    int first_errno = 0;
    bool mount_below = false;  // a mount point was met and left alone
    bool moved = false;        // a folder above was not where it was left: stopped
    void fail(int e) {
        if (e == EXDEV || e == ENOTSUP || e == EBUSY)
            mount_below = true;
        else if (first_errno == 0)
            first_errno = e;
    }
};

// The names in the folder `fd` (through a copy of the descriptor, which the
// listing closes), or the error that kept them from being read.
int names_in(int fd, std::vector<std::string>& out) {
    int dup = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (dup < 0) return errno;
    DIR* d = ::fdopendir(dup);
    if (!d) {
        int e = errno;
        ::close(dup);
        return e;
    }
    int e = 0;
    while (true) {
        errno = 0;
        dirent* entry = ::readdir(d);
        if (!entry) {
            e = errno;
            break;
        }
        std::string n = entry->d_name;
        if (n != "." && n != "..") out.push_back(std::move(n));
    }
    ::closedir(d);
    return e;
}

// A folder being emptied: its descriptor (-1 while closed to spare descriptors),
// its identity, its name in the folder above and the names still to remove.
struct Level {
    int fd = -1;
    dev_t dev = 0;
    ino_t ino = 0;
    std::string name;
    std::vector<std::string> names;
};

// Removes the entry `name` of the folder `fd` when it is no folder; a folder
// is opened and listed, to be emptied next, and returned. A mount point
// (EXDEV), and one the kernel refuses to unlink (EBUSY), is left alone.
std::optional<Level> enter(int fd, const std::string& name, Walk& w) {
    Entry e = look(fd, name.c_str(), 0, w.how);
    int err = 0;
    if (!e.ok) {
        err = e.error;
    } else if (e.mount == Mount::yes || (e.is_dir && e.dev != w.dev)) {
        err = EXDEV;
    } else if (!e.is_dir) {
        if (::unlinkat(fd, name.c_str(), 0) != 0) w.fail(errno);
        return std::nullopt;
    }
    Level child;
    child.name = name;
    child.fd = err == 0 ? open_folder(fd, name.c_str(), w.how) : -1;
    if (err == 0 && child.fd < 0) err = errno;
    struct stat st {};
    if (err == 0) err = ::fstat(child.fd, &st) != 0 ? errno : names_in(child.fd, child.names);
    if (err != 0) {
        if (child.fd >= 0) ::close(child.fd);
        w.fail(err);
        return std::nullopt;
    }
    child.dev = st.st_dev;
    child.ino = st.st_ino;
    return child;
}

// Opens `parent` again from its child's descriptor: 0 when done, -1 when ".."
// is no longer the very folder that was left (it was moved meanwhile), else
// the error that kept it closed.
int reopen(Level& parent, int child_fd) {
    int fd = ::openat(child_fd, "..", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return errno;
    struct stat st {};
    int result = ::fstat(fd, &st) != 0 ? errno : 0;
    if (result == 0 && (st.st_dev != parent.dev || st.st_ino != parent.ino)) result = -1;
    if (result != 0) {
        ::close(fd);
        return result;
    }
    parent.fd = fd;
    return 0;
}

// Empties the folder `root` (which stays open and is not removed), depth first
// from an explicit stack: any depth, never more than kOpenFolders folders open.
void empty_tree(int root, Walk& w) {
    std::vector<Level> levels(1);
    levels[0].fd = root;
    if (int e = names_in(root, levels[0].names)) return w.fail(e);
    size_t first_open = 1;  // levels [1, first_open) are closed for now
    while (true) {
        if (!levels.back().names.empty()) {
            std::string name = std::move(levels.back().names.back());
            levels.back().names.pop_back();
            auto child = enter(levels.back().fd, name, w);
            if (!child) continue;
            levels.push_back(std::move(*child));
            if (levels.size() - first_open > kOpenFolders) {
                ::close(levels[first_open].fd);
                levels[first_open++].fd = -1;
            }
            continue;
        }
        if (levels.size() == 1) return;
        Level done = std::move(levels.back());
        levels.pop_back();
        Level& parent = levels.back();
        if (parent.fd < 0) {
            if (int e = reopen(parent, done.fd); e != 0) {
                // Nothing above can be reached safely any more: stop here.
                if (e < 0)
                    w.moved = true;
                else
                    w.fail(e);
                ::close(done.fd);
                for (size_t i = first_open; i < levels.size(); ++i)
                    ::close(levels[i].fd);
                return;
            }
            --first_open;
        }
        ::close(done.fd);
        if (::unlinkat(parent.fd, done.name.c_str(), AT_REMOVEDIR) != 0) w.fail(errno);
    }
}

Outcome finish(const Walk& w) {
    if (w.moved) return {false, false, kMoved};
    if (w.mount_below) return {false, false, kMountBelow};
    if (w.first_errno == 0) return {true, true, ""};
    return {false, false, std::string("partly removed: ") + std::strerror(w.first_errno)};
}

Outcome failed(const std::string& msg) {
    return {false, false, msg};
}

// Why the folder `name` of `fd` could not be opened for removal, for the user.
std::string open_failure(int fd, const char* name, int e, bool item) {
    if (e == EXDEV) return item ? kMountItem : "is a mount point";
    if (e == ENOTSUP) return item ? kCannotTell : "cannot be told from a mount point";
    struct stat st {};
    bool link = ::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
    if (link) return "is a symlink";
    if (e == ENOTDIR) return "is not a folder";
    return std::strerror(e);
}

// The folder the item sits in, opened through its real path, and the item's
// identity checked against it once more (the path may have been swapped).
int open_parent(const items::Item& item, std::string& msg) {
    auto real = paths::real_path(paths::parent_of(item.path));
    if (!real) {
        msg = "gone since the scan";
        return -1;
    }
    int pfd = ::open(real->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (pfd < 0) {
        msg = std::strerror(errno);
        return -1;
    }
    struct stat st {};
    std::string name = paths::base_name(item.path);
    if (::fstatat(pfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || st.st_dev != item.dev ||
        st.st_ino != item.ino || S_ISLNK(st.st_mode)) {
        ::close(pfd);
        msg = "changed since the scan";
        return -1;
    }
    return pfd;
}

// Emptying the Trash: files/ and info/ are both opened and checked first, so a
// swapped or mounted one stops the clean before the other is touched.
Outcome empty_trash(int fd, Walk& w) {
    const char* subs[2] = {"files", "info"};
    int fds[2] = {-1, -1};
    std::string why;
    for (int i = 0; i < 2 && why.empty(); ++i) {
        fds[i] = open_folder(fd, subs[i], w.how);
        if (fds[i] < 0 && errno != ENOENT)
            why = std::string("Trash/") + subs[i] + " " + open_failure(fd, subs[i], errno, false);
    }
    for (int i = 0; i < 2; ++i) {
        if (fds[i] < 0) continue;
        if (why.empty()) empty_tree(fds[i], w);
        ::close(fds[i]);
    }
    if (!why.empty()) return failed(why + "; nothing was removed");
    return finish(w);
}

Outcome remove_folder(int pfd, const std::string& name, const items::Item& item,
                      const MountTests& how) {
    int fd = open_folder(pfd, name.c_str(), how);
    if (fd < 0) {
        int e = errno;
        if (e == ELOOP || e == ENOTDIR) return failed("changed since the scan");
        return failed(open_failure(pfd, name.c_str(), e, true));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_ino != item.ino || st.st_dev != item.dev) {
        ::close(fd);
        return failed("changed since the scan");
    }
    Walk w{st.st_dev, how};
    Outcome out;
    if (item.empty_only) {
        out = empty_trash(fd, w);
    } else {
        empty_tree(fd, w);
        out = finish(w);
    }
    ::close(fd);
    if (!item.empty_only && out.deleted && ::unlinkat(pfd, name.c_str(), AT_REMOVEDIR) != 0)
        out = failed(std::string("partly removed: ") + std::strerror(errno));
    return out;
}

Outcome remove_file(int pfd, const std::string& name, const MountTests& how) {
    // A file can be a mount point too; unlinking one would fail with EBUSY anyway.
    if (look(pfd, name.c_str(), 0, how).mount == Mount::yes) return failed(kMountItem);
    if (::unlinkat(pfd, name.c_str(), 0) == 0) return {true, true, ""};
    return failed(errno == EBUSY ? kMountItem : std::strerror(errno));
}

}  // namespace

std::optional<std::string> recheck(const items::Item& item, const std::string& home) {
    auto id = paths::identify(item.path);
    if (!id) return "gone since the scan";
    if (id->is_link) return "is a symlink";
    if (id->dev != item.dev || id->ino != item.ino) return "changed since the scan";
    if (!paths::real_path(home) || !paths::real_location(item.path)) return "gone since the scan";
    if (!paths::really_inside(item.path, home)) return "outside your home";
    return paths::protected_anywhere(item.path, home);
}

Outcome remove(const items::Item& item, MountTests how) {
    std::string msg;
    int pfd = open_parent(item, msg);
    if (pfd < 0) return failed(msg);
    std::string name = paths::base_name(item.path);
    Entry e = look(pfd, name.c_str(), 0, how);
    Outcome out;
    if (e.ok && e.is_dir) {
        out = remove_folder(pfd, name, item, how);
    } else {
        out = remove_file(pfd, name, how);
    }
    ::close(pfd);
    return out;
}

}  // namespace peer::clean
