// The soft shadow under a rounded card of any size: one small blurred corner
// piece per corner radius, blur and colour, stretched along the edges, so a card
// that grows or shrinks every frame never blurs anything again.
#pragma once

#include <QColor>
#include <QPointF>
#include <QRectF>

class QPainter;

namespace virirado {

// Draws the shadow of the rounded rectangle `card` (corner `radius`), blurred by
// about `blur` points and moved by `offset`.
void paintCardShadow(QPainter& painter, const QRectF& card, double radius, const QColor& color,
                     double blur, QPointF offset = {});

// Everything the shadow can touch, for repainting.
QRectF cardShadowBounds(const QRectF& card, double blur, QPointF offset = {});

}  // namespace virirado
