// How painted widgets read to assistive tools. A widget that only paints a
// text is a plain widget to Qt, which tools meet as an empty filler: a reader
// speaks no such thing when a sheet opens. Marked here, it reads as a label
// (its accessible name), as the label of the control it names, or as one label
// for a row of texts; and a button can tell the key it answers. Each mark
// must come before the widget's accessible name or description is set: Qt
// builds and keeps a widget's interface the first time it tells of a change,
// whether or not a tool listens, and a mark made later is never read.
#pragma once

#include <QKeySequence>

class QAbstractButton;
class QWidget;

namespace virirado {

// `widget` reads as a label whose words are its accessible name.
void readAsText(QWidget* widget);

// `widget` reads as one label whose words are its accessible name; the
// widgets inside it are not read on their own, so a row of texts in several
// faces is heard as the one line it is.
void readAsOneText(QWidget* widget);

// The label `label` names `control` (a field): tools are told that it is the
// control's label, so a reader says it with the control, not again on its own.
void setLabelFor(QWidget* label, QWidget* control);

// Shows or hides `widget`. A reader keeps the states it read of a widget while
// it was hidden, and Qt tells it only that the widget shows again, never that
// it is visible: the reader would go on skipping it and everything in it. So a
// widget that comes back is a new element to tools, read afresh.
void showForReaders(QWidget* widget, bool shown);

// Tools are told that `button` answers `key`: a reader says the key with the
// button. The key itself stays wherever it was made (a shortcut of the
// window); this does not make the button answer it.
void setSpokenKey(QAbstractButton* button, const QKeySequence& key);

}  // namespace virirado
