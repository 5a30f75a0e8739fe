// The Dazu bar's strip, the map's tiles and the legend's figures as a screen
// reader finds them, through Qt's accessibility interfaces.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QTest>
#include <algorithm>

#include "AccessRecorder.hpp"
#include "CleanupList.hpp"
#include "DazuBar.hpp"
#include "DazuLegend.hpp"
#include "DazuStrip.hpp"
#include "DemoBar.hpp"
#include "DetailsPane.hpp"
#include "LargestFilesMap.hpp"
#include "Settled.hpp"
#include "SnapshotDemo.hpp"
#include "WindowHarness.hpp"

namespace virirado {
namespace {

using testing::kHangMs;

using testing::AccessRecorder;
using testing::WindowHarness;

const QString kPress = QAccessibleActionInterface::pressAction();

QAccessibleInterface* accessOf(QWidget* widget) {
    return QAccessible::queryAccessibleInterface(widget);
}

QStringList actionsOf(QAccessibleInterface* iface) {
    QAccessibleActionInterface* actions = iface->actionInterface();
    return actions != nullptr ? actions->actionNames() : QStringList();
}

void press(QAccessibleInterface* iface) {
    ASSERT_NE(iface->actionInterface(), nullptr);
    iface->actionInterface()->doAction(kPress);
}

struct Bar : testing::DemoBar {
    using DemoBar::DemoBar;
    QAccessibleInterface* strip() const { return accessOf(bar->strip()); }
    QAccessibleInterface* mapAccess() const { return accessOf(map()); }
    QAccessibleInterface* legend() const { return accessOf(bar->legend()); }
    QAccessibleInterface* tile(const std::string& id) const {
        const int i = tileOf(id);
        EXPECT_GE(i, 0) << id;
        return i >= 0 ? mapAccess()->child(i) : nullptr;
    }
    // The painted tile's rectangle on the screen.
    QRect screenRect(int i) const {
        const durozizo::MapRect& r = map()->tiles()[static_cast<std::size_t>(i)].rect;
        return {map()->mapToGlobal(QPoint(static_cast<int>(r.x), static_cast<int>(r.y))),
                QSize(static_cast<int>(r.w), static_cast<int>(r.h))};
    }
};

TEST(DazuAccess, StripIsAButtonWhosePressOpensAndFoldsAsAClickDoes) {
    Bar b([](WindowServices& s) { s.reduceMotion = false; });
    QAccessibleInterface* strip = b.strip();
    ASSERT_NE(strip, nullptr);
    EXPECT_EQ(strip->role(), QAccessible::Button);
    EXPECT_EQ(strip->text(QAccessible::Name), "Expand largest files map");
    EXPECT_TRUE(actionsOf(strip).contains(kPress));

    press(strip);
    b.h.settle();
    EXPECT_TRUE(b.model().mapExpanded());
    EXPECT_EQ(strip->text(QAccessible::Name), "Collapse largest files map");
    // The card opens on the spring, read from the frame clock, as after a click.
    EXPECT_EQ(b.bar->state().open, 0);
    b.h.advanceClock(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.bar->state().open == 1; }, kHangMs));
    EXPECT_EQ(b.map()->height(), 140);

    press(strip);
    b.h.settle();
    EXPECT_FALSE(b.model().mapExpanded());
    EXPECT_EQ(strip->text(QAccessible::Name), "Expand largest files map");
    b.h.advanceClock(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.bar->state().open == 0; }, kHangMs));
    EXPECT_FALSE(b.map()->isVisible());

    // With reduce motion the card switches at once, also during a scan.
    Bar still;
    still.h.engine.value.scanning = true;
    still.h.engine.announce();
    still.h.settle();
    press(still.strip());
    still.h.settle();
    EXPECT_TRUE(still.model().mapExpanded());
    EXPECT_EQ(still.bar->state().open, 1);
}

