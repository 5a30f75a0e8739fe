#include "trash.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "paths.hpp"

namespace peer::trash {
namespace {

constexpr int kMaxNames = 10'000;

// The folder `name` of `fd`, made (0700) when missing, never through a link;
// -1 when it cannot be opened, and `make_failed` set when it could not be made.
int open_or_make(int fd, const std::string& name, bool& make_failed) {
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int r = ::openat(fd, name.c_str(), flags);
    if (r >= 0 || errno != ENOENT) return r;
    if (::mkdirat(fd, name.c_str(), 0700) != 0 && errno != EEXIST) {
        make_failed = true;
        return -1;
    }
    return ::openat(fd, name.c_str(), flags);
}

// The Trash folder, opened one name at a time down from the real home along
// where it really lies (a path without links), making what is missing. No link
// on the way is followed, so nothing is made anywhere the checks did not see.
int open_trash(const std::string& real_home, const std::string& where, bool& make_failed) {
    int fd = ::open(real_home.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    std::string rest = where.substr(real_home.size());
    size_t i = 0;
    while (fd >= 0 && i < rest.size()) {
        size_t j = rest.find('/', i);
        if (j == std::string::npos) j = rest.size();
        if (j > i) {
            int next = open_or_make(fd, rest.substr(i, j - i), make_failed);
            ::close(fd);
            fd = next;
        }
        i = j + 1;
    }
    return fd;
}

bool write_all(int fd, const std::string& s) {
    size_t done = 0;
    while (done < s.size()) {
        ssize_t r = ::write(fd, s.data() + done, s.size() - done);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        done += static_cast<size_t>(r);
    }
    return true;
}

struct Dirs {
    int parent = -1, trash = -1, files = -1, info = -1;
    ~Dirs() {
        for (int fd : {parent, trash, files, info})
            if (fd >= 0) ::close(fd);
    }
};

clean::Outcome failed(const std::string& msg) {
    return {false, false, msg};
}

// Reserves info/<name>.trashinfo, then renames the item to files/<name>; a name
// taken in either folder moves on to the next candidate ("x", "x.2", "x.3", ...).
clean::Outcome place(const Dirs& d, const items::Item& item) {
    std::string base = paths::base_name(item.path);
    std::string text = info_text(item.path, std::time(nullptr));
    for (int n = 1; n <= kMaxNames; ++n) {
        std::string name = n == 1 ? base : base + "." + std::to_string(n);
        std::string info = name + ".trashinfo";
        int fd = ::openat(d.info, info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0)
            return failed(std::string("cannot write the Trash record: ") + std::strerror(errno));
        bool wrote = write_all(fd, text);
        ::close(fd);
        if (!wrote) {
            ::unlinkat(d.info, info.c_str(), 0);
            return failed("cannot write the Trash record");
        }
        // NOREPLACE: a plain rename would silently overwrite a file left in files/.
        if (::renameat2(d.parent, base.c_str(), d.files, name.c_str(), RENAME_NOREPLACE) == 0)
            return {true, true, ""};
        int e = errno;
        ::unlinkat(d.info, info.c_str(), 0);
        if (e == EEXIST || e == ENOTEMPTY) continue;
        if (e == EXDEV) return failed("on another file system; not moved to the Trash");
        return failed(std::strerror(e));
    }
    return failed("no free name in the Trash");
}

}  // namespace

std::string percent_encode(const std::string& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
        if (keep) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string info_text(const std::string& path, std::time_t when) {
    std::tm tm{};
    ::localtime_r(&when, &tm);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &tm);
    return "[Trash Info]\nPath=" + percent_encode(path) + "\nDeletionDate=" + date + "\n";
}

clean::Outcome move_to_trash(const items::Item& item, const std::string& trash_dir,
                             const std::string& home) {
    if (auto why = paths::trash_refusal(trash_dir, home)) return failed(*why);
    auto where = paths::would_lie(trash_dir);
    auto real_home = paths::real_path(home);
    auto real_item = paths::real_location(item.path);
    // Looked at once more: what open_trash walks down must lie below the real home.
    if (!where || !real_home || !paths::is_under(*where, *real_home) || *where == *real_home)
        return failed("cannot make the Trash folder");
    if (!real_item) return failed("gone since the scan");
    if (paths::is_under(item.path, trash_dir) || paths::is_under(trash_dir, item.path) ||
        paths::is_under(*real_item, *where) || paths::is_under(*where, *real_item))
        return failed("the Trash cannot hold itself");
    Dirs d;
    bool make_failed = false;
    d.trash = open_trash(*real_home, *where, make_failed);
    if (d.trash >= 0) d.files = open_or_make(d.trash, "files", make_failed);
    if (d.trash >= 0) d.info = open_or_make(d.trash, "info", make_failed);
    if (make_failed) return failed("cannot make the Trash folder");
    if (d.files < 0 || d.info < 0) return failed("cannot open the Trash folder");
    struct stat fs {};
    if (::fstat(d.files, &fs) != 0) return failed("cannot open the Trash folder");
    if (fs.st_dev != item.dev) return failed("on another file system; not moved to the Trash");
    d.parent = ::open(paths::parent_of(*real_item).c_str(),
                      O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (d.parent < 0) return failed("gone since the scan");
    struct stat st {};
    std::string base = paths::base_name(item.path);
    if (::fstatat(d.parent, base.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || st.st_dev != item.dev ||
        st.st_ino != item.ino || S_ISLNK(st.st_mode))
        return failed("changed since the scan");
    return place(d, item);
}

}  // namespace peer::trash
