#pragma once
// Fixture trees built in code inside a fresh temporary folder, removed on destruction
// (immutable flags and mounts made through the fixture are undone first).
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace bwtest {

class Fixture {
public:
    Fixture() {
        const char* tmp = std::getenv("TMPDIR");
        std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/virirado-test-XXXXXX";
        if (::mkdtemp(templ.data()) != nullptr) m_root = templ;
    }
    ~Fixture() {
        for (auto it = m_mounts.rbegin(); it != m_mounts.rend(); ++it)
            ::umount2(it->c_str(), MNT_DETACH);
        for (const auto& p : m_immutable)
            set_flag(p, FS_IMMUTABLE_FL, false);
        std::error_code ec;
        if (!m_root.empty()) std::filesystem::remove_all(m_root, ec);
    }
    Fixture(const Fixture&) = delete;
    Fixture& operator=(const Fixture&) = delete;

    bool ok() const { return !m_root.empty(); }
    const std::string& root() const { return m_root; }
    std::string path(std::string_view rel) const {
        return rel.empty() ? m_root : m_root + "/" + std::string(rel);
    }

    bool make_dir(std::string_view rel) { return ::mkdir(path(rel).c_str(), 0755) == 0; }

    // A file of `size` bytes of real data.
    bool write_file(std::string_view rel, uint64_t size) {
        int fd = ::open(path(rel).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) return false;
        std::vector<char> block(64 * 1024, 'x');
        bool good = true;
        for (uint64_t left = size; left > 0 && good;) {
            size_t n = left < block.size() ? static_cast<size_t>(left) : block.size();
            ssize_t w = ::write(fd, block.data(), n);
            good = w > 0;
            left -= good ? static_cast<uint64_t>(w) : 0;
        }
        return ::close(fd) == 0 && good;
    }

    // A file `size` bytes long with no data blocks.
    bool sparse_file(std::string_view rel, uint64_t size) {
        int fd = ::open(path(rel).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) return false;
        bool good = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
        return ::close(fd) == 0 && good;
    }

    bool hard_link(std::string_view existing, std::string_view rel) {
        return ::link(path(existing).c_str(), path(rel).c_str()) == 0;
    }
    bool symlink(std::string_view target, std::string_view rel) {
        return ::symlink(std::string(target).c_str(), path(rel).c_str()) == 0;
    }
    bool fifo(std::string_view rel) { return ::mkfifo(path(rel).c_str(), 0644) == 0; }
    bool char_device(std::string_view rel, unsigned major, unsigned minor) {
        return ::mknod(path(rel).c_str(), S_IFCHR | 0644, makedev(major, minor)) == 0;
    }

    bool set_mtime(std::string_view rel, int64_t sec, long nsec) {
        struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(sec), nsec}};
        return ::utimensat(AT_FDCWD, path(rel).c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
    }

    // The immutable inode flag, where the file system and our privileges allow it.
    bool set_immutable(std::string_view rel) {
        if (!set_flag(path(rel), FS_IMMUTABLE_FL, true)) return false;
        m_immutable.push_back(path(rel));
        return true;
    }

    // A tmpfs mounted on the (existing) folder `rel`; needs privileges.
    bool mount_tmpfs(std::string_view rel) {
        if (::mount("tmpfs", path(rel).c_str(), "tmpfs", 0, "size=1m") != 0) return false;
        m_mounts.push_back(path(rel));
        return true;
    }

    // `levels` folders, each inside the one before, below `rel`; each is named by `name_len`
    // letters and holds a file "f" of `file_size` bytes (none for 0). Made one level at a time
    // inside the open parent, so the chain may pass what a path can hold. Such a chain is
    // removed with `rm -rf` (remove_all works by whole paths).
    bool chain(std::string_view rel, int levels, std::size_t name_len, uint64_t file_size) {
        int fd = ::open(path(rel).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const std::string name(name_len, 'n');
        const std::vector<char> data(file_size, 'x');
        bool good = fd >= 0;
        for (int i = 0; i < levels && good; ++i) {
            good = ::mkdirat(fd, name.c_str(), 0755) == 0;
            int next = good ? ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
            ::close(fd);
            fd = next;
            good = fd >= 0;
            if (good && file_size > 0) {
                int f = ::openat(fd, "f", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
                good = f >= 0 &&
                       ::write(f, data.data(), data.size()) == static_cast<ssize_t>(data.size());
                if (f >= 0) ::close(f);
            }
        }
        if (fd >= 0) ::close(fd);
        return good;
    }
    bool remove_chain(std::string_view rel) const {
        return std::system(("rm -rf '" + path(rel) + "'").c_str()) == 0;
    }

private:
    static bool set_flag(const std::string& p, int flag, bool on) {
        int fd = ::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) return false;
        int flags = 0;
        bool good = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (good) {
            flags = on ? (flags | flag) : (flags & ~flag);
            good = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return good;
    }

    std::string m_root;
    std::vector<std::string> m_immutable;
    std::vector<std::string> m_mounts;
};

// The allocated bytes `du -s -B1` counts for `path` (0 when du fails).
inline uint64_t du_bytes(const std::string& path) {
    FILE* p = ::popen(("du -s -B1 '" + path + "'").c_str(), "r");
    if (p == nullptr) return 0;
    unsigned long long bytes = 0;
    if (std::fscanf(p, "%llu", &bytes) != 1) bytes = 0;
    ::pclose(p);
    return bytes;
}

// While alive, no descriptor can be opened: the soft limit sits at the lowest free number, so
// opening a folder fails (EMFILE) as a refused listing does.
class NoFreeDescriptors {
public:
    NoFreeDescriptors() {
        ::getrlimit(RLIMIT_NOFILE, &m_saved);
        int lowest = ::dup(0);
        if (lowest >= 0) ::close(lowest);
        struct rlimit shut = m_saved;
        shut.rlim_cur = static_cast<rlim_t>(lowest < 0 ? 0 : lowest);
        ::setrlimit(RLIMIT_NOFILE, &shut);
    }
    ~NoFreeDescriptors() { ::setrlimit(RLIMIT_NOFILE, &m_saved); }
    NoFreeDescriptors(const NoFreeDescriptors&) = delete;
    NoFreeDescriptors& operator=(const NoFreeDescriptors&) = delete;

private:
    struct rlimit m_saved {};
};

}  // namespace bwtest
