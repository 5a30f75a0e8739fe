// A change of the selection, shown over a short ease-out of the window's frame
// clock: the old highlight fades as the new one comes up. With motion off the
// new selection shows at once and no timeline exists.
#pragma once

#include <QObject>
#include <functional>
#include <optional>
#include <string>

#include "Clock.hpp"

namespace virirado {

class Timeline;

class SelectionFade : public QObject {
    Q_OBJECT
public:
    // `onFrame` runs at every step of the fade, for the owner to repaint.
    SelectionFade(const WindowClock& clock, QObject* owner, std::function<void()> onFrame);

    void setMotion(bool on);
    // Moves to `to`. The first selection ever shown, and any with motion off,
    // shows at once.
    void moveTo(const std::optional<std::string>& to);

    // How strongly `id` shows selected at the clock's time now, from 0 to 1.
    double weight(const std::string& id) const;
    const std::optional<std::string>& from() const { return m_from; }
    const std::optional<std::string>& to() const { return m_to; }
    bool running() const;
    // How far the move from `from` to `to` is, 0 to 1.
    double progress() const;

private:
    const WindowClock& m_clock;
    std::function<void()> m_onFrame;
    Timeline* m_timeline = nullptr;
    std::optional<std::string> m_from;
    std::optional<std::string> m_to;
    bool m_motion = false;
    bool m_started = false;
};

}  // namespace virirado
