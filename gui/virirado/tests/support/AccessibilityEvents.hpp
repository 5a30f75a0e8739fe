// Accessibility events as an assistive tool would get them, in-process: while
// one of these lives Qt counts a tool as listening (`QAccessible::isActive()`)
// and hands every event here instead of to a bus. Qt has no public switch for
// that, so it is set on the platform's accessibility, as Qt's own tests do.
#pragma once

#include <QtGui/private/qguiapplication_p.h>
#include <QtGui/qpa/qplatformaccessibility.h>
#include <QtGui/qpa/qplatformintegration.h>
#include <QAccessible>
#include <QString>
#include <vector>

namespace virirado::testing {

class AccessibilityEvents {
public:
    struct Seen {
        QAccessible::Event type;
        // The element the event is about; valid only while the element lives.
        QAccessibleInterface* iface = nullptr;
        // Its name when the event came.
        QString name;
        // For a change of states: which ones changed.
        QAccessible::State changed;
    };

    AccessibilityEvents() : m_wasActive(QAccessible::isActive()) {
        current() = this;
        m_previous = QAccessible::installUpdateHandler(&AccessibilityEvents::record);
        setActive(true);
    }
    ~AccessibilityEvents() {
        setActive(m_wasActive);
        QAccessible::installUpdateHandler(m_previous);
        current() = nullptr;
    }
    AccessibilityEvents(const AccessibilityEvents&) = delete;
    AccessibilityEvents& operator=(const AccessibilityEvents&) = delete;

    const std::vector<Seen>& seen() const { return m_seen; }
    void clear() { m_seen.clear(); }
    // The events of one type about one element, in the order they came.
    std::vector<Seen> about(const QAccessibleInterface* iface, QAccessible::Event type) const {
        std::vector<Seen> found;
        for (const Seen& s : m_seen) {
            if (s.iface == iface && s.type == type) found.push_back(s);
        }
        return found;
    }
    // Whether an event of this type came about an element of `object`.
    bool sawOn(const QObject* object, QAccessible::Event type) const {
        for (const Seen& s : m_seen) {
            if (s.type == type && s.iface != nullptr && s.iface->object() == object) return true;
        }
        return false;
    }

    static void setActive(bool active) {
        QPlatformIntegration* platform = QGuiApplicationPrivate::platformIntegration();
        if (platform != nullptr && platform->accessibility() != nullptr) {
            platform->accessibility()->setActive(active);
        } else {
            QAccessible::setActive(active);
        }
    }

private:
    static AccessibilityEvents*& current() {
        static AccessibilityEvents* listening = nullptr;
        return listening;
    }
    static void record(QAccessibleEvent* event) {
        AccessibilityEvents* self = current();
        if (self == nullptr) return;
        Seen s{event->type(), event->accessibleInterface(), {}, {}};
        if (s.iface != nullptr && s.iface->isValid()) s.name = s.iface->text(QAccessible::Name);
        if (event->type() == QAccessible::StateChanged)
            s.changed = static_cast<QAccessibleStateChangeEvent*>(event)->changedStates();
        self->m_seen.push_back(s);
    }

    bool m_wasActive;
    QAccessible::UpdateHandler m_previous = nullptr;
    std::vector<Seen> m_seen;
};

}  // namespace virirado::testing
