// What a painted part tells an assistive tool when its state changes, as the
// desktop's accessibility bridge passes it on.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPointer>
#include <QWidget>
#include <algorithm>
#include <optional>
#include <vector>

#include "AccessRecorder.hpp"
#include "Announcer.hpp"
#include "PaintedAccessible.hpp"

namespace virirado {
namespace {

using testing::AccessRecorder;

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

// A desktop bridge reads no selected flag from a change of states: a tool that
// keeps what it read learns which part is selected only from the selection
// events, so a part left must be told as a selection removed.
TEST(PaintedStates, AMovedSelectionIsToldOnThePartLeftAndThePartReached) {
    if (!AccessRecorder::canListen()) GTEST_SKIP() << "built without Qt's private headers";
    AccessRecorder events;
    TwoParts w;
    QAccessibleInterface* first = w.paintedAccess().interfaceFor({0, -1});
    QAccessibleInterface* second = w.paintedAccess().interfaceFor({1, -1});
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);

    w.selected = 1;
    w.paintedAccess().selectionMoved(PartId{0, -1}, PartId{1, -1});
    ASSERT_EQ(events.about(first, QAccessible::SelectionRemove).size(), 1u);
    ASSERT_EQ(events.about(second, QAccessible::SelectionAdd).size(), 1u);
    for (QAccessibleInterface* part : {first, second}) {
        const auto changed = events.about(part, QAccessible::StateChanged);
        ASSERT_EQ(changed.size(), 1u);
        EXPECT_TRUE(changed[0].changed.selected);
    }
    EXPECT_TRUE(events.about(first, QAccessible::SelectionAdd).empty());
    EXPECT_TRUE(events.about(second, QAccessible::SelectionRemove).empty());

    // A selection that comes from nowhere, or stays, tells only what changed.
    events.clear();
    w.paintedAccess().selectionMoved(std::nullopt, PartId{1, -1});
    EXPECT_EQ(events.about(second, QAccessible::SelectionAdd).size(), 1u);
    EXPECT_FALSE(events.any(QAccessible::SelectionRemove));
    events.clear();
    w.paintedAccess().selectionMoved(PartId{1, -1}, PartId{1, -1});
    EXPECT_TRUE(events.events.empty());
}

// A sentence that no move of the keys says (a clean's end, a banner) reaches a
// reader as a notification that appears: a new element each time, so a
// reader that cached an earlier one's name cannot speak the old words.
TEST(Announcements, EachSentenceIsANewNotificationThatAppears) {
    if (!AccessRecorder::canListen()) GTEST_SKIP() << "built without Qt's private headers";
    QWidget window;
    window.show();
    const auto sentences = [&] {
        std::vector<QString> names;
        for (QWidget* w : window.findChildren<QWidget*>()) {
            QAccessibleInterface* e = QAccessible::queryAccessibleInterface(w);
            if (e != nullptr && e->role() == QAccessible::Notification && !w->isHidden())
                names.push_back(e->text(QAccessible::Name));
        }
        return names;
    };
    {
        // No tool listens: nothing is made.
        announce(&window, QStringLiteral("Deleted 3 items"));
        EXPECT_TRUE(window.findChildren<QWidget*>().empty());
    }
    AccessRecorder events;
    announce(&window, QStringLiteral("Deleted 3 items"));
    ASSERT_EQ(sentences(), std::vector<QString>{QStringLiteral("Deleted 3 items")});
    const auto shown = [&](const QString& name) {
        return std::count_if(events.events.begin(), events.events.end(), [&](const auto& e) {
            return e.type == QAccessible::ObjectShow && e.name == name;
        });
    };
    EXPECT_EQ(shown(QStringLiteral("Deleted 3 items")), 1);

    // It takes no room: a reader reviewing the window later passes it by.
    QWidget* first = window.findChildren<QWidget*>().front();
    EXPECT_TRUE(QAccessible::queryAccessibleInterface(first)->rect().isEmpty());

    // The same words again are a new element that appears again; the old one goes.
    QPointer<QWidget> old(first);
    announce(&window, QStringLiteral("Deleted 3 items"));
    EXPECT_EQ(shown(QStringLiteral("Deleted 3 items")), 2);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(old.isNull());
    EXPECT_EQ(sentences().size(), 1u);
}

}  // namespace
}  // namespace virirado
