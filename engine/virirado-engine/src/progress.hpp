#pragma once
// The thread that writes "progress" lines while a scan runs.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

namespace virirado_engine {

// Emits a "progress" line built by `make(elapsed milliseconds)` every `tick`, once at least
// `gap_ms` have passed since the last line, until stopped. The wait is a condition variable, so
// a stop never sits out a period; stopping waits for a line being written, so none follows it.
class ProgressThread {
public:
    using Make = std::function<nlohmann::json(double elapsed_ms)>;
    ProgressThread(std::chrono::milliseconds tick, double gap_ms, Make make);
    ~ProgressThread();
    ProgressThread(const ProgressThread&) = delete;
    ProgressThread& operator=(const ProgressThread&) = delete;
    void stop();

private:
    void loop();

    std::chrono::milliseconds m_tick;
    double m_gap_ms;
    Make m_make;
    std::chrono::steady_clock::time_point m_start;
    std::mutex m_mu;
    std::condition_variable m_cv;
    bool m_stop = false;
    std::thread m_thread;
};

}  // namespace virirado_engine
