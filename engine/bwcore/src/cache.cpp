#include "cache.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <tbb/task_arena.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <stdexcept>

#include "bincode.hpp"
#include "utf8.hpp"

namespace bwcore::cache {
namespace {

constexpr std::string_view SUBDIR = "Library/Caches/virirado/engine";

// An environment value, or nothing when it is unset or empty: an empty value would put the
// cache into whatever the current folder happens to be.
const char* env_nonempty(const char* name) {
    const char* v = std::getenv(name);
    return v && *v ? v : nullptr;
}

uint64_t now_seconds() {
    auto s = std::chrono::duration_cast<std::chrono::seconds>(
                 std::chrono::system_clock::now().time_since_epoch())
                 .count();
    return s > 0 ? static_cast<uint64_t>(s) : 0;
}

// Every existing component of the folder's path belongs to us or to root. A folder or link that
// another user owns on the way (a planted /tmp/Library, a link in a shared place) could redirect
// the cache into a place of their choosing, or feed us a tree they made. Missing components are
// fine: we create them ourselves.
bool trusted_folder(const std::string& folder) {
    const uid_t me = ::geteuid();
    std::string prefix = folder.front() == '/' ? "/" : "";
    std::size_t at = 0;
    while (true) {
        struct stat st;
        if (::lstat(prefix.empty() ? "." : prefix.c_str(), &st) != 0) return errno == ENOENT;
        if (st.st_uid != 0 && st.st_uid != me) return false;
        while (at < folder.size() && folder[at] == '/')
            ++at;
        if (at >= folder.size()) return true;
        std::size_t end = folder.find('/', at);
        if (end == std::string::npos) end = folder.size();
        if (!prefix.empty() && prefix.back() != '/') prefix += '/';
        prefix.append(folder, at, end - at);
        at = end;
    }
}

bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Opens the temporary file for writing and holds an exclusive lock on it, so two engines saving
// the same root take turns instead of interleaving their bytes. The name must still lead to
// the locked file (a writer that finished first renamed it away), and that file must be a plain
// file with one link: a symbolic or hard link planted at the name is removed, never written
// through.
Result<int> open_temp(const std::string& path) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        int fd =
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
        if (fd < 0) {
            if (errno != ELOOP && errno != ENXIO) return Error::os(errno);
            ::unlink(path.c_str());
            continue;
        }
        int rc;
        while ((rc = ::flock(fd, LOCK_EX)) < 0 && errno == EINTR) {
        }
        if (rc < 0 && errno != ENOLCK && errno != EOPNOTSUPP) {
            int err = errno;
            ::close(fd);
            return Error::os(err);
        }
        struct stat mine, there;
        bool ours =
            ::fstat(fd, &mine) == 0 && ::lstat(path.c_str(), &there) == 0 && same_file(mine, there);
        if (ours && S_ISREG(mine.st_mode) && mine.st_nlink == 1) {
            if (::fchmod(fd, 0600) == 0 && ::ftruncate(fd, 0) == 0) return fd;
            int err = errno;
            ::close(fd);
            return Error::os(err);
        }
        if (ours) ::unlink(path.c_str());
        ::close(fd);
    }
    return Error::os(EBUSY);
}

bool write_all(int fd, std::string_view data, int& err) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            err = n < 0 ? errno : EIO;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Writes the file through a 1 MiB buffer. Closing a duplicate descriptor reports errors that
// network file systems defer to close, while the lock held by `fd` stays in place.
Status write_body(int fd, std::string_view root, uint64_t key, const VolumeUuid& uuid,
                  uint64_t event_id, const Node& node) {
    int err = 0;
    bincode::Writer w([&](std::string_view chunk) { return write_all(fd, chunk, err); });
    try {
        bincode::write_file(w, root, key, now_seconds(), event_id, uuid, node);
    } catch (const std::bad_alloc&) {
        return Error::os(ENOMEM);
    }
    if (!w.flush()) return Error::os(err);
    int probe = ::dup(fd);
    if (probe < 0 || ::close(probe) != 0) return Error::os(errno);
    return ok_status();
}

bool fresh(uint64_t saved_at, uint64_t now, uint64_t max_age) {
    return now >= saved_at && now - saved_at <= max_age;
}

// Files up to this size are read whole and decoded on every thread of the arena; larger ones,
// or a single thread, stream through the 1 MiB buffer so memory stays bounded.
constexpr uint64_t WHOLE_READ_MAX = uint64_t{256} << 20;

