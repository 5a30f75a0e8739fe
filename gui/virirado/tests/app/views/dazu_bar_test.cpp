#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <algorithm>

#include "DazuBar.hpp"
#include "DazuLegend.hpp"
#include "DazuStrip.hpp"
#include "DemoBar.hpp"
#include "Format.hpp"
#include "FrameTicker.hpp"
#include "LargestFilesMap.hpp"
#include "MenuAnswer.hpp"
#include "Motion.hpp"
#include "Settled.hpp"
#include "WindowHarness.hpp"

namespace virirado {
namespace {

using testing::kHangMs;

using testing::WindowHarness;

// Within a few steps of each channel: edges are smoothed.
bool near(QColor a, QColor b, int tolerance = 3) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

std::string hexOf(QColor c) {
    return c.name().toStdString();
}

struct Bar : testing::DemoBar {
    using DemoBar::DemoBar;
    void clickStrip() {
        QTest::mouseClick(bar->strip(), Qt::LeftButton, {}, bar->strip()->rect().center());
        h.settle();
    }
    // Moves the frame clock on by `seconds`, then lets the bar draw its frames
    // until `shown` holds. The wait bounds a hang only; what is drawn depends on
    // the clock alone.
    void later(double seconds, const std::function<bool()>& shown) {
        h.advanceClock(seconds);
        if (!QTest::qWaitFor(shown, kHangMs)) ADD_FAILURE() << "no frame at the clock's new time";
        h.settle();
    }
    QPoint centreOf(int tile) const {
        const auto& r = map()->tiles()[static_cast<std::size_t>(tile)].rect;
        return {static_cast<int>(r.x + r.w / 2), static_cast<int>(r.y + r.h / 2)};
    }
    // The x range of a segment of the folded bar, in the bar's coordinates.
    std::pair<double, double> segmentSpan(const std::string& id) const {
        const DazuBarState& s = bar->state();
        double x = 0;
        for (const MorphSegment& seg : s.segments) {
            const double w = bar->width() * seg.at(s.widthProgress);
            if (seg.piece.id == id) return {x, x + w};
            x += w;
        }
        return {-1, -1};
    }
};

TEST(DazuBar, StripClickTogglesTheMapAndTheColumnFollows) {
    Bar b;
    ASSERT_NE(b.bar, nullptr);
    const int folded = b.bar->height();
    EXPECT_EQ(b.bar->cardRect().height(), 26);
    EXPECT_FALSE(b.map()->isVisible());
    EXPECT_EQ(b.bar->strip()->toolTip().contains("Click to expand the largest files map"), true);

    b.clickStrip();
    EXPECT_TRUE(b.h.content->model().mapExpanded());
    EXPECT_TRUE(b.map()->isVisible());
    EXPECT_EQ(b.map()->height(), 140);
    EXPECT_GT(b.bar->height(), folded + 140);
    EXPECT_EQ(b.bar->strip()->accessibleName(), "Collapse largest files map");
    // The list row below takes what is left.
    QWidget* list = b.h.find("listPane");
    EXPECT_EQ(list->mapTo(b.h.content, QPoint()).y(),
              b.bar->mapTo(b.h.content, QPoint()).y() + b.bar->height() + 12);

    b.clickStrip();
    EXPECT_FALSE(b.h.content->model().mapExpanded());
    EXPECT_FALSE(b.map()->isVisible());
    EXPECT_EQ(b.bar->height(), folded);

    // A click elsewhere in the card or on the legend's figures toggles nothing.
    QTest::mouseClick(b.bar->legend(), Qt::LeftButton, {}, QPoint(4, 6));
    b.h.settle();
    EXPECT_FALSE(b.h.content->model().mapExpanded());

    // While a scan runs the strip still opens and folds the card.
    b.h.engine.value.scanning = true;
    b.h.engine.announce();
    b.h.settle();
    b.clickStrip();
    EXPECT_TRUE(b.h.content->model().mapExpanded());
}

TEST(DazuBar, LegendHintOpensAndNeverFolds) {
    Bar b;
    const QRectF hint = b.bar->legend()->hintRect();
    ASSERT_FALSE(hint.isNull());
    QTest::mouseClick(b.bar->legend(), Qt::LeftButton, {}, hint.center().toPoint());
    b.h.settle();
    EXPECT_TRUE(b.h.content->model().mapExpanded());
    // Open: the hint is gone, and asking it again changes nothing.
    EXPECT_TRUE(b.bar->legend()->hintRect().isNull());
    b.bar->legend()->onHint();
    b.h.settle();
    EXPECT_TRUE(b.h.content->model().mapExpanded());
}

TEST(DazuBar, LegendFiguresAndHeaderOfTheDemo) {
    Bar b;
    const DazuBarState& s = b.bar->state();
    EXPECT_EQ(finderSize(s.legend.other), "153.6 GB");
    EXPECT_EQ(finderSize(s.legend.back), "50.8 GB");
    EXPECT_EQ(finderSize(s.legend.kept), "58.8 GB");
    EXPECT_EQ(finderSize(s.legend.free), "240.4 GB");
    EXPECT_EQ(s.headerCount.toStdString(), "27 items (112.3 GB)");
}

TEST(DazuBar, DoubleClickOnATileTogglesItsRowOnce) {
    Bar b;
    b.open();
    const int npm = b.tileOf("npm");
    ASSERT_GE(npm, 0);
    b.h.engine.calls.clear();

    // One click selects and ticks nothing.
    QTest::mouseClick(b.map(), Qt::LeftButton, {}, b.centreOf(npm));
    b.h.settle();
    EXPECT_EQ(b.h.content->model().selection(), std::optional<std::string>("npm"));
    EXPECT_TRUE(b.h.engine.calls.empty());

    QTest::mouseDClick(b.map(), Qt::LeftButton, {}, b.centreOf(npm));
    b.h.settle();
    EXPECT_EQ(b.h.engine.calls, std::vector<std::string>{"tick npm"});
    EXPECT_EQ(b.h.content->model().selection(), std::optional<std::string>("npm"));

    // A double click in the margin, on no tile, does nothing.
    QTest::mouseDClick(b.map(), Qt::LeftButton, {}, QPoint(2, 2));
    b.h.settle();
    EXPECT_EQ(b.h.engine.calls.size(), 1u);
}

TEST(DazuBar, HoverShowsTheCardInsideTheMap) {
    Bar b;
    b.open();
    LargestFilesMap* map = b.map();
    // The tile furthest right: its card must flip to the pointer's left.
    const auto& tiles = map->tiles();
    ASSERT_FALSE(tiles.empty());
    const auto right = std::max_element(
        tiles.begin(), tiles.end(), [](auto& a, auto& c) { return a.rect.maxX() < c.rect.maxX(); });
    const QPoint at(static_cast<int>(right->rect.maxX() - 2),
                    static_cast<int>(right->rect.y + right->rect.h / 2));
    QTest::mouseMove(map, at);
    QCoreApplication::processEvents();
    ASSERT_EQ(map->hoveredID(), std::optional<std::string>(right->id));
    const QRectF card = map->tooltipRect();
    ASSERT_FALSE(card.isEmpty());
    EXPECT_TRUE(QRectF(0, 0, map->width(), 140).contains(card));
    EXPECT_LT(card.right(), at.x());
    const QImage image = map->grab().toImage();
    EXPECT_EQ(hexOf(image.pixelColor(QPointF(card.left() + 4, card.center().y()).toPoint())),
              "#ffffff");

    // Leaving the map takes the card away.
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(map, &leave);
    EXPECT_FALSE(map->hoveredID().has_value());
    EXPECT_TRUE(map->tooltipRect().isEmpty());
}

TEST(DazuBar, BlockedRowsMenuOffersNoQuickDelete) {
    Bar b;
    b.open();
    const int bird = b.tileOf("bird");  // blocked: "iCloud is syncing"
    const int npm = b.tileOf("npm");
    const int docker = b.tileOf("docker");  // look only, not tickable
    ASSERT_GE(bird, 0);
    ASSERT_GE(npm, 0);
    ASSERT_GE(docker, 0);
    auto quick = [](QMenu* menu) -> QAction* {
        for (QAction* a : menu->actions()) {
            if (a->text() == QStringLiteral("Quick Delete\u2026")) return a;
        }
        return nullptr;
    };
    for (int tile : {bird, docker}) {
        auto menu = b.map()->menuFor(static_cast<std::size_t>(tile));
        ASSERT_NE(quick(menu.get()), nullptr);
        EXPECT_FALSE(quick(menu.get())->isEnabled());
        quick(menu.get())->trigger();
    }
    b.h.settle();
    EXPECT_FALSE(b.h.content->model().quickDeleteFirst().has_value());

    // The right click shows that same menu; the open row may go now.
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* shown = qobject_cast<QMenu*>(w);
            if (menu == nullptr && shown != nullptr && shown->isVisible()) menu = shown;
        }
        if (menu == nullptr) return;
        seen = true;
        QAction* item = quick(menu);
        if (item != nullptr && item->isEnabled()) item->trigger();
        menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, b.centreOf(npm),
                            b.map()->mapToGlobal(b.centreOf(npm)));
    QApplication::sendEvent(b.map(), &event);
    b.h.settle();
    EXPECT_TRUE(seen);
    ASSERT_TRUE(b.h.content->model().quickDeleteFirst().has_value());
    EXPECT_EQ(b.h.content->model().quickDeleteFirst()->id, "npm");
    EXPECT_TRUE(std::none_of(b.h.engine.calls.begin(), b.h.engine.calls.end(),
                             [](const std::string& c) { return c.rfind("quick", 0) == 0; }));
}

