// Stands in for an assistive tool inside the test: while it lives Qt counts a
// tool as listening, and every accessibility event is recorded with what the
// tool would read of its element at that moment. Put back on destruction.
#pragma once

#include <QAccessible>
#include <QString>
#include <algorithm>
#include <vector>

// Without a platform bridge (offscreen) only the platform's own switch makes
// QAccessible::isActive() true; Qt keeps it behind its private headers.
#ifdef VIRIRADO_TOOLS_CAN_LISTEN
#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>
#endif

namespace virirado::testing {

class AccessRecorder {
public:
    struct Event {
        QAccessible::Event type;
        // The element the event is about; may be gone by the time it is read.
        QAccessibleInterface* element = nullptr;
        QString name;
        QAccessible::Role role = QAccessible::NoRole;
        // For state changes: which states changed.
        QAccessible::State changed;
    };

    // Every event's element is asked its name, state and children as the
    // event comes, as a tool that reads along does.
    AccessRecorder() : m_wasListening(QAccessible::isActive()) {
        s_current = this;
        m_previous = QAccessible::installUpdateHandler(&AccessRecorder::handle);
        setListening(true);
    }
    ~AccessRecorder() {
        setListening(m_wasListening);
        QAccessible::installUpdateHandler(m_previous);
        s_current = nullptr;
    }

    // Whether this build can make Qt count a tool as listening.
    static bool canListen() {
#ifdef VIRIRADO_TOOLS_CAN_LISTEN
        return platform() != nullptr;
#else
        return false;
#endif
    }
    AccessRecorder(const AccessRecorder&) = delete;
    AccessRecorder& operator=(const AccessRecorder&) = delete;

    std::vector<Event> events;

    void clear() {
        events.clear();
    }
    // The events of this type about this element, in order.
    std::vector<Event> about(const QAccessibleInterface* element, QAccessible::Event type) const {
        std::vector<Event> out;
        std::copy_if(events.begin(), events.end(), std::back_inserter(out),
                     [&](const Event& e) { return e.element == element && e.type == type; });
        return out;
    }
    // What was announced, in order: the names of the notifications shown.
    std::vector<std::string> announced() const {
        std::vector<std::string> out;
        for (const Event& e : events) {
            if (e.type == QAccessible::ObjectShow && e.role == QAccessible::Notification)
                out.push_back(e.name.toStdString());
        }
        return out;
    }
    // The changes of state told about this element, one set of changed states each.
    std::vector<QAccessible::State> stateChanges(const QAccessibleInterface* element) const {
        std::vector<QAccessible::State> out;
        for (const Event& e : about(element, QAccessible::StateChanged))
            out.push_back(e.changed);
        return out;
    }
    bool any(QAccessible::Event type) const {
        return std::any_of(events.begin(), events.end(),
                           [type](const Event& e) { return e.type == type; });
    }
    // Whether an event of this type came about the element of `object` itself.
    bool sawOn(const QObject* object, QAccessible::Event type) const {
        return std::any_of(events.begin(), events.end(), [&](const Event& e) {
            return e.type == type && e.element != nullptr && e.element->object() == object;
        });
    }

private:
#ifdef VIRIRADO_TOOLS_CAN_LISTEN
    static QPlatformAccessibility* platform() {
        QPlatformIntegration* integration = QGuiApplicationPrivate::platformIntegration();
        return integration != nullptr ? integration->accessibility() : nullptr;
    }
#endif
    static void setListening(bool on) {
#ifdef VIRIRADO_TOOLS_CAN_LISTEN
        // Also tells Qt's own observers, as QAccessible::setActive does.
        if (QPlatformAccessibility* p = platform()) {
            p->setActive(on);
            return;
        }
#endif
        QAccessible::setActive(on);
    }

    static void handle(QAccessibleEvent* event) {
        AccessRecorder* self = s_current;
        if (self == nullptr) return;
        Event e{event->type(), event->accessibleInterface(), {}, QAccessible::NoRole, {}};
        if (event->type() == QAccessible::StateChanged)
            e.changed = static_cast<QAccessibleStateChangeEvent*>(event)->changedStates();
        if (e.element != nullptr && e.element->isValid()) {
            e.name = e.element->text(QAccessible::Name);
            e.role = e.element->role();
            (void)e.element->state();
            for (int i = 0; i < e.element->childCount(); ++i) {
                if (QAccessibleInterface* child = e.element->child(i)) (void)child->rect();
            }
        }
        self->events.push_back(e);
    }

    static inline AccessRecorder* s_current = nullptr;
    bool m_wasListening;
    QAccessible::UpdateHandler m_previous = nullptr;
};

}  // namespace virirado::testing
