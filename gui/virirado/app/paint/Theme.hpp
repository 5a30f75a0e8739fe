// The theme services every view uses: colours from hex texts and the Aileron type
// scale. Sizes are logical pixels, as the layout's points are.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

namespace virirado {

// "#RRGGBB" (the "#" optional) in sRGB, opaque. Only the low 24 bits count; a text
// without a leading hex number gives black.
QColor Color(const QString& hex);

enum class FontWeight { ultraLight, thin, light, regular, medium, semibold, bold, heavy, black };

namespace Dazu {

// The PostScript name of the Aileron face drawn for a CSS-style weight number.
QString faceFor(long long weight);

QFont text(double size, FontWeight weight);
// For figures: the weight is a number (fraction dropped). Figures should keep
// their width; Qt 6.4 cannot ask a face for tabular digits, so they stay as the
// face draws them.
QFont display(double size, double weight);

// "IBMPlexMono-SemiBold" or "IBMPlexMono-Medium" at a size in pixels: the small
// figures of the window.
enum class MonoFace { semibold, medium };
QFont mono(double size, MonoFace face);

// The font with extra (or, negative, less) space between letters, in pixels.
QFont kerned(QFont font, double spacing);

}  // namespace Dazu

}  // namespace virirado
