#include "progress.hpp"

#include "output.hpp"

namespace virirado_engine {

ProgressThread::ProgressThread(std::chrono::milliseconds tick, double gap_ms, Make make)
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
    double last = 0;
    auto next = m_start + m_tick;
    // The lock is held while a line is written, so stop() cannot return in the middle of one.
    while (!m_cv.wait_until(lock, next, [this] { return m_stop; })) {
        double ms = ms_between(m_start, std::chrono::steady_clock::now());
        if (ms >= last + m_gap_ms) {
            emit("progress", m_make(ms));
            last = ms;
        }
        next += m_tick;
    }
}

}  // namespace virirado_engine
