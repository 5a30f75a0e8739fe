// Gives a sheet the keys and waits until it really has them. QTest's
// qWaitForWindowActive counts a dialog active as soon as the window it belongs
// to is, before the dialog itself has been activated, so a key sent then goes
// to the window behind the sheet and its shortcut never fires.
#pragma once

#include <QApplication>
#include <QTest>
#include <QWidget>

namespace virirado::testing {

inline bool activateSheet(QWidget* sheet, int ms = 5000) {
    sheet->activateWindow();
    return QTest::qWaitFor([sheet] { return QApplication::activeWindow() == sheet->window(); }, ms);
}

}  // namespace virirado::testing
