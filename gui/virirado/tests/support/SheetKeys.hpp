// Keys in a sheet. activateSheet gives a sheet the keys and waits until it
// really has them: QTest's qWaitForWindowActive counts a dialog active as soon
// as the window it belongs to is, before the dialog itself has been activated,
// so a key sent then goes to the window behind the sheet and its shortcut
// never fires.
#pragma once

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <string>
#include <vector>

namespace virirado::testing {

inline bool activateSheet(QWidget* sheet, int ms = 5000) {
    sheet->activateWindow();
    return QTest::qWaitFor([sheet] { return QApplication::activeWindow() == sheet->window(); }, ms);
}

// The controls Tab (or Shift+Tab) walks through from the focused one, by
// object name, until it comes back to where it started.
inline std::vector<std::string> tabWalk(Qt::Key key = Qt::Key_Tab) {
    std::vector<std::string> names;
    QWidget* start = QApplication::focusWidget();
    for (QWidget* at = start; at != nullptr && names.size() < 20;) {
        names.push_back(at->objectName().toStdString());
        QTest::keyClick(at, key);
        at = QApplication::focusWidget();
        if (at == start) break;
    }
    return names;
}

}  // namespace virirado::testing
