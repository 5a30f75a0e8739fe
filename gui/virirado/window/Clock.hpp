// The window's two clocks: the wall clock the search ages and the clean's
// elapsed time read, and the frame clock every animation is drawn from. Pictures
// fix both, so the same state always draws the same.
#pragma once

#include <chrono>

namespace virirado {

// Seconds from 1 January 1970 to 1 January 2001 UTC, where the frame clock starts.
inline constexpr double kFrameEpochOffset = 978'307'200.0;

class WindowClock {
public:
    virtual ~WindowClock() = default;
    // Seconds since 1970 (UTC).
    virtual double now() const = 0;
    // Seconds since 1 January 2001 UTC.
    virtual double frameTime() const { return now() - kFrameEpochOffset; }
};

class SystemClock : public WindowClock {
public:
    double now() const override {
        using namespace std::chrono;
        return duration<double>(system_clock::now().time_since_epoch()).count();
    }
};

class FixedClock : public WindowClock {
public:
    explicit FixedClock(double now, double frameTime) : m_now(now), m_frameTime(frameTime) {}
    double now() const override { return m_now; }
    double frameTime() const override { return m_frameTime; }
    void set(double now, double frameTime) {
        m_now = now;
        m_frameTime = frameTime;
    }

private:
    double m_now;
    double m_frameTime;
};

}  // namespace virirado
