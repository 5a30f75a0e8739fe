#include "Timeline.hpp"

#include <QTimer>
#include <algorithm>
#include <cmath>

#include "Motion.hpp"

namespace virirado {

Timeline::Timeline(const WindowClock& clock, double seconds, Ease ease, QObject* owner)
    : QObject(owner), m_clock(clock), m_seconds(seconds), m_ease(ease) {}

void Timeline::start() {
    // The timer is made on the first start: with reduce motion on, none exists.
    if (m_timer == nullptr) {
        m_timer = new QTimer(this);
        m_timer->setTimerType(Qt::PreciseTimer);
        m_timer->setInterval(frameIntervalMs(60));
        connect(m_timer, &QTimer::timeout, this, &Timeline::tick);
    }
    m_startedAt = m_clock.frameTime();
    m_active = true;
    m_shown = 0;
    m_timer->start();
    emit frame(value());
}

void Timeline::stop() {
    m_held = fraction();
    m_active = false;
    if (m_timer != nullptr) m_timer->stop();
}

void Timeline::finish() {
    if (m_active) end();
}

bool Timeline::running() const {
    return m_active && fraction() < 1;
}

double Timeline::fraction() const {
    if (!m_active) return m_held;
    if (!(m_seconds > 0)) return 1;
    const double share = (m_clock.frameTime() - m_startedAt) / m_seconds;
    // A clock that is no number ends the change rather than freezing it.
    return std::isnan(share) ? 1 : std::clamp(share, 0.0, 1.0);
}

double Timeline::value() const {
    return m_ease(fraction());
}

void Timeline::tick() {
    // The wall clock may be set back while a change runs: it goes on from the
    // share last shown instead of waiting for the clock to catch up.
    const double now = m_clock.frameTime();
    if (now < m_startedAt + m_shown * m_seconds) m_startedAt = now - m_shown * m_seconds;
    m_shown = fraction();
    if (m_shown >= 1) {
        end();
        return;
    }
    emit frame(value());
}

void Timeline::end() {
    m_active = false;
    m_held = 1;
    m_timer->stop();
    emit frame(value());
    emit finished();
}

}  // namespace virirado
