#include "progress.hpp"

#include <optional>

#include "output.hpp"

namespace virirado_engine {

bool ProgressGate::due(double ms) {
    uint64_t whole = ms > 0 ? static_cast<uint64_t>(ms) : 0;
    if (whole < m_last || whole - m_last < m_gap_ms) return false;
    m_last = whole;
    return true;
}

ProgressThread::ProgressThread(std::chrono::milliseconds tick, uint64_t gap_ms, Make make)
    : m_tick(tick),
      m_gap_ms(gap_ms),
      m_make(std::move(make)),
      m_start(std::chrono::steady_clock::now()) {
    m_thread = std::thread([this] { loop(); });
}

ProgressThread::~ProgressThread() {
    stop();
}

void ProgressThread::stop() {
    {
        std::lock_guard<std::mutex> guard(m_mu);
        m_stop = true;
    }
    m_cv.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void ProgressThread::loop() {
    std::unique_lock<std::mutex> lock(m_mu);
    ProgressGate gate(m_gap_ms);
    auto next = m_start + m_tick;
    // The lock is held while a line is written, so stop() cannot return in the middle of one.
    while (!m_cv.wait_until(lock, next, [this] { return m_stop; })) {
        double ms = ms_between(m_start, std::chrono::steady_clock::now());
        if (gate.due(ms)) emit("progress", m_make(ms));
        next += m_tick;
    }
}

bwcore::Result<bwcore::ScanResult> scan_with_progress(const bwcore::ScanOptions& options,
                                                      std::chrono::milliseconds tick,
                                                      uint64_t gap_ms, const ProgressLine& line) {
    bwcore::walk::Counters counters;
    std::optional<ProgressThread> progress;
    if (line) progress.emplace(tick, gap_ms, [&](double ms) { return line(counters, ms); });
    return bwcore::scan::scan(options, counters,
                              [&](std::string_view name, const nlohmann::json& v) {
                                  if (line) emit(name, v);
                              });
}

}  // namespace virirado_engine
