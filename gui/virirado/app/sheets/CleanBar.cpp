#include "CleanBar.hpp"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "CleanReport.hpp"
#include "Clock.hpp"
#include "FrameTicker.hpp"
#include "Palette.hpp"

namespace virirado {

CleanBar::CleanBar(const WindowClock& clock, QWidget* parent)
    : QWidget(parent), m_clock(clock), m_ticker(new FrameTicker(this, 30)) {
    setObjectName(QStringLiteral("cleanBar"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_ticker->setWanted(false);
}

void CleanBar::setValue(std::optional<double> value) {
    if (value) *value = std::clamp(*value, 0.0, 1.0);
    if (value == m_value) return;
    m_value = value;
    m_ticker->setWanted(!m_value.has_value());
    update();
}

void CleanBar::setDark(bool dark) {
    if (dark == m_dark) return;
    m_dark = dark;
    update();
}

void CleanBar::setMotion(bool on) {
    m_motion = on;
    m_ticker->setMotion(on);
}

void CleanBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const Palette& palette = Palette::of(m_dark);
    const QRectF track(0, (height() - kHeight) / 2.0, width(), kHeight);
    const double radius = kHeight / 2.0;
    QPainterPath trackShape;
    trackShape.addRoundedRect(track, radius, radius);
    p.fillPath(trackShape, palette.outline);

    double from = 0;
    double to = m_value.value_or(0);
    if (!m_value) {
        const auto span = indeterminateSpan(m_clock.frameTime(), m_motion);
        from = span.first;
        to = span.second;
    }
    if (to <= from) return;
    p.setClipPath(trackShape);
    QPainterPath lit;
    const QRectF part(track.left() + track.width() * from, track.top(), track.width() * (to - from),
                      track.height());
    lit.addRoundedRect(part, radius, radius);
    p.fillPath(lit, palette.orange);
}

}  // namespace virirado
