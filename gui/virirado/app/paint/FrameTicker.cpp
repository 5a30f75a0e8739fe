#include "FrameTicker.hpp"

#include <QEvent>
#include <QTimer>
#include <QWidget>

#include "Motion.hpp"

namespace virirado {

FrameTicker::FrameTicker(QWidget* owner, int framesPerSecond)
    : QObject(owner), m_owner(owner), m_interval(frameIntervalMs(framesPerSecond)) {
    owner->installEventFilter(this);
}

void FrameTicker::setMotion(bool on) {
    if (on == m_motion) return;
    m_motion = on;
    apply();
}

void FrameTicker::setWanted(bool wanted) {
    if (wanted == m_wanted) return;
    m_wanted = wanted;
    apply();
}

bool FrameTicker::running() const {
    return m_timer != nullptr && m_timer->isActive();
}

bool FrameTicker::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_owner && (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
        apply();
    }
    return QObject::eventFilter(watched, event);
}

void FrameTicker::apply() {
    if (!m_motion) {
        delete m_timer;
        m_timer = nullptr;
        return;
    }
    const bool run = m_wanted && m_owner->isVisible();
    if (!run) {
        if (m_timer != nullptr) m_timer->stop();
        return;
    }
    if (m_timer == nullptr) {
        m_timer = new QTimer(this);
        m_timer->setTimerType(Qt::PreciseTimer);
        m_timer->setInterval(m_interval);
        connect(m_timer, &QTimer::timeout, m_owner, qOverload<>(&QWidget::update));
    }
    if (!m_timer->isActive()) m_timer->start();
}

}  // namespace virirado
