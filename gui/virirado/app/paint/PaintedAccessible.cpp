#include "PaintedAccessible.hpp"

#include <QWidget>
#include <QWindow>

namespace virirado {

namespace {

// One painted part. It names no object of its own, as the cells of Qt's item
// views do: a part is a place in its widget, not a QObject.
class PartAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    PartAccessible(PaintedAccess* access, PartId id) : m_access(access), m_id(id) {}

    bool isValid() const override {
        return m_access->widget() != nullptr && m_access->inRange(m_id);
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override {
        QWidget* w = m_access->widget();
        return w != nullptr ? w->window()->windowHandle() : nullptr;
    }

    QAccessibleInterface* parent() const override {
        if (m_id.part >= 0) return m_access->interfaceFor({m_id.item, -1});
        return QAccessible::queryAccessibleInterface(m_access->widget());
    }
    int childCount() const override {
        if (m_id.part >= 0 || !isValid()) return 0;
        return m_access->parts()->partCount(m_id.item);
    }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= childCount()) return nullptr;
        return m_access->interfaceFor({m_id.item, index});
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        const auto* part = dynamic_cast<const PartAccessible*>(child);
        if (part == nullptr || part->m_access != m_access || m_id.part >= 0) return -1;
        return part->m_id.item == m_id.item ? part->m_id.part : -1;
    }
    // Which part this is, for the widget's interface.
    static std::optional<PartId> idOf(const QAccessibleInterface* iface,
                                      const PaintedAccess* access) {
        const auto* part = dynamic_cast<const PartAccessible*>(iface);
        if (part == nullptr || part->m_access != access) return std::nullopt;
        return part->m_id;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        for (int i = 0; i < childCount(); ++i) {
            QAccessibleInterface* c = child(i);
            if (c != nullptr && c->rect().contains(x, y)) return c;
        }
        return nullptr;
    }

    QString text(QAccessible::Text t) const override {
        if (!isValid()) return {};
        switch (t) {
            case QAccessible::Name:
                return face().name;
            case QAccessible::Description:
                return face().description;
            default:
                return {};
        }
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        QWidget* w = m_access->widget();
        if (!isValid()) return {};
        const QRect r = face().rect;
        if (r.isEmpty()) return {};
        return QRect(w->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override {
        return isValid() ? m_access->parts()->partRole(m_id) : QAccessible::NoRole;
    }
    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        const PartFace f = face();
        s = f.state;
        QWidget* w = m_access->widget();
        if (!w->isVisible()) s.invisible = true;
        if (f.rect.isEmpty() || !w->rect().intersects(f.rect)) s.offscreen = true;
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::ActionInterface)
            return static_cast<QAccessibleActionInterface*>(this);
        return nullptr;
    }
    QStringList actionNames() const override { return isValid() ? face().actions : QStringList(); }
    void doAction(const QString& action) override {
        if (isValid() && face().actions.contains(action)) m_access->parts()->act(m_id, action);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

    // The same part, laid out at another place among its widget's parts.
    void moveTo(PartId id) { m_id = id; }

private:
    PartFace face() const { return m_access->parts()->face(m_id); }

    PaintedAccess* m_access;
    PartId m_id;
};

QAccessibleInterface* paintedFactory(const QString&, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    auto* parts = dynamic_cast<PaintedParts*>(object);
    if (widget == nullptr || parts == nullptr) return nullptr;
    return new PaintedWidgetAccessible(widget, &parts->paintedAccess(), parts->widgetRole());
}

}  // namespace

PaintedAccess::PaintedAccess(QWidget* widget, PaintedParts* parts)
    : m_widget(widget), m_parts(parts) {}

PaintedAccess::~PaintedAccess() {
    dropAll();
}

bool PaintedAccess::inRange(PartId id) const {
    if (id.item < 0 || id.item >= m_parts->itemCount()) return false;
    return id.part < m_parts->partCount(id.item);
}

QAccessibleInterface* PaintedAccess::interfaceFor(PartId id) {
    if (m_widget == nullptr || id.part < -1 || !inRange(id)) return nullptr;
    if (const auto known = m_given.find(id); known != m_given.end()) {
        if (QAccessibleInterface* iface = QAccessible::accessibleInterface(known->second)) {
            return iface;
        }
        m_given.erase(known);
    }
    auto* iface = new PartAccessible(this, id);
    m_given.emplace(id, QAccessible::registerAccessibleInterface(iface));
    return iface;
}

void PaintedAccess::dropAll() {
    for (const auto& [id, given] : m_given)
        QAccessible::deleteAccessibleInterface(given);
    m_given.clear();
}

