#include "SelectionFade.hpp"

#include "Motion.hpp"
#include "Timeline.hpp"

namespace virirado {

SelectionFade::SelectionFade(const WindowClock& clock, QObject* owner,
                             std::function<void()> onFrame)
    : QObject(owner), m_clock(clock), m_onFrame(std::move(onFrame)) {}

void SelectionFade::setMotion(bool on) {
    if (on == m_motion) return;
    m_motion = on;
    if (on) return;
    // Motion off: whatever was fading is done, and no timeline is kept.
    delete m_timeline;
    m_timeline = nullptr;
    m_from = m_to;
}

void SelectionFade::moveTo(const std::optional<std::string>& to) {
    if (m_started && to == m_to) return;
    const bool animate = m_started && m_motion;
    m_started = true;
    // A change in mid-fade starts from what is now the stronger highlight.
    m_from = progress() >= 0.5 ? m_to : m_from;
    m_to = to;
    if (!animate) {
        m_from = m_to;
        return;
    }
    if (m_timeline == nullptr) {
        m_timeline = new Timeline(m_clock, kSelectionSeconds, easeOut, this);
        connect(m_timeline, &Timeline::frame, this, [this] {
            if (m_onFrame) m_onFrame();
        });
    }
    m_timeline->start();
}

double SelectionFade::progress() const {
    return m_timeline != nullptr ? m_timeline->value() : 1.0;
}

double SelectionFade::weight(const std::string& id) const {
    const bool isTo = m_to && *m_to == id;
    const bool isFrom = m_from && *m_from == id;
    if (isTo && isFrom) return 1;
    const double p = progress();
    if (isTo) return p;
    if (isFrom) return 1 - p;
    return 0;
}

bool SelectionFade::running() const {
    return m_timeline != nullptr && m_timeline->running();
}

}  // namespace virirado
