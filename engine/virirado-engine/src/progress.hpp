#pragma once
// The thread that writes "progress" lines while a scan runs.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "scan.hpp"

namespace virirado_engine {

// Whether a progress line is due at `ms` after the start: `gap_ms` whole milliseconds past the
// whole milliseconds of the last line (0 before the first). Comparing whole milliseconds keeps
// the cadence on the ticks: a line printed a fraction late does not push the next one a tick on.
class ProgressGate {
public:
    explicit ProgressGate(uint64_t gap_ms) : m_gap_ms(gap_ms) {}
    bool due(double ms);

private:
    uint64_t m_gap_ms;
    uint64_t m_last = 0;
};

// Emits a "progress" line built by `make(elapsed milliseconds)` every `tick`, once at least
// `gap_ms` have passed since the last line, until stopped. The wait is a condition variable, so
// a stop never sits out a period; stopping waits for a line being written, so none follows it.
class ProgressThread {
public:
    using Make = std::function<nlohmann::json(double elapsed_ms)>;
    ProgressThread(std::chrono::milliseconds tick, uint64_t gap_ms, Make make);
    ~ProgressThread();
    ProgressThread(const ProgressThread&) = delete;
    ProgressThread& operator=(const ProgressThread&) = delete;
    void stop();

private:
    void loop();

    std::chrono::milliseconds m_tick;
    uint64_t m_gap_ms;
    Make m_make;
    std::chrono::steady_clock::time_point m_start;
    std::mutex m_mu;
    std::condition_variable m_cv;
    bool m_stop = false;
    std::thread m_thread;
};

// One scan with its "progress" lines (`line` builds each from the counters and the elapsed
// milliseconds) and its "first" event. Without `line`, the scan runs silently.
using ProgressLine =
    std::function<nlohmann::json(const bwcore::walk::Counters&, double elapsed_ms)>;
bwcore::Result<bwcore::ScanResult> scan_with_progress(const bwcore::ScanOptions& options,
                                                      std::chrono::milliseconds tick,
                                                      uint64_t gap_ms, const ProgressLine& line);

}  // namespace virirado_engine
