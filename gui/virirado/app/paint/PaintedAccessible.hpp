// Painted parts of a widget (list lines, tick circles, map tiles, legend items)
// as elements of their own for assistive tools, the way Qt's item views expose
// their cells. The widget describes a part whenever a tool asks (its words come
// from the same values the painter draws), and one interface per part is made
// the first time a tool reaches it and kept until the parts change, so a tool
// that holds on to an element keeps talking to the same one.
#pragma once

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace virirado {

// A part among the widget's parts: item `item` and, within it, sub-part `part`
// (-1 for the item itself). Two levels are enough: a list line and its tick.
struct PartId {
    int item = 0;
    int part = -1;

    bool operator==(const PartId&) const = default;
    auto operator<=>(const PartId&) const = default;
};

// What a tool reads of one part.
struct PartFace {
    QAccessible::Role role = QAccessible::Button;
    QString name;
    QString description;
    // In the widget's own coordinates. A part scrolled out of view keeps its
    // place and is marked off screen.
    QRect rect;
    QAccessible::State state;
    // Action names, such as QAccessibleActionInterface::pressAction().
    QStringList actions;
};

// Implemented by a widget whose parts are painted. Every call comes on the
// main thread, from a tool's request.
class PaintedParts {
public:
    virtual ~PaintedParts() = default;

    virtual int itemCount() const = 0;
    virtual int partCount(int item) const {
        (void)item;
        return 0;
    }
    // `id` is always in range.
    virtual PartFace face(PartId id) const = 0;
    // The role alone, without the words: a tool that counts a widget's items
    // may ask every one of thousands for its role.
    virtual QAccessible::Role partRole(PartId id) const { return face(id).role; }
    // A tool asks for one of the part's actions, as a click would.
    virtual void act(PartId id, const QString& action) = 0;
    // The part under a point in the widget's coordinates; none between parts.
    virtual std::optional<PartId> partAt(QPoint point) const = 0;
    // The part the keys act on, none when no part has the focus.
    virtual std::optional<PartId> focusedPart() const { return std::nullopt; }

    // The widget's own role among its neighbours: a list, a group of buttons.
    virtual QAccessible::Role widgetRole() const = 0;
    // Actions of the widget itself, beside the focus a focusable widget offers:
    // the press of a widget that is painted as one button.
    virtual QStringList widgetActions() const { return {}; }
    virtual void actOnWidget(const QString& action) { (void)action; }
    // The interfaces given out for the parts, kept by the widget.
    virtual class PaintedAccess& paintedAccess() = 0;
};

// The interfaces a widget's parts have been given, owned by the widget.
class PaintedAccess {
public:
    PaintedAccess(QWidget* widget, PaintedParts* parts);
    ~PaintedAccess();
    PaintedAccess(const PaintedAccess&) = delete;
    PaintedAccess& operator=(const PaintedAccess&) = delete;

    // The part's interface, made on first use; none for a part out of range.
    QAccessibleInterface* interfaceFor(PartId id);
    // The parts were laid out anew: every interface given out is dropped, and
    // tools are told to read the children again.
    void partsChanged();
    // The parts were laid out anew, but some are the same parts in new places:
    // each interface given out follows its part to `placeOf(its old id)`, or is
    // dropped when that answers none, so an element a tool holds (the focused
    // line) stays the same element. Tools are told to read the children again.
    void partsMoved(const std::function<std::optional<PartId>(PartId)>& placeOf);
    // The parts tools hold an interface for, in order: the only ones whose
    // changes a tool can notice.
    std::vector<PartId> givenParts() const;
    // Tells tools that one part changed as `event` says (its name, its state,
    // the focus or the selection moving to it). Does nothing while no tool
    // listens.
    void notify(PartId id, QAccessible::Event event);
    // The same for a change of states, such as checked or disabled.
    void notifyState(PartId id, const QAccessible::State& changed);
    // The selection left `from` and reached `to` (either may be none): the
    // part left is told as a selection removed, the part reached as one added,
    // each with its selected state changed.
    void selectionMoved(std::optional<PartId> from, std::optional<PartId> to);

    QWidget* widget() const { return m_widget; }
    PaintedParts* parts() const { return m_parts; }
    bool inRange(PartId id) const;

private:
    void dropAll();

    QPointer<QWidget> m_widget;
    PaintedParts* m_parts;
    std::map<PartId, QAccessible::Id> m_given;
};

// Lets Qt give every widget that implements PaintedParts the interface below.
// Safe to call more than once; the app and the test programs call it at start.
void installPaintedAccessibility();

// The widget's own interface: the painted parts are its children.
class PaintedWidgetAccessible : public QAccessibleWidget {
public:
    PaintedWidgetAccessible(QWidget* widget, PaintedAccess* access, QAccessible::Role role);

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;
    QStringList actionNames() const override;
    void doAction(const QString& action) override;

private:
    PaintedAccess* m_access;
};

}  // namespace virirado
