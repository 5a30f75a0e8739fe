// Tells a screen reader a sentence that no move of the keys would make it say:
// how a clean ended, a new banner. Each sentence becomes an element of the
// notification role that appears in the given window, as a desktop
// notification appears, which is what readers speak when it shows; the
// sentence before it goes. Nothing is made while no tool listens.
#pragma once

#include <QString>

class QWidget;

namespace virirado {

void announce(QWidget* window, const QString& text);

}  // namespace virirado