// A menu asked from the keys is the tile's the keys are on, else the
// selected tile's, wherever the pointer is.
TEST(DazuBar, TheKeyboardsMenuActsOnTheTileTheKeysAreOn) {
    Bar b;
    b.open();
    b.model().select("npm");
    b.h.settle();
    LargestFilesMap* map = b.map();
    const QString quickDelete = QStringLiteral("Quick Delete\u2026");
    b.bar->strip()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(b.bar->strip(), Qt::Key_Tab);
    const int brew = b.tileOf("brew");
    while (map->hasFocus() && map->focusedTile() != brew)
        QTest::keyClick(map, Qt::Key_Tab);
    ASSERT_EQ(map->focusedTile(), brew);

    testing::MenuAnswer keys;
    keys.arm(quickDelete);
    QTest::keyClick(map, Qt::Key_F10, Qt::ShiftModifier);
    b.h.settle();
    ASSERT_TRUE(keys.shown);
    EXPECT_EQ(keys.current, "Copy");
    // At the tile (the screen's edge may move it to the left).
    EXPECT_EQ(keys.at.y(), map->mapToGlobal(b.centreOf(brew)).y());
    ASSERT_TRUE(b.model().quickDeleteFirst().has_value());
    EXPECT_EQ(b.model().quickDeleteFirst()->id, "brew");
    b.model().cancelQuickDelete();
    b.h.settle();

    // Without the keys on a tile: the selected one.
    map->clearFocus();
    testing::MenuAnswer selected;
    selected.arm(quickDelete);
    QContextMenuEvent fromKeys(QContextMenuEvent::Keyboard, map->rect().center(),
                               map->mapToGlobal(map->rect().center()));
    QApplication::sendEvent(map, &fromKeys);
    b.h.settle();
    ASSERT_TRUE(selected.shown);
    ASSERT_TRUE(b.model().quickDeleteFirst().has_value());
    EXPECT_EQ(b.model().quickDeleteFirst()->id, "npm");
}

