#include "EngineLog.hpp"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "LogFolder.hpp"
#include "Model.hpp"

namespace virirado {

namespace {

constexpr const char* kName = "gui-engine.log";
constexpr const char* kOlder = "gui-engine.log.1";

// Where to cut `text` to at most `limit` bytes without splitting a UTF-8
// character: back over the continuation bytes (at most three) of the one that
// would be split.
std::size_t cutPoint(std::string_view text, std::size_t limit) {
    std::size_t cut = limit;
    while (cut > 0 && limit - cut < 3 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return cut;
}

void addLine(std::string& out, std::string_view prefix, std::string_view line, std::size_t limit) {
    out.append(prefix).append(" ");
    if (line.size() <= limit) {
        out.append(line);
    } else {
        out.append(line.substr(0, cutPoint(line, limit)))
            .append(" \u2026 [")
            .append(std::to_string(line.size()))
            .append(" bytes]");
    }
    out.push_back('\n');
}

constexpr std::string_view kEllipsisOpen = " \u2026 [";
constexpr std::string_view kBytesClose = " bytes]";

// The bytes `addLine` writes for one line.
std::size_t lineSize(std::string_view prefix, std::string_view line, std::size_t limit) {
    std::size_t body = line.size();
    if (line.size() > limit) {
        body = cutPoint(line, limit) + kEllipsisOpen.size() + std::to_string(line.size()).size() +
               kBytesClose.size();
    }
    return prefix.size() + 1 + body + 1;
}

std::uint64_t lineCount(std::string_view bytes) {
    return static_cast<std::uint64_t>(std::count(bytes.begin(), bytes.end(), '\n'));
}

// The lines of one append that fit in `most` bytes, in a buffer made to their
// measure: what the queue holds is what it counts. The rest is only counted,
// which keeps a huge text from being copied.
struct Formatted {
    std::string bytes;
    std::uint64_t lines = 0;
    std::uint64_t leftOut = 0;
};

Formatted format(std::string_view prefix, std::string_view rest, std::size_t lineBytes,
                 std::size_t most) {
    Formatted f;
    std::size_t total = 0;
    std::string_view scan = rest;
    while (true) {
        const auto end = scan.find('\n');
        const std::size_t size = lineSize(prefix, scan.substr(0, end), lineBytes);
        if (total + size > most) {
            f.leftOut = lineCount(scan) + 1;
            break;
        }
        total += size;
        ++f.lines;
        if (end == std::string_view::npos) break;
        scan.remove_prefix(end + 1);
    }
    f.bytes.reserve(total);
    for (std::uint64_t i = 0; i < f.lines; ++i) {
        const auto end = rest.find('\n');
        addLine(f.bytes, prefix, rest.substr(0, end), lineBytes);
        if (end != std::string_view::npos) rest.remove_prefix(end + 1);
    }
    return f;
}

// The length of the whole lines at the start of `bytes` that fit in `room`.
std::size_t wholeLinesWithin(std::string_view bytes, std::uint64_t room) {
    if (room >= bytes.size()) return bytes.size();
    const auto end = bytes.substr(0, static_cast<std::size_t>(room)).rfind('\n');
    return end == std::string_view::npos ? 0 : end + 1;
}

// Queued, it is held in a buffer of its own length, as the lines are.
std::string droppedLine(std::uint64_t count, std::string_view why) {
    const std::string text = "-- " + std::to_string(count) + (count == 1 ? " line" : " lines") +
                             " not logged: " + std::string(why) + "\n";
    return std::string(text.data(), text.size());
}

constexpr std::string_view kKeepUp = "the log could not keep up";
constexpr std::string_view kDiskFull = "its disk was nearly full";

// "64 MiB", "512 KiB" or "1000 bytes".
std::string sizeText(std::uint64_t bytes) {
    if (bytes >= (1u << 20) && bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
    if (bytes >= (1u << 10) && bytes % (1u << 10) == 0) return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " bytes";
}

std::optional<std::uint64_t> systemFreeSpace(int fd) {
    struct statvfs vfs {};
    if (::fstatvfs(fd, &vfs) != 0) return std::nullopt;
    const std::uint64_t blocks = vfs.f_bavail;
    const std::uint64_t size = vfs.f_frsize;
    if (size != 0 && blocks > UINT64_MAX / size) return UINT64_MAX;
    return blocks * size;
}

// "gui-engine.log" in the log folder, moved to "gui-engine.log.1" whenever a
// write would take it past its cap. Used by the writer thread only.
class RotatingFile {
public:
    explicit RotatingFile(std::uint64_t cap) : m_cap(cap) {}
    ~RotatingFile() {
        if (m_fd >= 0) ::close(m_fd);
        if (m_folder >= 0) ::close(m_folder);
    }
    RotatingFile(const RotatingFile&) = delete;
    RotatingFile& operator=(const RotatingFile&) = delete;

    bool open(const std::string& home) {
        m_folder = logfolder::open(home).fd;
        return m_folder >= 0 && openCurrent();
    }
    int fd() const { return m_fd; }

    // Writes whole lines, moving the file aside where the next would not fit.
    // False when that move failed: the log cannot go on within its bounds.
    bool put(std::string_view bytes) {
        while (!bytes.empty()) {
            const std::uint64_t room = m_size < m_cap ? m_cap - m_size : 0;
            std::size_t n = wholeLinesWithin(bytes, room);
            if (n == 0 && m_size > 0) {
                if (!rotate()) return false;
                continue;
            }
            // A line longer than a whole file (only with a cap below the line
            // limit) goes alone into a file of its own.
            if (n == 0) {
                const auto end = bytes.find('\n');
                n = end == std::string_view::npos ? bytes.size() : end + 1;
            }
            if (!logfolder::writeAll(m_fd, bytes.substr(0, n))) {
                m_size = currentSize();  // the rest of this piece is dropped
                return true;
            }
            m_size += n;
            bytes.remove_prefix(n);
        }
        return true;
    }

private:
    bool openCurrent() {
        m_fd = logfolder::openFile(m_folder, kName).fd;
        // An older log may have been left readable by others.
        if (m_fd < 0 || ::fchmod(m_fd, 0600) != 0) return false;
        m_size = currentSize();
        return true;
    }

    std::uint64_t currentSize() const {
        struct stat st {};
        return ::fstat(m_fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : m_cap;
    }

    bool rotate() {
        // The file moves aside whole, however long an older version let it grow:
        // cutting it would split a line and lose the rest. The rename replaces
        // whatever "gui-engine.log.1" is, a link included, and never writes
        // through it. A log removed meanwhile is simply begun anew.
        if (::renameat(m_folder, kName, m_folder, kOlder) != 0 && errno != ENOENT) return false;
        ::close(m_fd);
        return openCurrent();
    }

    std::uint64_t m_cap;
    int m_folder = -1;
    int m_fd = -1;
    std::uint64_t m_size = 0;
};

// Keeps the log off the last free space of its disk. Used by the writer
// thread only.
class DiskRoom {
public:
    explicit DiskRoom(const EngineLog::Limits& limits)
        : m_reserve(limits.reserveBytes), m_freeSpace(limits.freeSpace) {
        if (!m_freeSpace) m_freeSpace = systemFreeSpace;
    }

    // How many bytes may be written to `file` now. After a stop, none until
    // twice the reserve is free (so a disk that hovers at the reserve does not
    // stop and start the log with every line); the first write then says how
    // many lines were left out.
    std::uint64_t room(RotatingFile& file) {
        m_free = m_freeSpace(file.fd());
        if (!m_free) return resumed(file) ? UINT64_MAX : 0;
        if (m_stopped && *m_free / 2 < m_reserve) return 0;
        if (!resumed(file)) return 0;
        return *m_free > m_reserve ? *m_free - m_reserve : 0;
    }

    void spent(std::uint64_t bytes) {
        if (m_free) *m_free -= std::min(*m_free, bytes);
    }

    // `lines` lines had no room. The first after a write stops the log, which
    // says so while half the reserve is still free.
    void leftOut(RotatingFile& file, std::uint64_t lines) {
        m_leftOut += lines;
        if (m_stopped) return;
        m_stopped = true;
        const std::string notice =
            "-- the log stops here: less than " + sizeText(m_reserve) + " is free on its disk\n";
        if (!m_free || *m_free - std::min<std::uint64_t>(*m_free, notice.size()) >= m_reserve / 2) {
            file.put(notice);
            spent(notice.size());
        }
    }

private:
    bool resumed(RotatingFile& file) {
        if (!m_stopped) return true;
        if (m_leftOut > 0 && !file.put(droppedLine(m_leftOut, kDiskFull))) return false;
        m_stopped = false;
        m_leftOut = 0;
        return true;
    }

    std::uint64_t m_reserve;
    std::function<std::optional<std::uint64_t>(int)> m_freeSpace;
    // The last reading, less what was written since.
    std::optional<std::uint64_t> m_free;
    bool m_stopped = false;
    std::uint64_t m_leftOut = 0;
};

// Writes what the disk has room for, whole lines only; false when the log
// cannot go on.
bool writeWithin(RotatingFile& file, DiskRoom& disk, std::string_view bytes, std::uint64_t lines,
                 std::uint64_t& room) {
    const std::size_t keep = wholeLinesWithin(bytes, room);
    if (keep > 0) {
        if (!file.put(bytes.substr(0, keep))) return false;
        room -= keep;
        disk.spent(keep);
    }
    if (keep == bytes.size()) return true;
    // A piece's lines are its line feeds, but for a line that counts others.
    disk.leftOut(file, keep == 0 ? lines : lineCount(bytes.substr(keep)));
    // The log has said it stops: no shorter line of this batch may follow that,
    // each is counted instead, and the count comes first when the log goes on.
    room = 0;
    return true;
}

}  // namespace

EngineLog& EngineLog::shared() {
    static EngineLog log(homeFolder());
    return log;
}

EngineLog::EngineLog(std::string home) : EngineLog(std::move(home), Limits{}) {}

EngineLog::EngineLog(std::string home, Limits limits)
    : m_home(std::move(home)), m_limits(std::move(limits)) {}

EngineLog::~EngineLog() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    if (m_writer.joinable()) m_writer.join();
}

std::size_t EngineLog::heldBytes() const {
    std::lock_guard lock(m_mutex);
    std::size_t held = 0;
    for (const auto* pieces : {&m_pending, &m_writing}) {
        for (const Piece& piece : *pieces)
            held += piece.bytes.capacity();
    }
    return held;
}

void EngineLog::append(std::string_view prefix, std::string_view text) noexcept {
    std::string_view rest = text;
    if (rest.ends_with('\n')) rest.remove_suffix(1);
    if (rest.empty()) return;
    try {
        queue(prefix, rest);
    } catch (...) {
        // No memory for these lines: they are counted like lines the queue had
        // no room for. Logging must never end the app.
        std::lock_guard lock(m_mutex);
        if (!m_off) m_dropped += lineCount(rest) + 1;
    }
    startWriter();
    m_wake.notify_one();
}

void EngineLog::queue(std::string_view prefix, std::string_view rest) {
    const auto roomNow = [this] {
        return m_waitingBytes < m_limits.queueBytes ? m_limits.queueBytes - m_waitingBytes : 0;
    };
    std::size_t room;
    {
        std::lock_guard lock(m_mutex);
        if (m_off) return;
        room = roomNow();
    }
    Formatted lines = format(prefix, rest, m_limits.lineBytes, room);

    std::lock_guard lock(m_mutex);
    if (m_off) return;
    // Others may have queued meanwhile, and a count of dropped lines goes first.
    std::string notice = m_dropped > 0 ? droppedLine(m_dropped, kKeepUp) : std::string();
    room = roomNow();
    const std::size_t noticeHeld = notice.empty() ? 0 : notice.capacity();
    std::size_t keep = 0;
    if (noticeHeld <= room) keep = wholeLinesWithin(lines.bytes, room - noticeHeld);
    // Cut down, the piece is copied so that it holds no more than it keeps.
    if (keep > 0 && keep < lines.bytes.size()) lines.bytes = std::string(lines.bytes, 0, keep);
    const std::uint64_t kept = keep > 0 ? lineCount(lines.bytes) : 0;
    const std::uint64_t dropped = lines.leftOut + lines.lines - kept;
    if (kept > 0) {
        // Said before the next line that is written, so it stands where the gap is.
        if (!notice.empty()) {
            m_pending.push_back({std::move(notice), m_dropped});
            m_waitingBytes += noticeHeld;
            m_dropped = 0;
        }
        const std::size_t held = lines.bytes.capacity();
        m_pending.push_back({std::move(lines.bytes), kept});
        m_waitingBytes += held;
    }
    m_dropped += dropped;
}

void EngineLog::startWriter() {
    std::lock_guard lock(m_mutex);
    // The writer starts with the first line, so a log nobody writes to costs
    // neither a thread nor a file. Without one the lines wait for the next try.
    if (m_off || m_writer.joinable()) return;
    try {
        m_writer = std::thread([this] { run(); });
    } catch (...) {
    }
}

bool EngineLog::takeBatch() {
    // Nothing waits after the lines that were dropped: say so now, or a flood
    // that ends leaves its gap unexplained.
    if (m_pending.empty() && m_dropped > 0) {
        try {
            std::string notice = droppedLine(m_dropped, kKeepUp);
            const std::size_t held = notice.capacity();
            m_pending.push_back({std::move(notice), m_dropped});
            m_waitingBytes += held;
            m_dropped = 0;
        } catch (...) {
        }
    }
    if (m_pending.empty()) return false;
    m_writing.swap(m_pending);
    return true;
}

void EngineLog::run() {
    RotatingFile file(m_limits.fileBytes);
    DiskRoom disk(m_limits);
    bool ready = false;
    try {
        ready = file.open(m_home);
    } catch (...) {
    }
    std::unique_lock lock(m_mutex);
    while (ready) {
        m_wake.wait(lock, [this] { return m_stopping || !m_pending.empty() || m_dropped > 0; });
        if (!takeBatch()) return;  // stopping, and everything is written
        lock.unlock();
        std::size_t held = 0;
        for (const Piece& piece : m_writing)
            held += piece.bytes.capacity();
        bool ok = true;
        try {
            std::uint64_t room = disk.room(file);
            for (const Piece& piece : m_writing)
                ok = ok && writeWithin(file, disk, piece.bytes, piece.lines, room);
        } catch (...) {
        }
        lock.lock();
        m_writing.clear();
        m_waitingBytes -= held;
        if (!ok) break;
    }
    m_off = true;
    m_pending.clear();
    m_waitingBytes = 0;
    m_dropped = 0;
}

}  // namespace virirado
