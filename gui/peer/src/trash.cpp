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

// mkdir -p with mode 0700 for what it makes.
bool make_dirs(const std::string& dir) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    std::string parent = paths::parent_of(dir);
    if (parent != dir && !make_dirs(parent)) return false;
    return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

int open_dir(const std::string& dir) {
    return ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
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
    int parent = -1, files = -1, info = -1;
    ~Dirs() {
        for (int fd : {parent, files, info})
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

clean::Outcome move_to_trash(const items::Item& item, const std::string& trash_dir) {
    if (paths::is_under(item.path, trash_dir) || paths::is_under(trash_dir, item.path))
        return failed("the Trash cannot hold itself");
    if (!make_dirs(trash_dir + "/files") || !make_dirs(trash_dir + "/info"))
        return failed("cannot make the Trash folder");
    Dirs d;
    d.files = open_dir(trash_dir + "/files");
    d.info = open_dir(trash_dir + "/info");
    if (d.files < 0 || d.info < 0) return failed("cannot open the Trash folder");
    struct stat fs {};
    if (::fstat(d.files, &fs) != 0) return failed("cannot open the Trash folder");
    if (fs.st_dev != item.dev) return failed("on another file system; not moved to the Trash");
    auto real = paths::real_path(paths::parent_of(item.path));
    if (!real) return failed("gone since the scan");
    d.parent = open_dir(*real);
    if (d.parent < 0) return failed("gone since the scan");
    struct stat st {};
    std::string base = paths::base_name(item.path);
    if (::fstatat(d.parent, base.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || st.st_dev != item.dev ||
        st.st_ino != item.ino || S_ISLNK(st.st_mode))
        return failed("changed since the scan");
    return place(d, item);
}

}  // namespace peer::trash
