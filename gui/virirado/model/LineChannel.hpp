// The engine's output as lines, and the traffic log of both directions.
// Standard output is split at line feeds: a line is taken whole up to a cap
// however many reads it takes, one past the cap is dropped up to its line
// feed, and only well-formed UTF-8 that is not blank after trimming is handed
// on. Standard error is logged and its last 600 characters kept for the
// message when the engine ends. A received line reaches the traffic log after
// it was handled, followed by the commands its handling sent.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace virirado {

class LineChannel {
public:
    using TrafficLog = std::function<void(std::string_view prefix, std::string_view text)>;
    using Handler = std::function<void(std::string_view line)>;

    LineChannel(std::size_t maxLineBytes, TrafficLog log);

    // A new engine: whatever the last one left half-written belongs to it alone.
    void reset();
    // Hands every line `bytes` completes to `handle`, in order, and keeps the
    // rest for the next read.
    void consume(std::string_view bytes, const Handler& handle);
    void consumeError(const std::string& bytes);
    // One line for the traffic log; held while a received line is handled.
    void logTraffic(std::string_view prefix, std::string_view text);

    const std::string& stderrTail() const { return m_stderrTail; }

private:
    // Handles one received line and then logs it.
    void handleLogged(std::string_view line, const Handler& handle);
    // Keeps output that ends no line yet, up to the cap.
    void keepPartial(std::string_view bytes);
    void dropPending();

    std::size_t m_maxLineBytes;
    TrafficLog m_log;
    // Output since the last line feed, in the pieces it came in, and its length.
    std::vector<std::string> m_pending;
    std::size_t m_pendingBytes = 0;
    // Output past the cap is being dropped up to the next line feed.
    bool m_overlong = false;
    // Standard error that ends inside a character.
    std::string m_errorPending;
    std::string m_stderrTail;
    // Traffic-log lines that wait while a received line is handled.
    bool m_holdTraffic = false;
    std::vector<std::pair<std::string, std::string>> m_heldTraffic;
};

}  // namespace virirado
