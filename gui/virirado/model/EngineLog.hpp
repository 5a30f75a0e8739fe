// The engine traffic log "gui-engine.log": every command sent to the cleaning
// engine (">>"), every line received ("<<") and its standard error ("stderr").
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace virirado {

class EngineLog {
public:
    // The one log of the app, under the current user's home folder.
    static EngineLog& shared();

    // A log under `home`. Nothing is created until the first line is written:
    // then the folder and the file are prepared, and when that fails the log
    // stays off for the life of this instance and every append does nothing.
    explicit EngineLog(std::string home);
    // Writes what is still queued, then closes the file.
    ~EngineLog();
    EngineLog(const EngineLog&) = delete;
    EngineLog& operator=(const EngineLog&) = delete;

    // Queues one line per line of `text`, each led by `prefix` and a space. Safe
    // from any thread; the lines of one call are written in one piece, and calls
    // are written in the order they were made.
    void append(std::string_view prefix, std::string_view text);

private:
    void run();

    std::string m_home;
    int m_fd = -1;
    bool m_off = false;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::string> m_pending;
    bool m_stopping = false;
    std::thread m_writer;
};

}  // namespace virirado
