// The rounded card every area is drawn on: a fill and a border drawn inside the
// shape, as the design's outlines are.
#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

namespace virirado {

// A radius below 0 makes a capsule (half the height). A clear fill or border, or a
// border width of 0, is left out.
void paintCard(QPainter& painter, const QRectF& box, double radius, const QColor& fill,
               const QColor& border, double borderWidth = 1);

}  // namespace virirado
