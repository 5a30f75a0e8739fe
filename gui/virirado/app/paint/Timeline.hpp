// A change shown over a short time of the window's frame clock (the selection's
// fade, the bar's springs). How far it has come is read from the clock, never
// from how often a timer fired, so the same moment always draws the same: on a
// busy machine, in a picture taken at a fixed clock, and in a test that sets
// the clock. A timer at the frame rate only tells the owner to draw again.
#pragma once

#include <QObject>

#include "Clock.hpp"

class QTimer;

namespace virirado {

class Timeline : public QObject {
    Q_OBJECT
public:
    // `ease` maps the share of the time gone to the share of the way done; it
    // must give 0 at 0 and 1 at 1.
    using Ease = double (*)(double);
    Timeline(const WindowClock& clock, double seconds, Ease ease, QObject* owner);

    // Starts from the beginning at the clock's time now, and draws that frame.
    void start();
    // Stops where it is; `finished` is not sent.
    void stop();
    // Jumps to the end at once, draws that frame and sends `finished`. Does
    // nothing unless started.
    void finish();

    // Started, and the clock not yet at the end.
    bool running() const;
    // The eased share of the way at the clock's time now, 0 to 1 (held where
    // `stop` left it; 1 before the first start and once finished).
    double value() const;
    // The share of the time gone, 0 to 1.
    double fraction() const;

signals:
    // A frame to draw, with `value()` at its time.
    void frame(double value);
    // The clock reached the end (or `finish` was called), after its last frame.
    void finished();

private:
    void tick();
    void end();

    const WindowClock& m_clock;
    double m_seconds;
    Ease m_ease;
    QTimer* m_timer = nullptr;
    // The frame time at which the change started, while it is active.
    double m_startedAt = 0;
    bool m_active = false;
    // Where an inactive timeline stands, and the last share a frame showed.
    double m_held = 1;
    double m_shown = 0;
};

}  // namespace virirado
