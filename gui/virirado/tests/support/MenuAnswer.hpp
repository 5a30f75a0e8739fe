// Answers the next row menu as a person does once it shows: notes where it
// showed and which entry the keys are on, picks one entry by its words (or
// none) and closes it. The menu runs its own loop; the answer comes from it.
#pragma once

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPoint>
#include <QString>
#include <QTimer>

namespace virirado::testing {

struct MenuAnswer {
    bool shown = false;
    // The entry the keys were on as it showed; empty for none.
    QString current;
    // Its top left corner on the screen.
    QPoint at;

    // For the next menu; `pick` is the entry to choose, empty for none.
    void arm(const QString& pick) {
        // On the menu loop's second turn: on its first, the menu sets where the
        // keys are.
        QTimer::singleShot(0,
                           [this, pick] { QTimer::singleShot(0, [this, pick] { answer(pick); }); });
    }

private:
    static QMenu* shownMenu() {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) return menu;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* menu = qobject_cast<QMenu*>(w);
            if (menu != nullptr && menu->isVisible()) return menu;
        }
        return nullptr;
    }
    void answer(const QString& pick) {
        QMenu* menu = shownMenu();
        if (menu == nullptr) return;
        shown = true;
        at = menu->pos();
        if (QAction* active = menu->activeAction()) current = active->text();
        for (QAction* action : menu->actions()) {
            if (!pick.isEmpty() && action->text() == pick && action->isEnabled()) {
                action->trigger();
                break;
            }
        }
        menu->close();
    }
};

}  // namespace virirado::testing