TEST(DazuAccess, EveryPaintedTileIsAButtonNamedAsPainted) {
    Bar b;
    QAccessibleInterface* map = b.mapAccess();
    ASSERT_NE(map, nullptr);
    // The bar holds its parts as separate elements; folded, the map has no tiles.
    QAccessibleInterface* body = accessOf(b.bar);
    ASSERT_GE(body->indexOfChild(map), 0);
    ASSERT_GE(body->indexOfChild(b.strip()), 0);
    ASSERT_GE(body->indexOfChild(b.legend()), 0);
    ASSERT_EQ(b.legend()->childCount(), 4);
    EXPECT_EQ(map->childCount(), 0);

    b.open();
    const auto& tiles = b.map()->tiles();
    ASSERT_FALSE(tiles.empty());
    ASSERT_EQ(map->childCount(), static_cast<int>(tiles.size()));
    const std::optional<std::string> selection = b.model().selection();
    ASSERT_TRUE(selection.has_value());
    for (int i = 0; i < map->childCount(); ++i) {
        QAccessibleInterface* tile = map->child(i);
        ASSERT_NE(tile, nullptr) << i;
        const std::string& id = tiles[static_cast<std::size_t>(i)].rowID;
        EXPECT_EQ(tile->role(), QAccessible::Button) << id;
        EXPECT_EQ(tile->rect(), b.screenRect(i)) << id;
        EXPECT_TRUE(tile->state().selectable) << id;
        EXPECT_EQ(tile->state().selected, id == *selection) << id;
        EXPECT_EQ(actionsOf(tile), QStringList{kPress}) << id;
        EXPECT_EQ(tile->parent(), map) << id;
        EXPECT_EQ(map->indexOfChild(tile), i) << id;
        EXPECT_EQ(map->childAt(tile->rect().center().x(), tile->rect().center().y()), tile) << id;
        // Asked again, the same element.
        EXPECT_EQ(map->child(i), tile) << id;
    }
    // Named from what the tile and its card show, small tiles too.
    EXPECT_EQ(b.tile("npm")->text(QAccessible::Name),
              QString::fromUtf8("npm cache, 1.3 GB, Removed \u00B7 rebuildable"));
    EXPECT_EQ(b.tile("brew")->text(QAccessible::Name), "Homebrew cache, 2.8 GB, Ticked to clean");
    EXPECT_EQ(b.tile("bird")->text(QAccessible::Name),
              QString::fromUtf8("com.apple.bird \u00B7 iCloud cache, 1.2 GB, Blocked now"));
    EXPECT_EQ(b.tile("f7")->text(QAccessible::Name).toStdString(),
              "lease-scan.pdf, 400 MB, Goes to Trash");

    // The margin is no tile; the hover card, the mascot and the band are not elements.
    const QPoint margin = b.map()->mapToGlobal(QPoint(2, 2));
    EXPECT_EQ(map->childAt(margin.x(), margin.y()), nullptr);
    QTest::mouseMove(b.map(), b.map()->mapFromGlobal(b.tile("npm")->rect().center()));
    QCoreApplication::processEvents();
    ASSERT_EQ(b.map()->hoveredID(), std::optional<std::string>("npm"));
    EXPECT_EQ(map->childCount(), static_cast<int>(tiles.size()));

    b.model().setMapExpanded(false);
    b.h.settle();
    ASSERT_FALSE(b.map()->isVisible());
    EXPECT_EQ(map->childCount(), 0);
}

TEST(DazuAccess, PressingATileSelectsItsRowAsAClickDoes) {
    Bar b;
    b.open();
    ASSERT_NE(b.model().selection(), std::optional<std::string>("npm"));
    b.h.engine.calls.clear();
    QAccessibleInterface* npm = b.tile("npm");
    ASSERT_NE(npm, nullptr);
    EXPECT_FALSE(npm->state().selected);

    press(npm);
    b.h.settle();
    EXPECT_EQ(b.model().selection(), std::optional<std::string>("npm"));
    EXPECT_TRUE(npm->state().selected);
    // The details pane and the list follow; nothing is ticked.
    EXPECT_EQ(b.h.find<DetailsPane>("details")->content().subject, "row:npm");
    auto* list = b.h.find<CleanupList>("cleanupList");
    const auto line = lineIndex(list->lines(), list->groups(), "npm");
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(list->selectedWeight(*line), 1);
    EXPECT_TRUE(b.h.engine.calls.empty());
    // Only one tile is selected.
    int selected = 0;
    for (int i = 0; i < b.mapAccess()->childCount(); ++i)
        selected += b.mapAccess()->child(i)->state().selected ? 1 : 0;
    EXPECT_EQ(selected, 1);
}