// A private anonymous mapping, so the buffer is not zeroed once more before it is filled.
class Bytes {
public:
    explicit Bytes(std::size_t n) : m_size(n) {
        void* p =
            ::mmap(nullptr, n ? n : 1, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        m_data = static_cast<char*>(p);
    }
    ~Bytes() { ::munmap(m_data, m_size ? m_size : 1); }
    Bytes(const Bytes&) = delete;
    Bytes& operator=(const Bytes&) = delete;
    char* data() { return m_data; }

private:
    char* m_data;
    std::size_t m_size;
};

// Reads up to `buf.size()` bytes from `at` on; fewer when the file got shorter meanwhile.
std::size_t read_at(int fd, uint64_t at, char* buf, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        ssize_t r = ::pread(fd, buf + got, n - got, static_cast<off_t>(at + got));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        got += static_cast<std::size_t>(r);
    }
    return got;
}

// The tree and the checksum after it. A file small enough is read whole, header included
// (the checksum covers it), and decoded side by side; the rest streams on from the header.
bool read_tree(int fd, uint64_t size, bincode::Reader& r, CacheBody& body) {
    uint64_t limit = std::min(size, DECODE_LIMIT + cache_check::TRAILER_SIZE);
    if (limit > WHOLE_READ_MAX || tbb::this_task_arena::max_concurrency() < 2)
        return bincode::read_node(r, body.node) && r.sealed();
    Bytes buf(static_cast<std::size_t>(limit));
    std::size_t got = read_at(fd, 0, buf.data(), static_cast<std::size_t>(limit));
    return bincode::read_rest(std::string_view(buf.data(), got), body);
}

std::optional<CacheBody> read_file(int fd, uint64_t size, std::string_view root, uint64_t key,
                                   uint64_t max_age) {
    bincode::Reader r(fd, size);
    CacheBody body;
    if (!bincode::read_header(r, body)) return std::nullopt;
    // Checked before the tree is decoded: a foreign or stale file costs no more than its header.
    if (body.root != root || body.key != key || !fresh(body.saved_at, now_seconds(), max_age))
        return std::nullopt;
    if (!read_tree(fd, size, r, body)) return std::nullopt;
    return body;
}

}  // namespace

std::string default_dir(const std::optional<std::string>& home) {
    if (const char* v = env_nonempty(ENV_VAR); v && utf8::valid(v)) return v;
    if (home && !home->empty()) return tree::join(*home, SUBDIR);
    if (const char* h = env_nonempty("HOME")) return tree::join(h, SUBDIR);
    const char* tmp = env_nonempty("TMPDIR");
    return tree::join(tmp ? tmp : "/tmp", SUBDIR);
}

std::string file_name(std::string_view root) {
    uint64_t h = 0xcbf29ce484222325ULL;
    for (unsigned char c : root) {
        h ^= c;
        h *= 0x100000001b3ULL;
    }
    char buf[17];
    std::snprintf(buf, sizeof buf, "%" PRIx64, h);
    return buf;
}

Status save(const std::string& folder, std::string_view root, uint64_t key,
            const VolumeUuid& volume_uuid, uint64_t event_id, const Node& node) {
    if (folder.empty()) return Error::os(EINVAL);
    if (!trusted_folder(folder)) return Error::os(EACCES);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return Error::os(ec.value());
    if (!trusted_folder(folder)) return Error::os(EACCES);
    std::string final_path = tree::join(folder, file_name(root));
    std::string temp_path = final_path + ".tmp";
    Result<int> fd = open_temp(temp_path);
    if (!fd) return fd.error();
    Status st = write_body(*fd, root, key, volume_uuid, event_id, node);
    if (st && ::rename(temp_path.c_str(), final_path.c_str()) != 0) st = Error::os(errno);
    if (!st) ::unlink(temp_path.c_str());
    ::close(*fd);
    return st;
}

std::optional<CacheBody> load(const std::string& folder, std::string_view root, uint64_t key,
                              uint64_t max_age) {
    if (folder.empty() || !trusted_folder(folder)) return std::nullopt;
    std::string path = tree::join(folder, file_name(root));
    // Non-blocking, so a FIFO planted at the name cannot stall the scan.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    std::optional<CacheBody> out;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        try {
            out = read_file(fd, static_cast<uint64_t>(st.st_size), root, key, max_age);
        } catch (const std::bad_alloc&) {
            out.reset();
        } catch (const std::length_error&) {
            out.reset();
        }
    }
    ::close(fd);
    return out;
}

}  // namespace bwcore::cache
