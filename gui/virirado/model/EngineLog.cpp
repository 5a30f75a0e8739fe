#include "EngineLog.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

// The lines of one append. Past `most` bytes nothing more could be queued, so
// the rest is only counted, which keeps a huge text from being copied.
struct Formatted {
    std::string bytes;
    std::uint64_t leftOut = 0;
};

Formatted format(std::string_view prefix, std::string_view rest, std::size_t lineBytes,
                 std::size_t most) {
    Formatted f;
    f.bytes.reserve(std::min(rest.size(), most) + 16);
    while (true) {
        if (f.bytes.size() > most) {
            f.leftOut = static_cast<std::uint64_t>(std::count(rest.begin(), rest.end(), '\n')) + 1;
            break;
        }
        const auto end = rest.find('\n');
        addLine(f.bytes, prefix, rest.substr(0, end), lineBytes);
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return f;
}

// The length of the whole lines at the start of `bytes` that fit in `room`.
std::size_t wholeLinesWithin(std::string_view bytes, std::uint64_t room) {
    if (room >= bytes.size()) return bytes.size();
    const auto end = bytes.substr(0, static_cast<std::size_t>(room)).rfind('\n');
    return end == std::string_view::npos ? 0 : end + 1;
}

std::uint64_t lineCount(std::string_view bytes) {
    return static_cast<std::uint64_t>(std::count(bytes.begin(), bytes.end(), '\n'));
}

std::string droppedLine(std::uint64_t count) {
    return "-- " + std::to_string(count) + (count == 1 ? " line" : " lines") +
           " not logged: the log could not keep up\n";
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
        m_folder = logfolder::open(home);
        return m_folder >= 0 && openCurrent();
    }

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
        m_fd = logfolder::openFile(m_folder, kName);
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
        // An older version wrote logs of any length: keep the first cap's worth.
        if (m_size > m_cap && ::ftruncate(m_fd, static_cast<off_t>(m_cap)) != 0) return false;
        // The rename replaces whatever "gui-engine.log.1" is, a link included,
        // and never writes through it. A log removed meanwhile is simply begun anew.
        if (::renameat(m_folder, kName, m_folder, kOlder) != 0 && errno != ENOENT) return false;
        ::close(m_fd);
        return openCurrent();
    }

    std::uint64_t m_cap;
    int m_folder = -1;
    int m_fd = -1;
    std::uint64_t m_size = 0;
};

}  // namespace

EngineLog& EngineLog::shared() {
    static EngineLog log(homeFolder());
    return log;
}

EngineLog::EngineLog(std::string home) : EngineLog(std::move(home), Limits{}) {}

EngineLog::EngineLog(std::string home, Limits limits) : m_home(std::move(home)), m_limits(limits) {}

EngineLog::~EngineLog() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    if (m_writer.joinable()) m_writer.join();
}

void EngineLog::append(std::string_view prefix, std::string_view text) {
    std::string_view rest = text;
    if (rest.ends_with('\n')) rest.remove_suffix(1);
    if (rest.empty()) return;

    Formatted lines = format(prefix, rest, m_limits.lineBytes, m_limits.queueBytes);
    {
        std::lock_guard lock(m_mutex);
        if (m_off) return;
        std::size_t room =
            m_waitingBytes < m_limits.queueBytes ? m_limits.queueBytes - m_waitingBytes : 0;
        std::string notice = m_dropped > 0 ? droppedLine(m_dropped) : std::string();
        std::size_t keep = 0;
        if (notice.size() <= room) keep = wholeLinesWithin(lines.bytes, room - notice.size());
        const std::uint64_t dropped =
            lines.leftOut + lineCount(std::string_view(lines.bytes).substr(keep));
        if (keep > 0) {
            // Said before the next line that is written, so it stands where the gap is.
            if (!notice.empty()) {
                m_waitingBytes += notice.size();
                m_pending.push_back(std::move(notice));
                m_dropped = 0;
            }
            lines.bytes.resize(keep);
            m_waitingBytes += keep;
            m_pending.push_back(std::move(lines.bytes));
        }
        m_dropped += dropped;
        // The writer starts with the first line, so a log nobody writes to costs
        // neither a thread nor a file.
        if (!m_writer.joinable()) m_writer = std::thread([this] { run(); });
    }
    m_wake.notify_one();
}

void EngineLog::run() {
    RotatingFile file(m_limits.fileBytes);
    const bool ready = file.open(m_home);
    std::unique_lock lock(m_mutex);
    while (ready) {
        m_wake.wait(lock, [this] { return m_stopping || !m_pending.empty() || m_dropped > 0; });
        std::deque<std::string> batch;
        batch.swap(m_pending);
        // Nothing waits after the lines that were dropped: say so now, or a
        // flood that ends leaves its gap unexplained.
        if (batch.empty() && m_dropped > 0) {
            batch.push_back(droppedLine(m_dropped));
            m_waitingBytes += batch.back().size();
            m_dropped = 0;
        }
        if (batch.empty()) return;  // stopping, and everything is written
        lock.unlock();
        bool ok = true;
        std::size_t done = 0;
        for (const std::string& piece : batch) {
            ok = ok && file.put(piece);
            done += piece.size();
        }
        batch.clear();
        lock.lock();
        m_waitingBytes -= done;
        if (!ok) break;
    }
    m_off = true;
    m_pending.clear();
    m_waitingBytes = 0;
    m_dropped = 0;
}

}  // namespace virirado
