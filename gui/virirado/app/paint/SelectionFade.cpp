#include "SelectionFade.hpp"

#include <QEasingCurve>
#include <QVariantAnimation>
#include <cmath>

#include "Motion.hpp"

namespace virirado {

namespace {

qreal selectionEase(qreal x) {
    return easeOut(x);
}

}  // namespace

SelectionFade::SelectionFade(QObject* owner, std::function<void()> onFrame)
    : QObject(owner), m_onFrame(std::move(onFrame)) {}

void SelectionFade::setMotion(bool on) {
    if (on == m_motion) return;
    m_motion = on;
    if (on) return;
    // Motion off: whatever was fading is done, and no animation is kept.
    delete m_animation;
    m_animation = nullptr;
    m_from = m_to;
    m_progress = 1;
}

void SelectionFade::moveTo(const std::optional<std::string>& to) {
    if (m_started && to == m_to) return;
    const bool animate = m_started && m_motion;
    m_started = true;
    // A change in mid-fade starts from what is now the stronger highlight.
    m_from = m_progress >= 0.5 ? m_to : m_from;
    m_to = to;
    if (!animate) {
        m_from = m_to;
        m_progress = 1;
        return;
    }
    if (m_animation == nullptr) {
        m_animation = new QVariantAnimation(this);
        m_animation->setDuration(static_cast<int>(std::lround(kSelectionSeconds * 1000)));
        QEasingCurve curve;
        curve.setCustomType(selectionEase);
        m_animation->setEasingCurve(curve);
        m_animation->setStartValue(0.0);
        m_animation->setEndValue(1.0);
        connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
            m_progress = v.toDouble();
            if (m_onFrame) m_onFrame();
        });
    }
    m_animation->stop();
    m_progress = 0;
    m_animation->start();
}

double SelectionFade::weight(const std::string& id) const {
    const bool isTo = m_to && *m_to == id;
    const bool isFrom = m_from && *m_from == id;
    if (isTo && isFrom) return 1;
    if (isTo) return m_progress;
    if (isFrom) return 1 - m_progress;
    return 0;
}

bool SelectionFade::running() const {
    return m_animation != nullptr && m_animation->state() == QAbstractAnimation::Running;
}

}  // namespace virirado
