#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>

#include "CleanupList.hpp"
#include "ListHarness.hpp"
#include "ListPane.hpp"
#include "MenuAnswer.hpp"
#include "Motion.hpp"
#include "PlainText.hpp"

namespace virirado {
namespace {

using testing::ListHarness;
using testing::MenuAnswer;

const QString kQuickDelete = QStringLiteral("Quick Delete\u2026");

TEST(CleanupList, SelectionMovesWithAShortEaseOut) {
    ListHarness h([](WindowServices& s) { s.reduceMotion = false; });
    // The first selection of the result has come up.
    h.advanceClock(1);
    const std::string from = *h.model().selection();
    const auto fromLine = h.lineOf(from);
    ASSERT_TRUE(fromLine.has_value());
    EXPECT_EQ(h.list->selectedWeight(*fromLine), 1);

    h.model().select("group:caches");
    h.settle();
    const auto toLine = h.lineOf("group:caches");
    ASSERT_TRUE(toLine.has_value());
    // The frame clock stands while the test runs: the move has not begun, on
    // any machine, until the clock goes on.
    EXPECT_EQ(h.list->selectedWeight(*fromLine), 1);
    EXPECT_EQ(h.list->selectedWeight(*toLine), 0);
    h.advanceClock(kSelectionSeconds / 4);
    EXPECT_NEAR(h.list->selectedWeight(*toLine), easeOut(0.25), 1e-5);
    EXPECT_NEAR(h.list->selectedWeight(*fromLine), 1 - easeOut(0.25), 1e-5);
    h.advanceClock(kSelectionSeconds / 4);
    EXPECT_NEAR(h.list->selectedWeight(*toLine), easeOut(0.5), 1e-5);
    // Done once its time is over, however little the timer has fired.
    h.advanceClock(kSelectionSeconds);
    EXPECT_EQ(h.list->selectedWeight(*toLine), 1);
    EXPECT_EQ(h.list->selectedWeight(*fromLine), 0);

    // The same move with reduce motion on shows at once.
    ListHarness still;
    const auto stillFrom = still.lineOf(*still.model().selection());
    still.model().select("group:caches");
    still.settle();
    EXPECT_EQ(still.list->selectedWeight(*still.lineOf("group:caches")), 1);
    EXPECT_EQ(still.list->selectedWeight(*stillFrom), 0);
}

TEST(CleanupList, ClickingAGroupLineSelectsItAndOpensOrFoldsIt) {
    ListHarness h;
    ASSERT_NE(h.list, nullptr);
    ASSERT_TRUE(h.list->isVisible());
    const std::string key = h.list->groups().back().key;
    ASSERT_FALSE(h.model().expanded().contains(key));

    h.click("group:" + key);
    EXPECT_EQ(h.model().selection(), "group:" + key);
    EXPECT_TRUE(h.model().expanded().contains(key));
    EXPECT_TRUE(h.list->hasFocus());
    // Its rows are lines now.
    EXPECT_TRUE(h.lineOf(h.list->groups().back().rows.front()->id).has_value());

    h.click("group:" + key);
    EXPECT_FALSE(h.model().expanded().contains(key));
    EXPECT_FALSE(h.ticksSent());

    // With a query every group is open, and a click does not fold it.
    h.model().setQuery("e");
    h.settle();
    const std::string first = h.list->groups().front().key;
    const std::set<std::string> before = h.model().expanded();
    h.click("group:" + first);
    EXPECT_EQ(h.model().selection(), "group:" + first);
    EXPECT_EQ(h.model().expanded(), before);
    EXPECT_FALSE(h.ticksSent());
}

TEST(CleanupList, ClickingARowSelectsWithoutTickingAndTheTickTicks) {
    ListHarness h;
    h.model().select("npm");
    h.settle();
    h.click("chrome");
    EXPECT_EQ(h.model().selection(), "chrome");
    EXPECT_FALSE(h.ticksSent());

    // npm is safe and not ticked: its tick control ticks it at once.
    h.click("npm", true);
    EXPECT_EQ(h.engine.calls.back(), "tick npm");
    EXPECT_EQ(h.model().selection(), "npm");

    // An untickable row's control is disabled: nothing at all.
    h.model().select("docker");
    h.settle();
    const std::size_t calls = h.engine.calls.size();
    h.click("docker", true);
    EXPECT_EQ(h.engine.calls.size(), calls);
}

TEST(CleanupList, SpaceOnAReviewRowAsksFirst) {
    ListHarness h;
    h.model().select("sim2");
    h.settle();
    h.list->setFocus();
    h.press(Qt::Key_Space);
    ASSERT_TRUE(h.model().checkFirst().has_value());
    EXPECT_EQ(h.model().checkFirst()->id, "sim2");
    EXPECT_FALSE(h.ticksSent());

    // On a group line, space ticks the group: here its safe rows in one call.
    h.model().keepCheckFirst();
    h.model().select("group:caches");
    h.settle();
    h.press(Qt::Key_Space);
    EXPECT_EQ(h.engine.calls.back(), "untick brew,chrome");
}

TEST(CleanupList, ArrowsWalkFoldedAndOpenGroups) {
    ListHarness h;
    const auto& groups = h.list->groups();
    ASSERT_GE(groups.size(), 3u);
    h.model().setExpanded({groups[1].key});
    h.model().setSelection(std::nullopt);
    h.settle();
    h.list->setFocus();

    // Nothing selected: down selects the first line, a folded group.
    h.press(Qt::Key_Down);
    EXPECT_EQ(h.model().selection(), groups[0].id());
    // A folded group is passed over to the next group line; an open one entered.
    h.press(Qt::Key_Down);
    EXPECT_EQ(h.model().selection(), groups[1].id());
    h.press(Qt::Key_Down);
    EXPECT_EQ(h.model().selection(), groups[1].rows[0]->id);
    h.press(Qt::Key_Up);
    h.press(Qt::Key_Up);
    EXPECT_EQ(h.model().selection(), groups[0].id());

    // Right unfolds without moving, right again enters, left goes back up,
    // left again folds.
    h.press(Qt::Key_Right);
    EXPECT_TRUE(h.model().expanded().contains(groups[0].key));
    EXPECT_EQ(h.model().selection(), groups[0].id());
    h.press(Qt::Key_Right);
    EXPECT_EQ(h.model().selection(), groups[0].rows[0]->id);
    h.press(Qt::Key_Right);
    EXPECT_EQ(h.model().selection(), groups[0].rows[0]->id);
    h.press(Qt::Key_Left);
    EXPECT_EQ(h.model().selection(), groups[0].id());
    EXPECT_TRUE(h.model().expanded().contains(groups[0].key));
    h.press(Qt::Key_Left);
    EXPECT_FALSE(h.model().expanded().contains(groups[0].key));
    h.press(Qt::Key_Down);
    EXPECT_EQ(h.model().selection(), groups[1].id());
    EXPECT_FALSE(h.ticksSent());
}

TEST(CleanupList, KeysAreConsumedAndNeverScroll) {
    ListHarness h;
    h.window->resize(1280, 720);
    h.openEveryGroup();
    h.model().setSelection(h.list->groups().front().id());
    h.settle();
    QScrollBar* bar = h.list->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    ASSERT_EQ(bar->value(), 0);
    h.list->setFocus();
    for (Qt::Key key : {Qt::Key_Up, Qt::Key_Left, Qt::Key_Down, Qt::Key_Right, Qt::Key_Space}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(h.list, &press);
        EXPECT_TRUE(press.isAccepted()) << key;
        QKeyEvent shortcut(QEvent::ShortcutOverride, key, Qt::NoModifier);
        QCoreApplication::sendEvent(h.list, &shortcut);
        EXPECT_TRUE(shortcut.isAccepted()) << key;
    }
    h.settle();
    EXPECT_EQ(bar->value(), 0);

    // Walking down to the last line scrolls it into view, by the selection.
    const std::string last = lineId(h.list->lines().back(), h.list->groups());
    h.model().select(last);
    h.settle();
    EXPECT_EQ(bar->value(), bar->maximum());
    const QRectF rect = h.list->lineRect(h.list->lines().size() - 1);
    EXPECT_LE(rect.bottom(), h.list->viewport()->height());
    // A selection that names no line scrolls nowhere.
    h.model().setSelection("fresh");
    h.settle();
    EXPECT_EQ(bar->value(), bar->maximum());
}

// The menu asked from the keys belongs to the line the keys are on; the
// mouse's to the line under the pointer.
TEST(CleanupList, TheKeyboardsMenuActsOnTheSelectedLine) {
    ListHarness h;
    h.window->resize(1280, 720);
    h.openEveryGroup();
    h.model().select("group:caches");
    h.settle();
    h.list->setFocus();
    while (h.model().selection() != std::optional<std::string>("npm") && h.list->hasFocus())
        h.press(Qt::Key_Down);
    ASSERT_EQ(h.model().selection(), std::optional<std::string>("npm"));
    // The line scrolled out of view: the menu brings it back.
    h.list->verticalScrollBar()->setValue(h.list->verticalScrollBar()->maximum());
    const QPoint middle = h.list->rect().center();
    const auto underMiddle = h.list->hitAt(h.list->viewport()->mapFrom(h.list, middle));
    ASSERT_TRUE(!underMiddle || underMiddle->line != *h.lineOf("npm"));

    // The Menu key: Qt asks for the menu at the list's middle, from the keys.
    MenuAnswer menuKey;
    menuKey.arm(kQuickDelete);
    QContextMenuEvent fromKeys(QContextMenuEvent::Keyboard, middle, h.list->mapToGlobal(middle));
    QCoreApplication::sendEvent(h.list, &fromKeys);
    h.settle();
    ASSERT_TRUE(menuKey.shown);
    // At the line, in view, with the keys on its first entry.
    const QRectF line = h.list->lineRect(*h.lineOf("npm"));
    EXPECT_GE(line.top(), 0);
    EXPECT_LE(line.bottom(), h.list->viewport()->height());
    EXPECT_EQ(menuKey.at.y(),
              h.list->viewport()->mapToGlobal(QPointF(0, line.bottom()).toPoint()).y());
    EXPECT_EQ(menuKey.current, "Copy");
    ASSERT_TRUE(h.model().quickDeleteFirst().has_value());
    EXPECT_EQ(h.model().quickDeleteFirst()->id, "npm");
    h.model().cancelQuickDelete();
    h.settle();

    // Shift+F10, the other key for it, does the same.
    h.press(Qt::Key_Up);
    const std::string next = *h.model().selection();
    MenuAnswer shiftF10;
    shiftF10.arm(kQuickDelete);
    QTest::keyClick(h.list, Qt::Key_F10, Qt::ShiftModifier);
    h.settle();
    ASSERT_TRUE(shiftF10.shown);
    ASSERT_TRUE(h.model().quickDeleteFirst().has_value());
    EXPECT_EQ(h.model().quickDeleteFirst()->id, next);
    h.model().cancelQuickDelete();
    h.settle();

    // A right click takes the line under the pointer, not the selected one,
    // and opens with no entry current.
    ASSERT_NE(next, "brew");
    const QRectF brew = h.list->lineRect(*h.lineOf("brew"));
    const QPoint at = QPointF(64, brew.center().y()).toPoint();
    MenuAnswer click;
    click.arm(kQuickDelete);
    QContextMenuEvent byMouse(QContextMenuEvent::Mouse, at, h.list->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(h.list->viewport(), &byMouse);
    h.settle();
    ASSERT_TRUE(click.shown);
    EXPECT_EQ(click.current, "");
    ASSERT_TRUE(h.model().quickDeleteFirst().has_value());
    EXPECT_EQ(h.model().quickDeleteFirst()->id, "brew");
    EXPECT_EQ(h.model().selection(), std::optional<std::string>(next));
}

TEST(CleanupList, TipsPerPartOfALine) {
    ListHarness h;
    h.model().select("bird");
    h.model().select("npm");
    h.settle();
    auto tipAt = [&](const std::string& id, double x) {
        const QRectF r = h.list->lineRect(h.lineOf(id).value());
        return h.list->toolTipAt(QPointF(x, r.center().y()));
    };
    const double tickX = h.list->viewport()->width() - 10 - 13;
    EXPECT_EQ(tipAt("npm", tickX), "Keep");
    EXPECT_EQ(tipAt("chrome", tickX), "Clean");
    EXPECT_EQ(tipAt("bird", tickX), "iCloud is syncing");
    EXPECT_EQ(tipAt("npm", 50), "npm cache");
    // The group's tick; the rest of a group line says nothing.
    EXPECT_EQ(tipAt("group:caches", tickX), "Untick all");
    EXPECT_EQ(tipAt("group:caches", 64), "");

    // The badge: its own tip, the blocked reason or the row's fate.
    auto badgeTip = [&](const std::string& id) {
        const auto i = h.lineOf(id).value();
        const QRectF r = h.list->lineRect(i);
        for (double x = 40; x < r.right(); x += 2) {
            const auto hit = h.list->hitAt(QPointF(x, r.center().y()));
            if (hit && hit->part == CleanupList::Part::badge)
                return h.list->toolTipAt(QPointF(x, r.center().y()));
        }
        return QStringLiteral("no badge");
    };
    EXPECT_EQ(badgeTip("bird"), "iCloud is syncing");
    EXPECT_EQ(badgeTip("npm"), "Removed \u00B7 rebuildable");

    // The tip shown is the name as plain text, never read as markup.
    const QRectF r = h.list->lineRect(h.lineOf("npm").value());
    const QPoint at = QPointF(50, r.center().y()).toPoint();
    QHelpEvent help(QEvent::ToolTip, at, h.list->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(h.list->viewport(), &help);
    EXPECT_EQ(QToolTip::text(), plainToolTip(QStringLiteral("npm cache")));
    QToolTip::hideText();
}

TEST(CleanupList, SelectedLineAndTickCircleColours) {
    for (bool dark : {false, true}) {
        ListHarness h;
        h.content->setDark(dark);
        h.model().select("brew");
        h.settle();
        const QImage image = h.list->viewport()->grab().toImage();
        const QRectF r = h.list->lineRect(h.lineOf("brew").value());
        EXPECT_EQ(image.pixelColor(QPointF(r.left() + 3, r.center().y()).toPoint()),
                  QColor(dark ? "#0F2A40" : "#E8F7F9"));
        // brew is ticked: the circle is filled orange beside the check mark.
        const QPointF centre(r.right() - 10 - 13, r.center().y());
        EXPECT_EQ(image.pixelColor((centre + QPointF(-6.2, 0)).toPoint()), QColor("#FF7A2F"));
        h.content->setDark(false);
    }
}

TEST(CleanupList, CaptionAndRuleSpanTheListAboveTheScrollBar) {
    ListHarness h;
    QScrollBar* bar = h.list->verticalScrollBar();
    ASSERT_TRUE(bar->isVisible());
    const int linesTop = h.list->viewport()->mapTo(h.list, QPoint(0, 0)).y();
    EXPECT_GE(bar->mapTo(h.list, QPoint(0, 0)).y(), linesTop);
    // The rule runs on over the scroll bar's column to the list's right edge.
    const QImage image = h.list->grab().toImage();
    bool rule = false;
    for (int y = linesTop - 4; y < linesTop; ++y)
        rule = rule || image.pixelColor(h.list->width() - 3, y) == QColor("#19B5C9");
    EXPECT_TRUE(rule);
}

}  // namespace
}  // namespace virirado