TEST(DazuBar, PixelsCleanSegmentSelectedTileAndDarkFills) {
    Bar b;
    // "derived" is ticked: its segment is orange in the folded bar.
    const auto [left, right] = b.segmentSpan("derived");
    ASSERT_GT(right - left, 6);
    QImage image = b.bar->grab().toImage();
    EXPECT_EQ(hexOf(image.pixelColor(static_cast<int>((left + right) / 2), 13)), "#ff7a2f");
    // The kept "sim2" is pale cyan with a white separator at its trailing edge.
    const auto [kl, kr] = b.segmentSpan("sim2");
    EXPECT_EQ(hexOf(image.pixelColor(static_cast<int>((kl + kr) / 2), 13)), "#bfeef4");

    // A selected item shows the accent border while folded.
    b.h.content->model().select("sim2");
    b.h.settle();
    image = b.bar->grab().toImage();
    EXPECT_TRUE(near(image.pixelColor(static_cast<int>(kl + 1), 13), QColor(0x19, 0xB5, 0xC9)));

    b.open();
    const int sim2 = b.tileOf("sim2");
    ASSERT_GE(sim2, 0);
    const map::TileShape shape =
        map::tileShape(b.map()->tiles()[static_cast<std::size_t>(sim2)].rect);
    image = b.map()->grab().toImage();
    const QPoint ring(static_cast<int>(shape.x + 2), static_cast<int>(shape.y + shape.h / 2));
    EXPECT_TRUE(near(image.pixelColor(ring), QColor(0x19, 0xB5, 0xC9)))
        << hexOf(image.pixelColor(ring));

    b.h.content->setDark(true);
    b.h.settle();
    // The open header lies on the dark card fill.
    image = b.bar->grab().toImage();
    EXPECT_EQ(hexOf(image.pixelColor(b.bar->width() / 2, 10 + 3)), "#0d2238");
    b.h.content->model().setMapExpanded(false);
    b.h.settle();
    image = b.bar->grab().toImage();
    const auto [ol, orr] = b.segmentSpan("other");
    EXPECT_EQ(hexOf(image.pixelColor(static_cast<int>((ol + orr) / 2), 13)), "#1c3d5e");
    EXPECT_EQ(hexOf(image.pixelColor(static_cast<int>((kl + kr) / 2), 13)), "#2f6d7d");
    b.h.content->setDark(false);
}

