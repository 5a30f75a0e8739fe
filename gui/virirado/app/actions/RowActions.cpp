#include "RowActions.hpp"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QStyleOptionMenuItem>
#include <QTimer>

#include "LivePill.hpp"

namespace virirado::RowActions {

namespace {

constexpr const char* kDestructive = "destructive";

// Draws an entry marked destructive in the red of the buttons that really
// delete, as long as it is enabled and not under the pointer (the highlight's
// own text colour stays readable there).
class RowMenuWidget : public QMenu {
public:
    using QMenu::QMenu;

protected:
    void initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const override {
        QMenu::initStyleOption(option, action);
        if (action == nullptr || !action->property(kDestructive).toBool()) return;
        if (!(option->state & QStyle::State_Enabled) || (option->state & QStyle::State_Selected))
            return;
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            for (const QPalette::ColorRole role :
                 {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
                option->palette.setColor(group, role, LivePill::red());
        }
    }
};

}  // namespace

std::unique_ptr<QMenu> build(const RowMenu& item, FileActions& files,
                             std::function<void()> onQuickDelete, QWidget* parent) {
    auto menu = std::make_unique<RowMenuWidget>(parent);
    menu->setObjectName(QStringLiteral("rowMenu"));
    FileActions* actions = &files;

    QAction* copy = menu->addAction(QStringLiteral("Copy"));
    copy->setEnabled(item.copyEnabled());
    QObject::connect(copy, &QAction::triggered, menu.get(), [actions, item] {
        if (item.cleanPath) {
            actions->copyFile(*item.cleanPath, item.copyText);
        } else {
            actions->copyText(item.copyText);
        }
    });

    QAction* copyPath = menu->addAction(QStringLiteral("Copy Path"));
    copyPath->setEnabled(item.pathEnabled());
    QObject::connect(copyPath, &QAction::triggered, menu.get(), [actions, item] {
        if (item.cleanPath) actions->copyText(*item.cleanPath);
    });

    QAction* reveal = menu->addAction(QStringLiteral("Open in Finder"));
    reveal->setEnabled(item.pathEnabled());
    QObject::connect(reveal, &QAction::triggered, menu.get(), [actions, item] {
        if (item.cleanPath) actions->reveal(*item.cleanPath);
    });

    QAction* look = menu->addAction(QStringLiteral("Quick Look"));
    look->setEnabled(item.pathEnabled());
    QObject::connect(look, &QAction::triggered, menu.get(), [actions, item] {
        if (item.cleanPath) actions->quickLook(*item.cleanPath);
    });

    if (item.offersQuickDelete && onQuickDelete) {
        menu->addSeparator();
        QAction* remove = menu->addAction(QStringLiteral("Quick Delete\u2026"));
        remove->setObjectName(QStringLiteral("quickDelete"));
        remove->setProperty(kDestructive, true);
        remove->setEnabled(item.quickDeleteEnabled());
        QObject::connect(remove, &QAction::triggered, menu.get(),
                         [onQuickDelete, enabled = item.quickDeleteEnabled()] {
                             if (enabled) onQuickDelete();
                         });
    }
    return menu;
}

bool openMenuFromKeys(QWidget* widget, QKeyEvent* event) {
    const Qt::KeyboardModifiers mods =
        event->modifiers() &
        (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (event->key() != Qt::Key_F10 || mods != Qt::ShiftModifier) return false;
    event->accept();
    QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(), QPoint());
    QCoreApplication::sendEvent(widget, &menu);
    return true;
}

void show(std::unique_ptr<QMenu> menu, QPoint globalPos, bool fromKeys) {
    QMenu* shown = menu.get();
    if (fromKeys) {
        // Once shown: a menu that opens sets no current entry of its own.
        QTimer::singleShot(0, shown, [shown] {
            for (QAction* action : shown->actions()) {
                if (action->isEnabled() && !action->isSeparator()) {
                    shown->setActiveAction(action);
                    return;
                }
            }
        });
    }
    const QPointer<QMenu> alive(shown);
    shown->exec(globalPos);
    // Gone with its widget while it was open: deleted once already.
    if (alive == nullptr) (void)menu.release();
}

void popup(const RowMenu& item, FileActions& files, std::function<void()> onQuickDelete,
           QWidget* parent, QPoint globalPos, bool fromKeys) {
    show(build(item, files, std::move(onQuickDelete), parent), globalPos, fromKeys);
}

}  // namespace virirado::RowActions
