// The small symbol glyphs the window uses, by their symbol names, drawn as
// vector paths so they follow the colour and size they are given.
#pragma once

#include <QColor>
#include <QRectF>
#include <QString>

class QPainter;

namespace virirado::Symbols {

// Draws the symbol centred in `box`, as large as the box's smaller side allows.
// Returns false, drawing nothing, for a name it does not know.
bool paint(QPainter& painter, const QString& name, const QRectF& box, const QColor& color);

// Whether `name` is a symbol this table draws.
bool known(const QString& name);

}  // namespace virirado::Symbols
