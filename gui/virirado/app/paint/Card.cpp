#include "Card.hpp"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace virirado {

void paintCard(QPainter& p, const QRectF& box, double radius, const QColor& fill,
               const QColor& border, double borderWidth) {
    const double r = radius < 0 ? box.height() / 2 : radius;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    if (fill.alpha() > 0) {
        QPainterPath shape;
        shape.addRoundedRect(box, r, r);
        p.fillPath(shape, fill);
    }
    if (borderWidth > 0 && border.alpha() > 0) {
        const double inset = borderWidth / 2;
        p.setPen(QPen(border, borderWidth));
        p.setBrush(Qt::NoBrush);
        const double inner = std::max(0.0, r - inset);
        p.drawRoundedRect(box.adjusted(inset, inset, -inset, -inset), inner, inner);
    }
    p.restore();
}

}  // namespace virirado
