// The row menu of the list, the map and the details pane: copy, copy the path,
// show in the file manager, preview, and for rows that may go now, the quick
// delete, which only asks the window to open its first confirmation.
#pragma once

#include <QPoint>
#include <functional>
#include <memory>

#include "FileActions.hpp"
#include "RowMenu.hpp"

class QKeyEvent;
class QMenu;
class QWidget;

namespace virirado::RowActions {

// The menu for `item`; `onQuickDelete` is called for "Quick Delete…" (absent
// when the item offers none).
std::unique_ptr<QMenu> build(const RowMenu& item, FileActions& files,
                             std::function<void()> onQuickDelete, QWidget* parent);

// Shift+F10, the context menu's key on Linux desktops beside the Menu key:
// Qt turns the Menu key into a menu event and this one not, so here it is
// sent to `widget` as the Menu key's would be. True when the key was that.
bool openMenuFromKeys(QWidget* widget, QKeyEvent* event);

// Shows `menu` at `globalPos` until the user picks or leaves. Asked from the
// keys, its first working entry is the current one, so the arrows and Return
// act at once and a screen reader says where the keys are. The widget the menu
// belongs to may go while it is open (a details card built anew under it) and
// take the menu along; then it is not deleted again.
void show(std::unique_ptr<QMenu> menu, QPoint globalPos, bool fromKeys);

// Builds the menu and shows it at `globalPos` until the user picks or leaves.
void popup(const RowMenu& item, FileActions& files, std::function<void()> onQuickDelete,
           QWidget* parent, QPoint globalPos, bool fromKeys = false);

}  // namespace virirado::RowActions
