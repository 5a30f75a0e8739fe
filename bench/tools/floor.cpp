// The floor: the least a parallel walk of this machine can cost. It lists folders with
// getdents64, stats every entry with statx relative to the open folder, sums allocated
// bytes (hard links once per device and inode) and does nothing else. The engine's
// timings are read against it.
//
//     bench_floor [--threads N] PATH
//
// Prints "alloc files dirs" on one line.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

namespace {

struct Linux64Dirent {
    uint64_t ino;
    int64_t off;
    unsigned short reclen;
    unsigned char type;
    // the NUL-terminated name follows at byte 19
};
constexpr std::size_t DIRENT_NAME = 19;

struct Shared {
    std::mutex mu;
    std::condition_variable cv;
    std::deque<std::string> queue;
    size_t busy = 0;
    bool done = false;
    std::mutex links_mu;
    std::unordered_set<uint64_t> links;  // (dev, ino) folded into one key
    std::atomic<uint64_t> alloc{0}, files{0}, dirs{0};
};

uint64_t fold(uint64_t dev, uint64_t ino) {
    return (dev * 0x9e3779b97f4a7c15ULL) ^ ino;
}

// Lists one folder; subfolders go to `out`.
void list_one(Shared& s, const std::string& path, uint64_t root_dev, std::vector<std::string>& out,
              std::vector<char>& buf) {
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    uint64_t alloc = 0, files = 0;
    for (;;) {
        long n = syscall(SYS_getdents64, fd, buf.data(), buf.size());
        if (n <= 0) break;
        for (long off = 0; off < n;) {
            auto* d = reinterpret_cast<Linux64Dirent*>(buf.data() + off);
            off += d->reclen;
            const char* name = reinterpret_cast<const char*>(d) + DIRENT_NAME;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
            struct statx st;
            if (statx(fd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                      STATX_TYPE | STATX_BLOCKS | STATX_NLINK | STATX_INO, &st) != 0)
                continue;
            if (makedev(st.stx_dev_major, st.stx_dev_minor) != root_dev) continue;
            unsigned type = st.stx_mode & S_IFMT;
            if (type == S_IFDIR) {
                alloc += st.stx_blocks * 512;
                out.push_back(path + "/" + name);
            } else if (type == S_IFREG) {
                if (st.stx_nlink > 1) {
                    std::lock_guard lock(s.links_mu);
                    if (!s.links.insert(fold(root_dev, st.stx_ino)).second) continue;
                }
                alloc += st.stx_blocks * 512;
                ++files;
            }
        }
    }
    close(fd);
    s.alloc += alloc;
    s.files += files;
    s.dirs += 1;
}

void worker(Shared& s, uint64_t root_dev) {
    std::vector<char> buf(1 << 18);
    std::vector<std::string> found;
    std::vector<std::string> local;  // depth-first on this thread, shared when others idle
    for (;;) {
        std::string path;
        if (!local.empty()) {
            path = std::move(local.back());
            local.pop_back();
        } else {
            std::unique_lock lock(s.mu);
            s.cv.wait(lock, [&] { return s.done || !s.queue.empty(); });
            if (s.queue.empty()) return;
            path = std::move(s.queue.front());
            s.queue.pop_front();
            ++s.busy;
        }
        found.clear();
        list_one(s, path, root_dev, found, buf);
        for (auto& f : found)
            local.push_back(std::move(f));
        std::unique_lock lock(s.mu);
        // Hand half of the local stack out when the shared queue ran dry.
        if (s.queue.empty() && local.size() > 1) {
            size_t give = local.size() / 2;
            for (size_t i = 0; i < give; ++i)
                s.queue.push_back(std::move(local[i]));
            local.erase(local.begin(), local.begin() + static_cast<long>(give));
            s.cv.notify_all();
        }
        if (local.empty()) {
            --s.busy;
            if (s.busy == 0 && s.queue.empty()) {
                s.done = true;
                s.cv.notify_all();
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    unsigned threads = 8;
    std::string root;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--threads") == 0 && i + 1 < argc) {
            threads = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        } else {
            root = argv[i];
        }
    }
    struct statx st;
    if (root.empty() ||
        statx(AT_FDCWD, root.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BLOCKS, &st) != 0) {
        std::fprintf(stderr, "usage: bench_floor [--threads N] PATH\n");
        return 2;
    }
    Shared s;
    s.alloc = st.stx_blocks * 512;
    s.queue.push_back(root);
    std::vector<std::thread> pool;
    for (unsigned i = 0; i < (threads ? threads : 1); ++i)
        pool.emplace_back(worker, std::ref(s), makedev(st.stx_dev_major, st.stx_dev_minor));
    for (auto& t : pool)
        t.join();
    std::printf("%llu %llu %llu\n", static_cast<unsigned long long>(s.alloc.load()),
                static_cast<unsigned long long>(s.files.load()),
                static_cast<unsigned long long>(s.dirs.load()));
    return 0;
}
