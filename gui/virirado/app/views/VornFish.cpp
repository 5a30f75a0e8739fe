#include "VornFish.hpp"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "FrameTicker.hpp"
#include "Palette.hpp"

namespace virirado {

namespace {

constexpr double kBoxWidth = 296;
constexpr double kBoxHeight = 140;

QPainterPath sail() {
    QPainterPath p({192, 82});
    p.cubicTo({188, 52}, {180, 22}, {168, 6});
    p.cubicTo({142, 24}, {102, 56}, {62, 83});
    p.closeSubpath();
    return p;
}

QPainterPath tail() {
    QPainterPath p({40, 93});
    p.lineTo(4, 66);
    p.quadTo({20, 101}, {4, 136});
    p.lineTo(40, 109);
    p.quadTo({32, 101}, {40, 93});
    p.closeSubpath();
    return p;
}

QPainterPath bill() {
    QPainterPath p({224, 88});
    p.lineTo(292, 84);
    p.lineTo(224, 103);
    p.closeSubpath();
    return p;
}

QPainterPath body() {
    QPainterPath p({36, 96});
    p.cubicTo({69, 76}, {109, 70}, {139, 71});
    p.cubicTo({179, 72}, {212, 82}, {230, 92});
    p.lineTo(230, 99);
    p.cubicTo({212, 110}, {179, 124}, {139, 124});
    p.cubicTo({109, 124}, {69, 118}, {36, 106});
    p.closeSubpath();
    return p;
}

QPainterPath stripe() {
    QPainterPath p({48, 95});
    p.cubicTo({94, 86}, {154, 84}, {210, 92});
    p.lineTo(210, 100);
    p.cubicTo({154, 93}, {94, 95}, {48, 102});
    p.closeSubpath();
    return p;
}

}  // namespace

void paintVornFish(QPainter& painter, const QRectF& box, bool dark) {
    const double s = std::min(box.width() / kBoxWidth, box.height() / kBoxHeight);
    if (!(s > 0) || !std::isfinite(s)) return;
    const Palette& pal = Palette::of(dark);
    const QColor sailColor = pal.pick("#0A6CD4", "#5FD3F0");
    const QColor bodyColor = pal.pick("#06233F", "#E6F0F2");
    const QColor stripeColor = pal.pick("#FF7A2F", "#FF8A3D");
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(box.left() + (box.width() - kBoxWidth * s) / 2,
                      box.top() + (box.height() - kBoxHeight * s) / 2);
    painter.scale(s, s);
    painter.setPen(Qt::NoPen);
    const std::pair<QPainterPath, QColor> parts[] = {
        {sail(), sailColor}, {tail(), bodyColor},     {bill(), bodyColor},
        {body(), bodyColor}, {stripe(), stripeColor},
    };
    for (const auto& [path, color] : parts) {
        QPainterPath filled = path;
        filled.setFillRule(Qt::WindingFill);
        painter.fillPath(filled, color);
    }
    painter.restore();
}

QPointF vornBob(double t) {
    return {std::sin(1.3 * t) * 2.5, std::sin(0.8 * t) * 1.2};
}

VornFish::VornFish(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
}

void VornFish::setDark(bool dark) {
    if (dark == m_dark) return;
    m_dark = dark;
    update();
}

void VornFish::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paintVornFish(p, QRectF(rect()), m_dark);
}

VornMascot::VornMascot(const WindowClock& clock, QWidget* parent)
    : QWidget(parent), m_clock(clock), m_ticker(new FrameTicker(this, 20)) {
    setFixedSize(sizeHint());
    setAccessibleName(QStringLiteral("Vorn, the sailfish"));
}

void VornMascot::setDark(bool dark) {
    if (dark == m_dark) return;
    m_dark = dark;
    update();
}

void VornMascot::setReduceMotion(bool reduce) {
    m_reduceMotion = reduce;
    m_ticker->setMotion(!reduce);
    update();
}

void VornMascot::setScale(double scale) {
    m_scale = scale > 0 && std::isfinite(scale) ? scale : 1.0;
    setFixedSize(sizeHint());
    update();
}

QSize VornMascot::sizeHint() const {
    return {static_cast<int>(std::ceil(64 * m_scale)) + 6,
            static_cast<int>(std::ceil(30 * m_scale)) + 4};
}

void VornMascot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPointF shift = m_reduceMotion ? QPointF() : vornBob(m_clock.frameTime());
    QRectF box(QPointF(), QSizeF(64, 30) * m_scale);
    box.moveCenter(QRectF(rect()).center() + shift);
    paintVornFish(p, box, m_dark);
}

}  // namespace virirado