TEST(DazuBar, MotionRunsOnlyWhileScanningVisibleAndWanted) {
    Bar b([](WindowServices& s) { s.reduceMotion = false; });
    DazuStrip* strip = b.bar->strip();
    EXPECT_FALSE(strip->animating());
    b.h.engine.value.scanning = true;
    b.h.engine.value.pct = 40;
    b.h.engine.announce();
    b.h.settle();
    EXPECT_TRUE(strip->animating());
    b.h.window->hide();
    QCoreApplication::processEvents();
    EXPECT_FALSE(strip->animating());
    b.h.window->show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(strip->animating());
    b.h.engine.value.scanning = false;
    b.h.engine.announce();
    b.h.settle();
    EXPECT_FALSE(strip->animating());
}

// Frames per second from a ticker's interval.
double rate(const FrameTicker* ticker) {
    return 1000.0 / ticker->intervalMs();
}

TEST(DazuBar, ScanningLineWritesTheHomeAsTilde) {
    Bar b;
    EXPECT_EQ(b.bar->legend()->scanningText(), "");
    b.h.engine.value.scanning = true;
    b.h.engine.value.place = "/home/tester/.cache/pip";
    b.h.engine.announce();
    b.h.settle();
    EXPECT_EQ(b.bar->legend()->scanningText(), "~/.cache/pip");
    b.h.engine.value.place = "/home/testers/x";
    b.h.engine.announce();
    b.h.settle();
    EXPECT_EQ(b.bar->legend()->scanningText(), "/home/testers/x");
    b.h.engine.value.place.clear();
    b.h.engine.announce();
    b.h.settle();
    EXPECT_EQ(b.bar->legend()->scanningText(), QString::fromUtf8("Scanning tank\u2026"));
}

TEST(DazuBar, SelectionRingsFadeFromTileToTileAndSegmentToSegment) {
    Bar b([](WindowServices& s) { s.reduceMotion = false; });
    // The first selection of the result has come up.
    b.h.advanceClock(1);
    b.h.settle();
    const std::string from = *b.h.content->model().selection();
    // A kept or ticked row whose segment shows while folded.
    b.h.content->model().select("sim2");
    b.h.settle();
    // The fade is read from the frame clock, which stands until the test moves
    // it: however long the refresh took, the fade has not begun.
    EXPECT_EQ(b.bar->state().selectionProgress, 0);
    EXPECT_EQ(b.bar->state().selectionFrom, from);
    QTest::qWait(250);
    b.h.settle();
    EXPECT_EQ(b.bar->state().selectionProgress, 0);
    b.h.advanceClock(kSelectionSeconds / 2);
    b.h.settle();
    EXPECT_NEAR(b.bar->state().selectionProgress, easeOut(0.5), 1e-5);
    b.h.advanceClock(kSelectionSeconds);
    b.h.settle();
    EXPECT_EQ(b.bar->state().selectionProgress, 1);

    b.open();
    b.later(1, [&] { return b.bar->state().open == 1; });
    b.h.content->model().select(from);
    b.h.settle();
    // The old ring shows whole and the new one not at all, then the one fades
    // as the other comes up, along the ease-out.
    EXPECT_EQ(b.map()->ringWeight("sim2"), 1);
    EXPECT_EQ(b.map()->ringWeight(from), 0);
    b.h.advanceClock(kSelectionSeconds / 4);
    EXPECT_NEAR(b.map()->ringWeight(from), easeOut(0.25), 1e-5);
    EXPECT_NEAR(b.map()->ringWeight("sim2"), 1 - easeOut(0.25), 1e-5);
    b.h.advanceClock(kSelectionSeconds / 2);
    EXPECT_NEAR(b.map()->ringWeight(from), easeOut(0.75), 1e-5);
    b.h.advanceClock(kSelectionSeconds);
    EXPECT_EQ(b.map()->ringWeight(from), 1);
    EXPECT_EQ(b.map()->ringWeight("sim2"), 0);

    // Reduce motion: at once.
    Bar still;
    still.open();
    still.h.content->model().select("sim2");
    still.h.settle();
    EXPECT_EQ(still.map()->ringWeight("sim2"), 1);
    EXPECT_EQ(still.bar->state().selectionProgress, 1);
}

