#include "RowActions.hpp"

#include <QMenu>

namespace virirado::RowActions {

std::unique_ptr<QMenu> build(const RowMenu& item, FileActions& files,
                             std::function<void()> onQuickDelete, QWidget* parent) {
    auto menu = std::make_unique<QMenu>(parent);
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
        remove->setEnabled(item.quickDeleteEnabled());
        QObject::connect(remove, &QAction::triggered, menu.get(),
                         [onQuickDelete, enabled = item.quickDeleteEnabled()] {
                             if (enabled) onQuickDelete();
                         });
    }
    return menu;
}

void popup(const RowMenu& item, FileActions& files, std::function<void()> onQuickDelete,
           QWidget* parent, QPoint globalPos) {
    auto menu = build(item, files, std::move(onQuickDelete), parent);
    menu->exec(globalPos);
}

}  // namespace virirado::RowActions
