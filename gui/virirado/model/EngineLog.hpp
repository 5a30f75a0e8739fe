// The engine traffic log "gui-engine.log": every command sent to the cleaning
// engine (">>"), every line received ("<<") and its standard error ("stderr").
// An engine can write without end, and the app is there to free the disk: the
// log is bounded on disk, per line and in memory, and it never takes the last
// free space of the disk it lies on.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace virirado {

class EngineLog {
public:
    struct Limits {
        // "gui-engine.log" is at most this long; a write that would take it past
        // moves it to "gui-engine.log.1" (replacing that) and starts it anew, so
        // the log never holds more than two such files.
        std::uint64_t fileBytes = 32ull << 20;
        // The text of one line past this many bytes (after its prefix) is cut to
        // them, on a character boundary, and followed by " … [N bytes]".
        std::size_t lineBytes = 64u << 10;
        // What the lines waiting to be written may hold in memory, counted by
        // their buffers' capacity, not their length; past it further lines are
        // dropped, and a line then says how many were.
        std::size_t queueBytes = 8u << 20;
        // Free space the log leaves on its disk, which is the disk being cleaned,
        // so the deletion log finds room: a write that would leave less is not
        // made, and the log stops, saying so once if half of this is still free.
        // It goes on once twice this is free again, first saying how many lines
        // it left out meanwhile.
        std::uint64_t reserveBytes = 64ull << 20;
        // Free bytes of the file system that holds the open log `fd`; none when
        // unknown, and then the log writes. Unset, the system's own reading.
        std::function<std::optional<std::uint64_t>(int fd)> freeSpace;
    };

    // The one log of the app, under the current user's home folder.
    static EngineLog& shared();

    // A log under `home`. Nothing is created until the first line is written:
    // then the folder and the file are prepared, and when that fails (or a later
    // move to "gui-engine.log.1" does) the log stays off for the life of this
    // instance and every append does nothing.
    explicit EngineLog(std::string home);
    // The same with other limits, so tests need not write 32 MiB.
    EngineLog(std::string home, Limits limits);
    // Writes what is still queued, then closes the file.
    ~EngineLog();
    EngineLog(const EngineLog&) = delete;
    EngineLog& operator=(const EngineLog&) = delete;

    // Queues one line per line of `text`, each led by `prefix` and a space. Safe
    // from any thread; the lines of one call are never interleaved with others,
    // and calls are written in the order they were made. Lines that cannot be
    // held (no memory left, among others) are dropped and counted, never thrown.
    void append(std::string_view prefix, std::string_view text) noexcept;

    // What the lines not yet written hold in memory now, by the capacity of
    // their buffers (those the writer has in hand included).
    std::size_t heldBytes() const;

private:
    // Queued text and the number of lines it stands for (a line saying that
    // lines were dropped stands for those).
    struct Piece {
        std::string bytes;
        std::uint64_t lines = 0;
    };
    void queue(std::string_view prefix, std::string_view rest);
    void startWriter();
    void run();
    // Takes what waits into m_writing; false when there is nothing to write.
    bool takeBatch();

    std::string m_home;
    Limits m_limits;
    bool m_off = false;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Piece> m_pending;
    // The batch the writer is writing; swapped with m_pending, never copied.
    std::deque<Piece> m_writing;
    // What m_pending and m_writing hold, by capacity.
    std::size_t m_waitingBytes = 0;
    // Lines dropped since the last line that said so.
    std::uint64_t m_dropped = 0;
    bool m_stopping = false;
    std::thread m_writer;
};

}  // namespace virirado