TEST(DazuBar, FrameClocksKeepUnderTheirCaps) {
    Bar b([](WindowServices& s) { s.reduceMotion = false; });
    b.h.engine.value.scanning = true;
    b.h.engine.value.pct = 40;
    b.h.engine.announce();
    b.h.settle();
    b.open();
    const FrameTicker* overlay = b.bar->strip()->findChild<FrameTicker*>();
    ASSERT_NE(overlay, nullptr);
    EXPECT_LE(rate(overlay), 60);
    EXPECT_GT(rate(overlay), 55);
    const FrameTicker* band = b.map()->findChild<FrameTicker*>();
    ASSERT_NE(band, nullptr);
    EXPECT_LE(rate(band), 30);
    EXPECT_GT(rate(band), 28);
    // The scanning pane's rings and bar, and the legend's dot.
    for (const char* name : {"scanningPane", "dazuLegend"}) {
        QWidget* area = b.h.find(name);
        ASSERT_NE(area, nullptr) << name;
        const auto tickers = area->findChildren<FrameTicker*>();
        EXPECT_FALSE(tickers.empty()) << name;
        for (const FrameTicker* ticker : tickers)
            EXPECT_LE(rate(ticker), 30) << name;
    }
}

// The demo without its largest item: every other segment changes width.
void dropLargest(WindowHarness& h) {
    auto records = SnapshotDemo::records(h.clock.now());
    records.erase(records.begin());
    h.engine.load(records, 240'400'000'000, 506'300'000'000);
    h.settle();
}

TEST(DazuBar, ReduceMotionChangesAtOnce) {
    Bar b;
    b.open();
    EXPECT_EQ(b.bar->state().open, 1);
    const std::size_t before = b.bar->state().segments.size();
    dropLargest(b.h);
    EXPECT_EQ(b.bar->state().widthProgress, 1);
    EXPECT_EQ(b.bar->state().segments.size(), before - 1);
}

TEST(DazuBar, MotionAnimatesOpeningAndWidthsThenSettles) {
    Bar b([](WindowServices& s) { s.reduceMotion = false; });
    b.open();
    // The springs run on the frame clock, which stands until the test moves it.
    EXPECT_EQ(b.bar->state().open, 0);
    b.later(0.1, [&] { return b.bar->state().open > 0; });
    const std::size_t before = b.bar->state().segments.size();
    dropLargest(b.h);
    // The piece that went away shrinks before it goes: at the start, and on the way.
    EXPECT_EQ(b.bar->state().widthProgress, 0);
    EXPECT_EQ(b.bar->state().segments.size(), before);
    b.later(0.1, [&] { return b.bar->state().widthProgress > 0; });
    const double open = b.bar->state().open;
    const double widths = b.bar->state().widthProgress;
    EXPECT_LT(open, 1);
    EXPECT_LT(widths, 1);
    // A machine too busy to draw for longer than both springs last sees them
    // where the clock says, not finished.
    QTest::qWait(800);
    EXPECT_EQ(b.bar->state().open, open);
    EXPECT_EQ(b.bar->state().widthProgress, widths);
    EXPECT_EQ(b.bar->state().segments.size(), before);

    b.later(1, [&] { return b.bar->state().open == 1 && b.bar->state().widthProgress == 1; });
    EXPECT_EQ(b.map()->height(), 140);
    EXPECT_EQ(b.bar->state().segments.size(), before - 1);
}