TEST(DazuAccess, ATickRenamesItsTileAndTheBackFigureAndTellsTools) {
    if (!AccessRecorder::canListen()) GTEST_SKIP() << "built without Qt's private headers";
    AccessRecorder events;
    Bar b;
    b.open();
    QAccessibleInterface* npm = b.tile("npm");
    ASSERT_NE(npm, nullptr);
    const QAccessible::Id npmId = QAccessible::uniqueId(npm);
    QAccessibleInterface* previous = b.tile(*b.model().selection());
    QAccessibleInterface* back = b.legend()->child(1);
    ASSERT_EQ(back->text(QAccessible::Name), "Back, 50.8 GB");

    // The selection moving to the tile is told about both tiles.
    events.clear();
    press(npm);
    b.h.settle();
    ASSERT_EQ(events.about(npm, QAccessible::SelectionAdd).size(), 1u);
    EXPECT_EQ(events.about(previous, QAccessible::SelectionRemove).size(), 1u);
    const auto stateChanges = events.about(npm, QAccessible::StateChanged);
    ASSERT_EQ(stateChanges.size(), 1u);
    EXPECT_TRUE(stateChanges[0].changed.selected);

    // Space in the list ticks the row: the tile and the legend say so.
    events.clear();
    auto* list = b.h.find<CleanupList>("cleanupList");
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Space);
    b.h.settle();
    ASSERT_EQ(b.h.engine.calls.back(), "tick npm");
    const auto renamed = events.about(npm, QAccessible::NameChanged);
    ASSERT_EQ(renamed.size(), 1u);
    EXPECT_EQ(renamed[0].name, "npm cache, 1.3 GB, Ticked to clean");
    // The refresh handed out new rows for the same tiles: the element a tool
    // holds is the one still given out, and tools were not sent to read anew.
    EXPECT_EQ(QAccessible::accessibleInterface(npmId), npm);
    EXPECT_EQ(b.tile("npm"), npm);
    EXPECT_FALSE(events.sawOn(b.map(), QAccessible::ObjectReorder));
    const auto backRenamed = events.about(back, QAccessible::NameChanged);
    ASSERT_EQ(backRenamed.size(), 1u);
    EXPECT_EQ(backRenamed[0].name, "Back, 52.1 GB");
    EXPECT_TRUE(events.about(b.legend()->child(0), QAccessible::NameChanged).empty());

    // A double click on the tile unticks it again.
    events.clear();
    const int i = b.tileOf("npm");
    const durozizo::MapRect& r = b.map()->tiles()[static_cast<std::size_t>(i)].rect;
    QTest::mouseDClick(b.map(), Qt::LeftButton, {},
                       QPoint(static_cast<int>(r.x + r.w / 2), static_cast<int>(r.y + r.h / 2)));
    b.h.settle();
    ASSERT_EQ(b.h.engine.calls.back(), "untick npm");
    ASSERT_EQ(events.about(npm, QAccessible::NameChanged).size(), 1u);
    EXPECT_EQ(npm->text(QAccessible::Name),
              QString::fromUtf8("npm cache, 1.3 GB, Removed \u00B7 rebuildable"));

    // New figures lay the tiles out anew: tools are told to read them again,
    // and the elements they held are gone.
    events.clear();
    auto records = SnapshotDemo::records(b.h.clock.now());
    records.erase(records.begin());
    b.h.engine.load(records, 240'400'000'000, 506'300'000'000);
    b.h.settle();
    EXPECT_TRUE(events.sawOn(b.map(), QAccessible::ObjectReorder));
    EXPECT_EQ(QAccessible::accessibleInterface(npmId), nullptr);
    EXPECT_EQ(b.mapAccess()->childCount(), static_cast<int>(b.map()->tiles().size()));
    EXPECT_EQ(b.tile("npm")->text(QAccessible::Name),
              QString::fromUtf8("npm cache, 1.3 GB, Removed \u00B7 rebuildable"));
}

TEST(DazuAccess, LegendItemsReadTheirWordAndFigure) {
    Bar b;
    QAccessibleInterface* legend = b.legend();
    ASSERT_EQ(legend->childCount(), 4);
    const QStringList expected{"Other, 153.6 GB", "Back, 50.8 GB", "Kept, 58.8 GB",
                               "Free, 240.4 GB"};
    const QRect area(b.bar->legend()->mapToGlobal(QPoint()), b.bar->legend()->size());
    int right = area.left();
    for (int i = 0; i < 4; ++i) {
        QAccessibleInterface* item = legend->child(i);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->role(), QAccessible::StaticText);
        EXPECT_EQ(item->text(QAccessible::Name), expected[i]);
        const QRect r = item->rect();
        // Side by side, left to right, inside the legend.
        EXPECT_TRUE(area.contains(r)) << i;
        EXPECT_GE(r.left(), right) << i;
        right = r.right();
        EXPECT_EQ(legend->childAt(r.center().x(), r.center().y()), item);
        EXPECT_TRUE(actionsOf(item).isEmpty());
    }
    // The hint is painted beside them, no element of its own.
    const QPoint hint =
        b.bar->legend()->mapToGlobal(b.bar->legend()->hintRect().center().toPoint());
    EXPECT_EQ(legend->childAt(hint.x(), hint.y()), nullptr);
}

