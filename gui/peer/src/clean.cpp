#include "clean.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "paths.hpp"

namespace peer::clean {
namespace {

constexpr int kMaxDepth = 2048;

struct Walk {
    dev_t dev;
    int first_errno = 0;
    void fail(int e) {
        if (first_errno == 0) first_errno = e;
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

// Removes one entry of the folder `fd`; a folder is emptied first. Entries on
// another device (a mount point) are left alone.
void remove_entry(int fd, const std::string& name, Walk& w, int depth) {
    struct stat st {};
    if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return w.fail(errno);
    if (!S_ISDIR(st.st_mode)) {
        if (::unlinkat(fd, name.c_str(), 0) != 0) w.fail(errno);
        return;
    }
    if (st.st_dev != w.dev) return w.fail(EXDEV);
    if (depth >= kMaxDepth) return w.fail(ELOOP);
    int child = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
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
    if (w.first_errno == 0) return {true, true, ""};
    std::string why =
        w.first_errno == EXDEV ? "another file system below it" : std::strerror(w.first_errno);
    return {false, false, "partly removed: " + why};
}

Outcome failed(const std::string& msg) {
    return {false, false, msg};
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

Outcome remove_folder(int pfd, const std::string& name, const items::Item& item) {
    int fd = ::openat(pfd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_ino != item.ino || st.st_dev != item.dev) {
        if (fd >= 0) ::close(fd);
        return failed("changed since the scan");
    }
    Walk w{st.st_dev};
    if (item.empty_only) {
        for (const char* sub : {"files", "info"}) {
            int s = ::openat(fd, sub, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (s < 0) {
                if (errno != ENOENT) w.fail(errno);
                continue;
            }
            empty_dir(s, w, 1);
            ::close(s);
        }
    } else {
        empty_dir(fd, w, 1);
    }
    ::close(fd);
    if (!item.empty_only && w.first_errno == 0 && ::unlinkat(pfd, name.c_str(), AT_REMOVEDIR) != 0)
        w.fail(errno);
    return finish(w);
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

Outcome remove(const items::Item& item) {
    std::string msg;
    int pfd = open_parent(item, msg);
    if (pfd < 0) return failed(msg);
    std::string name = paths::base_name(item.path);
    struct stat st {};
    Outcome out;
    if (::fstatat(pfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
        out = remove_folder(pfd, name, item);
    } else if (::unlinkat(pfd, name.c_str(), 0) == 0) {
        out = {true, true, ""};
    } else {
        out = failed(std::strerror(errno));
    }
    ::close(pfd);
    return out;
}

}  // namespace peer::clean
