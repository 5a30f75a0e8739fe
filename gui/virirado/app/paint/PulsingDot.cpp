#include "PulsingDot.hpp"

#include <QPainter>
#include <cmath>

#include "FrameTicker.hpp"
#include "Palette.hpp"

namespace virirado {

double pulsePhase(double t) {
    return (std::sin(4.2 * t) + 1) / 2;
}

PulsingDot::PulsingDot(const WindowClock& clock, QColor color, QWidget* parent)
    : QWidget(parent), m_clock(clock), m_color(color), m_ticker(new FrameTicker(this, 24)) {
    setFixedSize(7, 7);
}

void PulsingDot::setColor(QColor color) {
    if (color == m_color) return;
    m_color = color;
    update();
}

void PulsingDot::setReduceMotion(bool reduce) {
    if (reduce == m_reduceMotion) return;
    m_reduceMotion = reduce;
    setFixedSize(reduce ? QSize(7, 7) : QSize(14, 14));
    m_ticker->setMotion(!reduce);
    update();
}

void PulsingDot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const QPointF centre = QRectF(rect()).center();
    if (!m_reduceMotion) {
        const double phase = pulsePhase(m_clock.frameTime());
        const double halo = (7 + 7 * phase) / 2;
        p.setBrush(withAlpha(m_color, (1 - phase) * 0.32));
        p.drawEllipse(centre, halo, halo);
    }
    p.setBrush(m_color);
    p.drawEllipse(centre, 3.5, 3.5);
}

}  // namespace virirado