// What the map looks like around tile i.
QImage aroundTile(const Bar& b, int i) {
    const durozizo::MapRect& r = b.map()->tiles()[static_cast<std::size_t>(i)].rect;
    return b.map()
        ->grab(QRect(static_cast<int>(r.x), static_cast<int>(r.y), static_cast<int>(r.w),
                     static_cast<int>(r.h)))
        .toImage();
}

TEST(DazuAccess, TheKeysReachTheStripAndEveryTileOfTheOpenMap) {
    Bar b;
    DazuStrip* strip = b.bar->strip();
    LargestFilesMap* map = b.map();
    EXPECT_EQ(strip->focusPolicy(), Qt::TabFocus);
    strip->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(strip->hasFocus());
    // The strip shows where the keys are; a click brings it no keys.
    const QImage withKeys = strip->grab().toImage();
    strip->clearFocus();
    EXPECT_NE(withKeys, strip->grab().toImage());
    QTest::mouseClick(strip, Qt::LeftButton, {}, strip->rect().center());
    b.h.settle();
    EXPECT_FALSE(strip->hasFocus());
    ASSERT_TRUE(b.model().mapExpanded());
    b.model().setMapExpanded(false);
    b.h.settle();

    // Space presses it as a click does; Return stays the window's, which
    // asks for the clean.
    strip->setFocus(Qt::TabFocusReason);
    QTest::keyClick(strip, Qt::Key_Space);
    b.h.settle();
    ASSERT_TRUE(b.model().mapExpanded());
    ASSERT_TRUE(map->isVisible());
    b.h.engine.calls.clear();
    QTest::keyClick(strip, Qt::Key_Return);
    ASSERT_TRUE(testing::clicksDone(b.h.window.get()));
    b.h.settle();
    ASSERT_EQ(b.h.engine.calls, std::vector<std::string>{"preview"});
    EXPECT_TRUE(b.model().mapExpanded());
    b.h.content->model().dismissPreview();
    b.h.settle();

    // Tab walks the tiles in tile order, one stop each, then leaves the map;
    // Shift+Tab walks back.
    strip->setFocus(Qt::TabFocusReason);
    QTest::keyClick(strip, Qt::Key_Tab);
    ASSERT_TRUE(map->hasFocus());
    const int tiles = static_cast<int>(map->tiles().size());
    ASSERT_GT(tiles, 2);
    QAccessibleInterface* access = b.mapAccess();
    for (int i = 0; i < tiles; ++i) {
        ASSERT_TRUE(map->hasFocus()) << i;
        ASSERT_EQ(map->focusedTile(), i);
        // The tile the keys are on is the focused element, and only it.
        EXPECT_EQ(access->focusChild(), access->child(i)) << i;
        EXPECT_TRUE(access->child(i)->state().focused) << i;
        EXPECT_FALSE(access->child((i + 1) % tiles)->state().focused) << i;
        QTest::keyClick(map, Qt::Key_Tab);
    }
    EXPECT_FALSE(map->hasFocus());
    map->setFocus(Qt::BacktabFocusReason);
    ASSERT_EQ(map->focusedTile(), tiles - 1);
    QTest::keyClick(map, Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(map->focusedTile(), tiles - 2);

    // The tile the keys are on shows the ring; Space selects its row as a
    // click does, and ticks nothing.
    const int npm = b.tileOf("npm");
    strip->setFocus(Qt::TabFocusReason);
    QTest::keyClick(strip, Qt::Key_Tab);
    while (map->focusedTile() != npm && map->hasFocus())
        QTest::keyClick(map, Qt::Key_Tab);
    ASSERT_EQ(map->focusedTile(), npm);
    const QImage ringed = aroundTile(b, npm);
    b.h.engine.calls.clear();
    QTest::keyClick(map, Qt::Key_Space);
    b.h.settle();
    EXPECT_EQ(b.model().selection(), std::optional<std::string>("npm"));
    EXPECT_TRUE(b.h.engine.calls.empty());
    QTest::keyClick(map, Qt::Key_Tab);
    EXPECT_NE(ringed, aroundTile(b, npm));

    // Folded, the map is no stop; open again, the keys come back to their tile.
    b.model().setMapExpanded(false);
    b.h.settle();
    EXPECT_FALSE(map->isVisible());
    EXPECT_FALSE(map->hasFocus());
}

TEST(DazuAccess, TheOpenHeaderIsTheMapsHeadingAndKeysAreHeard) {
    if (!AccessRecorder::canListen()) GTEST_SKIP() << "built without Qt's private headers";
    AccessRecorder tool;
    Bar b;
    QAccessibleInterface* body = accessOf(b.bar);
    const auto heading = [&]() -> QAccessibleInterface* {
        for (int i = 0; i < body->childCount(); ++i) {
            QAccessibleInterface* c = body->child(i);
            if (c->role() == QAccessible::Heading && !c->state().invisible) return c;
        }
        return nullptr;
    };
    EXPECT_EQ(heading(), nullptr);

    // Opened from the keys: the strip says so, with the heading's words.
    b.bar->strip()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(b.bar->strip(), Qt::Key_Space);
    b.h.settle();
    ASSERT_TRUE(b.model().mapExpanded());
    const std::string words = "LARGEST FILES \u00B7 27 items (112.3 GB)";
    EXPECT_EQ(tool.announced(), std::vector<std::string>{"expanded, " + words});

    // The header the strip paints is an element of its own, after the strip
    // and before the tiles, where the header is drawn.
    QAccessibleInterface* title = heading();
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->text(QAccessible::Name).toStdString(), words);
    const QRect strip = b.strip()->rect();
    EXPECT_TRUE(strip.contains(title->rect())) << "over the strip's header";
    EXPECT_GT(title->rect().top(), strip.top());
    EXPECT_LT(title->rect().bottom(), b.mapAccess()->child(0)->rect().top());
    EXPECT_LT(body->indexOfChild(b.strip()), body->indexOfChild(title));
    EXPECT_LT(body->indexOfChild(title), body->indexOfChild(b.mapAccess()));
    // It takes no clicks: the strip under it still folds the card.
    EXPECT_EQ(b.bar->childAt(b.bar->mapFromGlobal(title->rect().center())), b.bar->strip());

    // The keys on a tile: told as the focused element after the map.
    tool.clear();
    QTest::keyClick(b.bar->strip(), Qt::Key_Tab);
    b.h.settle();
    ASSERT_TRUE(b.map()->hasFocus());
    QAccessibleInterface* first = b.mapAccess()->child(0);
    ASSERT_EQ(tool.about(first, QAccessible::Focus).size(), 1u);
    const auto focusAt = [&](const QAccessibleInterface* element) {
        return std::find_if(tool.events.begin(), tool.events.end(), [&](const auto& e) {
            return e.type == QAccessible::Focus && e.element == element;
        });
    };
    EXPECT_LT(focusAt(b.mapAccess()), focusAt(first));
    tool.clear();
    QTest::keyClick(b.map(), Qt::Key_Tab);
    EXPECT_EQ(tool.about(b.mapAccess()->child(1), QAccessible::Focus).size(), 1u);

    // Folded from the keys: said, and the heading goes.
    b.bar->strip()->setFocus(Qt::BacktabFocusReason);
    tool.clear();
    QTest::keyClick(b.bar->strip(), Qt::Key_Space);
    b.h.settle();
    ASSERT_FALSE(b.model().mapExpanded());
    EXPECT_EQ(tool.announced(), std::vector<std::string>{"collapsed"});
    EXPECT_EQ(heading(), nullptr);
}

