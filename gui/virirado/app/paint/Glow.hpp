// Soft shadows and glows under a shape: the shape filled in one colour and
// blurred, kept per shape and colour so a repaint only draws a picture.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QPointF>

class QPainter;
class QWidget;

namespace virirado {

// Draws, under whatever comes next, `shape` filled with `color` and blurred by
// about `radius` points, moved by `offset`.
void paintGlow(QPainter& painter, const QPainterPath& shape, const QColor& color, double radius,
               QPointF offset = {});

// The blurred picture itself, with `radius` * 2 of margin on every side; its top
// left corner belongs at the shape's bounds minus that margin.
QImage glowImage(const QPainterPath& shape, const QColor& color, double radius);

// A glow under a whole widget (a button, a capsule), drawn outside its bounds:
// `radius` as for paintGlow. A fully clear colour removes it.
void setWidgetGlow(QWidget* widget, const QColor& color, double radius);

}  // namespace virirado