// What the window shows now, as painted piece by piece (not a fresh render).
QImage shownPixels(QWidget& window) {
    QCoreApplication::processEvents();
    return window.screen()
        ->grabWindow(window.winId())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

QImage freshPixels(QWidget& window) {
    return window.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The first pixel within the shadow's reach around the bar where `a` and `b`
// differ; empty when none does.
std::string mismatchAroundCard(const Bar& bar, const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return "sizes differ";
    const QRect card(bar.bar->mapTo(bar.h.window.get(), QPoint(0, 0)), bar.bar->size());
    const QRect around = card.adjusted(-50, -50, 50, 50).intersected(a.rect());
    for (int y = around.top(); y <= around.bottom(); ++y) {
        for (int x = around.left(); x <= around.right(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y)) {
                return "at " + std::to_string(x) + "," + std::to_string(y) + ": " +
                       hexOf(a.pixelColor(x, y)) + " against " + hexOf(b.pixelColor(x, y));
            }
        }
    }
    return {};
}

// The window repainted only where something changed shows what a fresh render does.
std::string staleAroundCard(const Bar& b) {
    return mismatchAroundCard(b, shownPixels(*b.h.window), freshPixels(*b.h.window));
}

// A new window brought straight to the same state: the reference run.
struct Reference {
    Bar r;
    Reference(const QString& query, bool open, bool dark, int width = 1280) {
        r.h.window->resize(width, r.h.window->height());
        QTest::keyClicks(r.h.find<QLineEdit>("searchField"), query);
        r.h.settle();
        if (open) r.open();
        if (dark) {
            r.h.content->setDark(true);
            r.h.settle();
        }
    }
    ~Reference() { r.h.content->setDark(false); }
};

TEST(DazuBar, CardShadowStaysWholeThroughPartialRepaints) {
    Bar b;
    shownPixels(*b.h.window);
    // Keys change the rows but not the card: only what changed is repainted.
    auto* field = b.h.find<QLineEdit>("searchField");
    ASSERT_NE(field, nullptr);
    QTest::keyClicks(field, QStringLiteral("cache"));
    b.h.settle();
    EXPECT_EQ(staleAroundCard(b), "") << "after typing";
    // Something beside the card repaints across the shadow's reach.
    const QRect below(b.bar->mapTo(b.h.window.get(), QPoint(0, b.bar->height() - 20)),
                      QSize(b.bar->width(), 60));
    b.h.window->update(below);
    EXPECT_EQ(staleAroundCard(b), "") << "after a repaint across the shadow";
    // The shadow grows deeper on hover while the card stays put.
    b.bar->strip()->onHover(true);
    EXPECT_EQ(staleAroundCard(b), "") << "after hover";
    b.bar->strip()->onHover(false);
    EXPECT_EQ(staleAroundCard(b), "") << "after hover ended";
    // The card grows and shrinks again: no old shadow is left behind.
    b.open();
    EXPECT_EQ(staleAroundCard(b), "") << "after opening";
    QTest::keyClick(field, Qt::Key_Backspace);
    b.h.settle();
    EXPECT_EQ(staleAroundCard(b), "") << "after a key with the map open";
    const QImage open = shownPixels(*b.h.window);
    {
        Reference ref(QStringLiteral("cach"), true, false);
        EXPECT_EQ(mismatchAroundCard(b, open, freshPixels(*ref.r.h.window)), "")
            << "open, against the reference run";
    }
    b.h.content->model().setMapExpanded(false);
    b.h.settle();
    EXPECT_EQ(staleAroundCard(b), "") << "after folding";
    // Only the card's width changes, then only its colours.
    b.h.window->resize(1180, b.h.window->height());
    b.h.settle();
    EXPECT_EQ(staleAroundCard(b), "") << "after a narrower window";
    const QImage narrow = shownPixels(*b.h.window);
    {
        Reference ref(QStringLiteral("cach"), false, false, 1180);
        EXPECT_EQ(mismatchAroundCard(b, narrow, freshPixels(*ref.r.h.window)), "")
            << "narrower, against the reference run";
    }
    b.h.content->setDark(true);
    b.h.settle();
    EXPECT_EQ(staleAroundCard(b), "") << "in dark";
    const QImage dark = shownPixels(*b.h.window);
    {
        Reference ref(QStringLiteral("cach"), false, true, 1180);
        EXPECT_EQ(mismatchAroundCard(b, dark, freshPixels(*ref.r.h.window)), "")
            << "folded in dark, against the reference run";
    }
    b.h.content->setDark(false);
}

}  // namespace
}  // namespace virirado
