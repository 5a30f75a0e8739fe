#include "fsevents_store.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace bwplatform {
namespace {

constexpr char JOURNAL_MAGIC[8] = {'V', 'R', 'V', 'J', 'R', 'N', 'L', '1'};
// No path the kernel hands out comes near this; a bigger length means a damaged journal.
constexpr uint32_t MAX_PATH_BYTES = 1u << 16;

// Closes a descriptor when it goes out of scope.
struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

// Opens a store file, refusing links and anything but a regular file: a pipe planted at the
// name would otherwise block the reader for good.
int open_file(const std::string& path, int flags, mode_t mode = 0600) {
    int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, mode);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

void put_u64(std::string& out, uint64_t v) {
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<char>(v >> (8 * i)));
}
void put_u32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>(v >> (8 * i)));
}
uint64_t get_le(const unsigned char* p, int bytes) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

int write_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

// Creates `folder` and its parents (mode 0700 for what we create).
int make_folders(const std::string& folder) {
    if (folder.empty()) return ENOENT;
    for (std::size_t at = 1; at <= folder.size(); ++at) {
        if (at != folder.size() && folder[at] != '/') continue;
        std::string part = folder.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

// Holds the store's lock file under flock for the life of the object.
class StoreLock {
public:
    StoreLock(const std::string& folder, int how)
        : m_fd(open_file(folder + "/lock", O_RDWR | O_CREAT)) {
        if (m_fd.fd < 0) {
            m_error = errno;
            return;
        }
        while (::flock(m_fd.fd, how) != 0) {
            if (errno != EINTR) {
                m_error = errno;
                return;
            }
        }
    }
    int error() const { return m_error; }

private:
    Fd m_fd;
    int m_error = 0;
};

std::string uuid_path(const std::string& folder, uint64_t dev) {
    return folder + "/uuid-" + std::to_string(dev);
}

std::optional<CFUUIDBytes> parse_uuid(const std::string& text) {
    if (text.size() != 33 || text[32] != '\n') return std::nullopt;
    CFUUIDBytes out{};
    for (std::size_t i = 0; i < 32; ++i) {
        char c = text[i];
        int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (v < 0) return std::nullopt;
        out[i / 2] = static_cast<uint8_t>(out[i / 2] << 4 | v);
    }
    return out;
}

std::optional<CFUUIDBytes> read_uuid(const std::string& path) {
    Fd fd(open_file(path, O_RDONLY));
    if (fd.fd < 0) return std::nullopt;
    char buf[40];
    ssize_t n = ::read(fd.fd, buf, sizeof buf);
    if (n <= 0) return std::nullopt;
    return parse_uuid(std::string(buf, static_cast<std::size_t>(n)));
}

// A random (version 4) UUID as its text line; empty when the system has no randomness.
std::string fresh_uuid_text() {
    CFUUIDBytes b{};
    if (::getrandom(b.data(), b.size(), 0) != static_cast<ssize_t>(b.size())) return {};
    b[6] = static_cast<uint8_t>((b[6] & 0x0f) | 0x40);
    b[8] = static_cast<uint8_t>((b[8] & 0x3f) | 0x80);
    static const char* hex = "0123456789abcdef";
    std::string text;
    for (uint8_t v : b) {
        text.push_back(hex[v >> 4]);
        text.push_back(hex[v & 15]);
    }
    return text + "\n";
}

// Writes a fresh UUID to `path`: `replace` overwrites whatever is there, otherwise an
// existing file (another process won the race) is kept.
int write_uuid(const std::string& path, bool replace) {
    std::string text = fresh_uuid_text();
    if (text.empty()) return EIO;
    std::string tmp = path + ".tmp" + std::to_string(::getpid());
    Fd fd(open_file(tmp, O_WRONLY | O_CREAT | O_TRUNC));
    if (fd.fd < 0) return errno;
    int err = write_all(fd.fd, text.data(), text.size());
    if (err == 0) {
        int rc = replace ? ::rename(tmp.c_str(), path.c_str()) : ::link(tmp.c_str(), path.c_str());
        if (rc != 0 && !(errno == EEXIST && !replace)) err = errno;
    }
    ::unlink(tmp.c_str());
    return err;
}

// The counter file's value, or none when it is missing or not 8 bytes.
std::optional<uint64_t> read_counter(const std::string& folder) {
    Fd fd(open_file(folder + "/counter", O_RDONLY));
    if (fd.fd < 0) return std::nullopt;
    unsigned char buf[9];
    ssize_t n = ::read(fd.fd, buf, sizeof buf);
    if (n != 8) return std::nullopt;
    return get_le(buf, 8);
}

std::vector<event_store::Record> read_journal(const std::string& folder, FSEventStreamEventId since,
                                              FSEventStreamEventId until, bool& intact);

// The counter, trusting the journal's records over a damaged or missing counter file.
uint64_t counter_or_journal(const std::string& folder) {
    if (auto value = read_counter(folder)) return *value;
    bool intact = true;
    auto all = read_journal(folder, 0, ~0ull, intact);
    return all.empty() ? 0 : all.back().id;
}

int write_counter(const std::string& folder, uint64_t value) {
    Fd fd(open_file(folder + "/counter", O_WRONLY | O_CREAT));
    if (fd.fd < 0) return errno;
    std::string bytes;
    put_u64(bytes, value);
    if (::pwrite(fd.fd, bytes.data(), 8, 0) != 8) return errno ? errno : EIO;
    return 0;
}

std::string encode(const std::vector<event_store::Record>& events, bool with_header) {
    std::string out;
    if (with_header) out.append(JOURNAL_MAGIC, sizeof JOURNAL_MAGIC);
    for (const auto& e : events) {
        put_u64(out, e.id);
        put_u32(out, e.flags);
        put_u32(out, static_cast<uint32_t>(e.path.size()));
        out += e.path;
    }
    return out;
}

}  // namespace

std::string event_store_folder() {
    const char* v = std::getenv("VIRIRADO_EVENT_STORE");
    return v ? std::string(v) : std::string();
}

std::optional<CFUUIDBytes> FSEventsCopyUUIDForDevice(uint64_t dev) {
    std::string folder = event_store_folder();
    if (folder.empty()) return std::nullopt;
    return event_store::device_uuid(folder, dev);
}

FSEventStreamEventId FSEventsGetCurrentEventId() {
    std::string folder = event_store_folder();
    return folder.empty() ? 0 : event_store::current_id(folder);
}

namespace event_store {

std::optional<CFUUIDBytes> device_uuid(const std::string& folder, uint64_t dev) {
    std::string path = uuid_path(folder, dev);
    if (auto uuid = read_uuid(path)) return uuid;
    if (make_folders(folder) != 0) return std::nullopt;
    // A file that exists but does not parse is replaced: its history cannot be vouched for.
    bool exists = ::access(path.c_str(), F_OK) == 0;
    if (write_uuid(path, exists) != 0) return std::nullopt;
    return read_uuid(path);
}

int reset_device(const std::string& folder, uint64_t dev) {
    if (int err = make_folders(folder)) return err;
    return write_uuid(uuid_path(folder, dev), true);
}

FSEventStreamEventId current_id(const std::string& folder) {
    StoreLock lock(folder, LOCK_SH);
    if (lock.error()) return 0;
    return counter_or_journal(folder);
}

int append(const std::string& folder, std::vector<Record>& events) {
    if (events.empty()) return 0;
    if (int err = make_folders(folder)) return err;
    StoreLock lock(folder, LOCK_EX);
    if (lock.error()) return lock.error();
    uint64_t next = counter_or_journal(folder);
    for (auto& e : events)
        e.id = ++next;
    // The counter goes first: a crash in between skips ids but never hands one out twice.
    if (int err = write_counter(folder, next)) return err;
    Fd fd(open_file(folder + "/journal", O_WRONLY | O_APPEND | O_CREAT));
    if (fd.fd < 0) return errno;
    struct stat st {};
    if (::fstat(fd.fd, &st) != 0) return errno;
    std::string bytes = encode(events, st.st_size == 0);
    return write_all(fd.fd, bytes.data(), bytes.size());
}

FSEventStreamEventId append_event(std::string_view path, FSEventStreamEventFlags flags) {
    std::string folder = event_store_folder();
    if (folder.empty()) return 0;
    std::vector<Record> one{Record{0, flags, std::string(path)}};
    return append(folder, one) == 0 ? one[0].id : 0;
}

std::vector<Record> read(const std::string& folder, FSEventStreamEventId since,
                         FSEventStreamEventId until, bool& intact) {
    // A shared lock keeps a half-written append from reading as damage.
    StoreLock lock(folder, LOCK_SH);
    if (lock.error() && lock.error() != ENOENT) {
        intact = false;
        return {};
    }
    return read_journal(folder, since, until, intact);
}

}  // namespace event_store

namespace {

std::vector<event_store::Record> read_journal(const std::string& folder, FSEventStreamEventId since,
                                              FSEventStreamEventId until, bool& intact) {
    using event_store::Record;
    intact = true;
    std::vector<Record> out;
    int fd = open_file(folder + "/journal", O_RDONLY);
    if (fd < 0) {
        if (errno != ENOENT) intact = false;
        return out;
    }
    std::unique_ptr<FILE, int (*)(FILE*)> file(::fdopen(fd, "rb"), &std::fclose);
    if (!file) {
        ::close(fd);
        intact = false;
        return out;
    }
    char magic[8];
    std::size_t got = std::fread(magic, 1, 8, file.get());
    if (got == 0) return out;  // an empty journal: nothing recorded yet
    if (got != 8 || std::memcmp(magic, JOURNAL_MAGIC, 8) != 0) {
        intact = false;
        return out;
    }
    unsigned char head[16];
    uint64_t last = 0;
    while ((got = std::fread(head, 1, 16, file.get())) == 16) {
        Record r{get_le(head, 8), static_cast<uint32_t>(get_le(head + 8, 4)), {}};
        auto len = static_cast<uint32_t>(get_le(head + 12, 4));
        if (len > MAX_PATH_BYTES || r.id <= last) break;
        r.path.resize(len);
        if (std::fread(r.path.data(), 1, len, file.get()) != len) break;
        last = r.id;
        if (r.id > until) return out;
        if (r.id > since) out.push_back(std::move(r));
    }
    intact = got == 0 && std::feof(file.get());
    return out;
}

}  // namespace

}  // namespace bwplatform
