// What a painted part tells an assistive tool when its state changes, as the
// desktop's accessibility bridge passes it on.
#include <gtest/gtest.h>

#include <QWidget>
#include <optional>

#include "AccessibilityEvents.hpp"
#include "PaintedAccessible.hpp"

namespace virirado {
namespace {

using testing::AccessibilityEvents;

// Two painted buttons, one of them selected.
class TwoParts : public QWidget, public PaintedParts {
public:
    TwoParts() : m_access(this, this) {}

    int selected = 0;

    int itemCount() const override { return 2; }
    PartFace face(PartId id) const override {
        PartFace f;
        f.name = id.item == 0 ? QStringLiteral("first") : QStringLiteral("second");
        f.rect = QRect(0, id.item * 20, 100, 20);
        f.state.selectable = true;
        f.state.selected = id.item == selected;
        return f;
    }
    void act(PartId, const QString&) override {}
    std::optional<PartId> partAt(QPoint) const override { return std::nullopt; }
    QAccessible::Role widgetRole() const override { return QAccessible::List; }
    PaintedAccess& paintedAccess() override { return m_access; }

private:
    PaintedAccess m_access;
};

TEST(PaintedStates, APartThatLosesTheSelectionIsToldAsASelectionRemoved) {
    AccessibilityEvents events;
    TwoParts w;
    QAccessible::State selectedFlag;
    selectedFlag.selected = true;
    QAccessibleInterface* first = w.paintedAccess().interfaceFor({0, -1});
    QAccessibleInterface* second = w.paintedAccess().interfaceFor({1, -1});
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);

    w.selected = 1;
    w.paintedAccess().notifyState({0, -1}, selectedFlag);
    w.paintedAccess().notifyState({1, -1}, selectedFlag);

    // Both changes are told as changes of states ...
    EXPECT_EQ(events.about(first, QAccessible::StateChanged).size(), 1u);
    EXPECT_EQ(events.about(second, QAccessible::StateChanged).size(), 1u);
    // ... and the part that lost the selection as a selection removed, the one
    // event the bridge turns into "no longer selected".
    EXPECT_EQ(events.about(first, QAccessible::SelectionRemove).size(), 1u);
    EXPECT_TRUE(events.about(second, QAccessible::SelectionRemove).empty());

    // A caller that tells the removal itself first has it told once.
    events.clear();
    w.selected = 0;
    w.paintedAccess().notify({1, -1}, QAccessible::SelectionRemove);
    w.paintedAccess().notifyState({1, -1}, selectedFlag);
    w.paintedAccess().notify({0, -1}, QAccessible::SelectionAdd);
    w.paintedAccess().notifyState({0, -1}, selectedFlag);
    EXPECT_EQ(events.about(second, QAccessible::SelectionRemove).size(), 1u);
    EXPECT_EQ(events.about(second, QAccessible::StateChanged).size(), 1u);
    EXPECT_TRUE(events.about(first, QAccessible::SelectionRemove).empty());
}

}  // namespace
}  // namespace virirado