TEST(DazuAccess, ElementsWorkWhenToolsListenFromTheStart) {
    if (!AccessRecorder::canListen()) GTEST_SKIP() << "built without Qt's private headers";
    AccessRecorder events;
    ASSERT_TRUE(QAccessible::isActive());
    Bar b;
    ASSERT_EQ(b.strip()->role(), QAccessible::Button);
    ASSERT_EQ(b.legend()->childCount(), 4);
    EXPECT_EQ(b.legend()->child(3)->text(QAccessible::Name), "Free, 240.4 GB");

    events.clear();
    press(b.strip());
    b.h.settle();
    ASSERT_TRUE(b.map()->isVisible());
    // The tiles came: tools are told to read the map's children.
    EXPECT_TRUE(events.sawOn(b.map(), QAccessible::ObjectReorder));
    ASSERT_EQ(b.mapAccess()->childCount(), static_cast<int>(b.map()->tiles().size()));
    QAccessibleInterface* npm = b.tile("npm");
    const QAccessible::Id id = QAccessible::uniqueId(npm);

    // Refreshes that change nothing on the map keep its elements.
    b.h.engine.value.pct = 50;
    b.h.engine.announce();
    b.h.settle();
    b.h.window->resize(b.h.window->width(), b.h.window->height() + 10);
    b.h.settle();
    EXPECT_EQ(QAccessible::accessibleInterface(id), npm);
    EXPECT_TRUE(npm->isValid());
    press(npm);
    b.h.settle();
    EXPECT_EQ(b.model().selection(), std::optional<std::string>("npm"));
}

}  // namespace
}  // namespace virirado
