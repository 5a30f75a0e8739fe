// A control the keys reach shows it: the search field's own focused border,
// accent at 2 points along the control's shape. A click, the window's first
// focus and a focus the program moves show nothing, so the pictures of the
// window and its sheets stay as they are.
#pragma once

#include <QRectF>

class QPainter;
class QPainterPath;
class QWidget;

namespace virirado {

// Records, for every widget, whether its focus came from the keyboard (Tab,
// Shift+Tab, a shortcut). A window coming back or a menu closing keeps what
// the widget had. Safe to call more than once; the app and the test programs
// call it at start.
void installFocusRingTracking();

// `widget` has the focus and the keys brought it there.
bool showsFocusRing(const QWidget* widget);

// The last focus `widget` took came from the keys, whether or not it still
// has it (its window may have lost it to a sheet).
bool keysBroughtFocus(const QWidget* widget);
// Gives `widget` the focus as the keys or the program would. The mark holds
// also while its window is not active: the focus then comes only as the
// window is active again, which keeps what the widget had.
void giveFocus(QWidget* widget, bool byKeys);

// The ring inside `shape`'s outline, drawn over whatever the control painted.
void paintFocusRing(QPainter& painter, const QPainterPath& shape);
// The same for a rounded box; a radius below 0 makes a capsule.
void paintFocusRing(QPainter& painter, const QRectF& box, double radius);

}  // namespace virirado
