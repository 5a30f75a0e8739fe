// The engine traffic log "gui-engine.log": every command sent to the cleaning
// engine (">>"), every line received ("<<") and its standard error ("stderr").
// An engine can write without end, and the app is there to free the disk: the
// log is bounded on disk, per line and in memory.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
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
        // Bytes queued and not yet written past which further lines are dropped;
        // a line then says how many were.
        std::size_t queueBytes = 8u << 20;
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
    // and calls are written in the order they were made.
    void append(std::string_view prefix, std::string_view text);

private:
    void run();

    std::string m_home;
    Limits m_limits;
    bool m_off = false;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::string> m_pending;
    // Queued bytes plus those the writer holds but has not yet written.
    std::size_t m_waitingBytes = 0;
    // Lines dropped since the last line that said so.
    std::uint64_t m_dropped = 0;
    bool m_stopping = false;
    std::thread m_writer;
};

}  // namespace virirado
