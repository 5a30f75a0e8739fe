#include "ScanBar.hpp"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>
#include <cmath>

#include "Card.hpp"
#include "FrameTicker.hpp"
#include "Palette.hpp"
#include "ScanProgress.hpp"

namespace virirado {

ScanBar::ScanBar(const WindowClock& clock, QWidget* parent)
    : QWidget(parent), m_clock(clock), m_ticker(new FrameTicker(this, 30)) {
    setAccessibleName(QStringLiteral("Scan progress"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void ScanBar::setProgress(double pct) {
    const bool same = pct == m_pct || (std::isnan(pct) && std::isnan(m_pct));
    if (same) return;
    const double from = fillWidth();
    m_pct = pct;
    // The new width is reached with an ease-out of a quarter second; with motion
    // off, or while nobody sees it, at once.
    if (m_reduceMotion || !isVisible()) {
        if (m_glide != nullptr) m_glide->stop();
        update();
        return;
    }
    if (m_glide == nullptr) {
        m_glide = new QVariantAnimation(this);
        m_glide->setDuration(250);
        m_glide->setEasingCurve(QEasingCurve::OutCubic);
        connect(m_glide, &QVariantAnimation::valueChanged, this, qOverload<>(&QWidget::update));
    }
    m_glide->stop();
    m_glide->setStartValue(from);
    m_glide->setEndValue(scanBarFill(m_pct, width()));
    m_glide->start();
}

void ScanBar::setDark(bool dark) {
    if (dark == m_dark) return;
    m_dark = dark;
    update();
}

void ScanBar::setReduceMotion(bool reduce) {
    if (reduce == m_reduceMotion) return;
    m_reduceMotion = reduce;
    m_ticker->setMotion(!reduce);
    if (reduce && m_glide != nullptr) m_glide->stop();
    update();
}

double ScanBar::fillWidth() const {
    if (m_glide != nullptr && m_glide->state() == QAbstractAnimation::Running)
        return m_glide->currentValue().toDouble();
    return scanBarFill(m_pct, width());
}

bool ScanBar::shimmering() const {
    return m_ticker->running();
}

void ScanBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const Palette& pal = Palette::of(m_dark);
    const QRectF track(rect());
    const double radius = track.height() / 2;

    paintCard(p, track, radius, pal.pale, pal.outline);

    const QRectF fill(0, 0, fillWidth(), track.height());
    QPainterPath fillShape;
    fillShape.addRoundedRect(fill, radius, radius);
    QLinearGradient gradient(fill.topLeft(), fill.topRight());
    gradient.setColorAt(0, pal.pick("#19B5C9", "#0E7F90"));
    gradient.setColorAt(0.5, pal.pick("#5CCFDD", "#19B5C9"));
    gradient.setColorAt(1, pal.orange);
    p.fillPath(fillShape, gradient);

    if (m_reduceMotion) return;
    p.setClipPath(fillShape);
    const double x = shimmerOffset(fill.width(), m_clock.frameTime());
    const QRectF band(x, 0, kShimmerWidth, fill.height());
    QLinearGradient shine(band.topLeft(), band.topRight());
    shine.setColorAt(0, QColor(255, 255, 255, 0));
    shine.setColorAt(0.5, withAlpha(Qt::white, 0.42));
    shine.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(band, shine);
}

}  // namespace virirado
