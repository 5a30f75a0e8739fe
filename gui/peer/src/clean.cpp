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
#include <vector>

#include "paths.hpp"

namespace peer::clean {
namespace {

constexpr int kMaxDepth = 2048;
const char* kMountItem = "is a mount point; not deleted";
const char* kMountBelow = "partly removed: a mount point below it was left alone";
const char* kCannotTell = "cannot tell mount points apart on this system; not deleted";

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
    void fail(int e) {
        if (e == EXDEV || e == ENOTSUP || e == EBUSY)
            mount_below = true;
        else if (first_errno == 0)
            first_errno = e;
    }
};

std::vector<std::string> names_in(int fd) {
    std::vector<std::string> out;
    int dup = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (dup < 0) return out;
    DIR* d = ::fdopendir(dup);
    if (!d) {
        ::close(dup);
        return out;
    }
    while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..") out.push_back(std::move(n));
    }
    ::closedir(d);
    return out;
}

void empty_dir(int fd, Walk& w, int depth);

// Removes one entry of the folder `fd`; a folder is emptied first. A mount
// point (EXDEV), and one the kernel refuses to unlink (EBUSY), is left alone.
void remove_entry(int fd, const std::string& name, Walk& w, int depth) {
    Entry e = look(fd, name.c_str(), 0, w.how);
    if (!e.ok) return w.fail(e.error);
    if (e.mount == Mount::yes || (e.is_dir && e.dev != w.dev)) return w.fail(EXDEV);
    if (!e.is_dir) {
        if (::unlinkat(fd, name.c_str(), 0) != 0) w.fail(errno);
        return;
    }
    if (depth >= kMaxDepth) return w.fail(ELOOP);
    int child = open_folder(fd, name.c_str(), w.how);
    if (child < 0) return w.fail(errno);
    empty_dir(child, w, depth + 1);
    ::close(child);
    if (::unlinkat(fd, name.c_str(), AT_REMOVEDIR) != 0) w.fail(errno);
}

void empty_dir(int fd, Walk& w, int depth) {
    for (const auto& n : names_in(fd))
        remove_entry(fd, n, w, depth);
}

Outcome finish(const Walk& w) {
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
        if (why.empty()) empty_dir(fds[i], w, 1);
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
        empty_dir(fd, w, 1);
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
