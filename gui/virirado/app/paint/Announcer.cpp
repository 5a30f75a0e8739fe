#include "Announcer.hpp"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QWidget>

namespace virirado {

namespace {

// An element of its own for each sentence: a reader that cached the name of
// an earlier one would otherwise speak that again.
class Announcement : public QWidget {
public:
    using QWidget::QWidget;
};

constexpr const char* kName = "viriradoAnnouncement";

QAccessibleInterface* announcementFactory(const QString&, QObject* object) {
    if (object == nullptr || !object->isWidgetType() || object->objectName() != kName)
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Notification);
}

}  // namespace

void announce(QWidget* window, const QString& text) {
    if (window == nullptr || text.isEmpty() || !QAccessible::isActive()) return;
    static const bool installed = [] {
        QAccessible::installFactory(announcementFactory);
        return true;
    }();
    (void)installed;
    for (QWidget* old : window->findChildren<QWidget*>(kName, Qt::FindDirectChildrenOnly))
        old->deleteLater();
    auto* sentence = new Announcement(window);
    sentence->setObjectName(kName);
    sentence->setAccessibleName(text);
    sentence->setFocusPolicy(Qt::NoFocus);
    sentence->setAttribute(Qt::WA_TransparentForMouseEvents);
    // No size: a reader's review of what the window shows passes it by once
    // it has been said.
    sentence->setGeometry(0, 0, 0, 0);
    // Showing it tells tools that it appeared.
    sentence->show();
}

}  // namespace virirado