void PaintedAccess::partsChanged() {
    dropAll();
    if (m_widget == nullptr || !QAccessible::isActive()) return;
    QAccessibleEvent event(m_widget.data(), QAccessible::ObjectReorder);
    QAccessible::updateAccessibility(&event);
}

void PaintedAccess::partsMoved(const std::function<std::optional<PartId>(PartId)>& placeOf) {
    std::map<PartId, QAccessible::Id> kept;
    for (const auto& [id, given] : m_given) {
        auto* part = static_cast<PartAccessible*>(QAccessible::accessibleInterface(given));
        if (part == nullptr) continue;
        const std::optional<PartId> to = placeOf(id);
        // Two parts cannot become one: the second is a new element.
        if (!to || !inRange(*to) || kept.contains(*to)) {
            QAccessible::deleteAccessibleInterface(given);
            continue;
        }
        part->moveTo(*to);
        kept.emplace(*to, given);
    }
    m_given = std::move(kept);
    if (m_widget == nullptr || !QAccessible::isActive()) return;
    QAccessibleEvent event(m_widget.data(), QAccessible::ObjectReorder);
    QAccessible::updateAccessibility(&event);
}

std::vector<PartId> PaintedAccess::givenParts() const {
    std::vector<PartId> ids;
    ids.reserve(m_given.size());
    for (const auto& [id, given] : m_given) {
        if (QAccessible::accessibleInterface(given) != nullptr) ids.push_back(id);
    }
    return ids;
}

void PaintedAccess::notify(PartId id, QAccessible::Event type) {
    if (!QAccessible::isActive()) return;
    QAccessibleInterface* iface = interfaceFor(id);
    if (iface == nullptr) return;
    QAccessibleEvent event(iface, type);
    QAccessible::updateAccessibility(&event);
}

void PaintedAccess::notifyState(PartId id, const QAccessible::State& changed) {
    if (!QAccessible::isActive()) return;
    QAccessibleInterface* iface = interfaceFor(id);
    if (iface == nullptr) return;
    QAccessibleStateChangeEvent event(iface, changed);
    QAccessible::updateAccessibility(&event);
}

void PaintedAccess::selectionMoved(std::optional<PartId> from, std::optional<PartId> to) {
    if (!QAccessible::isActive() || from == to) return;
    QAccessible::State selected;
    selected.selected = true;
    // Qt 6.4's desktop bridge reads no selected flag from a change of states:
    // only the selection events tell a tool that keeps what it read which part
    // is selected now, so both are sent, as Qt's item views do.
    if (from) {
        notify(*from, QAccessible::SelectionRemove);
        notifyState(*from, selected);
    }
    if (to) {
        notify(*to, QAccessible::SelectionAdd);
        notifyState(*to, selected);
    }
}

void installPaintedAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(paintedFactory);
        return true;
    }();
    (void)installed;
}

PaintedWidgetAccessible::PaintedWidgetAccessible(QWidget* widget, PaintedAccess* access,
                                                 QAccessible::Role role)
    : QAccessibleWidget(widget, role), m_access(access) {}

int PaintedWidgetAccessible::childCount() const {
    return m_access->parts()->itemCount();
}

QAccessibleInterface* PaintedWidgetAccessible::child(int index) const {
    return m_access->interfaceFor({index, -1});
}

int PaintedWidgetAccessible::indexOfChild(const QAccessibleInterface* child) const {
    // A part knows its own place, so a list of ten thousand lines is not
    // walked (nor given ten thousand interfaces) to find one.
    const auto id = PartAccessible::idOf(child, m_access);
    return id && id->part < 0 ? id->item : -1;
}

QAccessibleInterface* PaintedWidgetAccessible::childAt(int x, int y) const {
    QWidget* w = widget();
    const auto part = m_access->parts()->partAt(w->mapFromGlobal(QPoint(x, y)));
    if (!part) return nullptr;
    return m_access->interfaceFor({part->item, -1});
}

QAccessibleInterface* PaintedWidgetAccessible::focusChild() const {
    if (!widget()->hasFocus()) return nullptr;
    const auto part = m_access->parts()->focusedPart();
    return part ? m_access->interfaceFor(*part) : nullptr;
}

QStringList PaintedWidgetAccessible::actionNames() const {
    QStringList names = QAccessibleWidget::actionNames();
    if (widget()->isEnabled()) names += m_access->parts()->widgetActions();
    return names;
}

void PaintedWidgetAccessible::doAction(const QString& action) {
    if (widget()->isEnabled() && m_access->parts()->widgetActions().contains(action)) {
        m_access->parts()->actOnWidget(action);
        return;
    }
    QAccessibleWidget::doAction(action);
}

}  // namespace virirado
