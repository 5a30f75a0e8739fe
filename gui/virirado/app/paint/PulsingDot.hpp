// The small breathing dot shown while a scan runs: a still 7-point dot with
// motion off; with motion on a 14-point frame in which a halo grows and fades.
#pragma once

#include <QColor>
#include <QWidget>

#include "Clock.hpp"

namespace virirado {

class FrameTicker;

// The halo's phase at frame time t, from 0 to 1.
double pulsePhase(double t);

class PulsingDot : public QWidget {
    Q_OBJECT
public:
    PulsingDot(const WindowClock& clock, QColor color, QWidget* parent = nullptr);
    void setColor(QColor color);
    void setReduceMotion(bool reduce);
    bool reduceMotion() const { return m_reduceMotion; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const WindowClock& m_clock;
    QColor m_color;
    FrameTicker* m_ticker;
    bool m_reduceMotion = true;
};

}  // namespace virirado
