// Vorn, the app's sailfish: the drawing, a widget that shows it at any size, and
// the bobbing mascot of the empty and scanning panes.
#pragma once

#include <QRectF>
#include <QWidget>

#include "Clock.hpp"

class QPainter;

namespace virirado {

class FrameTicker;

// The fish fitted into `box` without distortion, centred.
void paintVornFish(QPainter& painter, const QRectF& box, bool dark);

// The fish's offset from its place at frame time t: x = 2.5 sin(1.3 t),
// y = 1.2 sin(0.8 t).
QPointF vornBob(double t);

class VornFish : public QWidget {
    Q_OBJECT
public:
    explicit VornFish(QWidget* parent = nullptr);
    void setDark(bool dark);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_dark = false;
};

class VornMascot : public QWidget {
    Q_OBJECT
public:
    VornMascot(const WindowClock& clock, QWidget* parent = nullptr);
    void setDark(bool dark);
    void setReduceMotion(bool reduce);
    // Drawn this much larger about its centre.
    void setScale(double scale);
    // The 64 by 30 frame with room around it for the bobbing and the scale, so
    // neither is cut off at the widget's edge.
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const WindowClock& m_clock;
    FrameTicker* m_ticker;
    bool m_dark = false;
    bool m_reduceMotion = true;
    double m_scale = 1.0;
};

}  // namespace virirado
