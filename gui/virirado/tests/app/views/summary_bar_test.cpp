#include <gtest/gtest.h>

#include <QTest>

#include "CapsuleButton.hpp"
#include "ClampedLabel.hpp"
#include "RunsLabel.hpp"
#include "Settled.hpp"
#include "WindowHarness.hpp"

namespace virirado {
namespace {

using testing::WindowHarness;

// Keys go to the window as the user presses them; a button's key fires its
// click a moment later, which is waited for.
void press(WindowHarness& h, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    h.engine.calls.clear();
    QTest::keyClick(h.window.get(), static_cast<Qt::Key>(key), mods);
    EXPECT_TRUE(testing::clicksDone(h.window.get()));
    h.settle();
}

void setScanning(WindowHarness& h, bool scanning) {
    h.engine.value.scanning = scanning;
    h.engine.announce();
    h.settle();
}

using Calls = std::vector<std::string>;

TEST(SummaryBar, KeysReachTheEngineOnlyWhereTheirButtonsAre) {
    WindowHarness h;
    h.show();
    // Idle, nothing ticked: Return does nothing, Ctrl+R scans, Ctrl+. nothing.
    press(h, Qt::Key_Return);
    EXPECT_EQ(h.engine.calls, Calls{});
    press(h, Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(h.engine.calls, Calls{"scan"});
    press(h, Qt::Key_Period, Qt::ControlModifier);
    EXPECT_EQ(h.engine.calls, Calls{});

    // Idle with ticked rows: Return asks for the clean preview.
    h.loadDemo();
    ASSERT_GT(h.content->model().totals().tickedCount, 0);
    press(h, Qt::Key_Return);
    EXPECT_EQ(h.engine.calls, Calls{"preview"});

    // Scanning: only Ctrl+. works, and cancels.
    setScanning(h, true);
    press(h, Qt::Key_Return);
    EXPECT_EQ(h.engine.calls, Calls{});
    press(h, Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(h.engine.calls, Calls{});
    press(h, Qt::Key_Period, Qt::ControlModifier);
    EXPECT_EQ(h.engine.calls, Calls{"cancel"});

    // Back to idle: the keys come back with their buttons.
    setScanning(h, false);
    press(h, Qt::Key_Period, Qt::ControlModifier);
    EXPECT_EQ(h.engine.calls, Calls{});
    press(h, Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(h.engine.calls, Calls{"scan"});
}

TEST(SummaryBar, TickedLineAndButtons) {
    WindowHarness h;
    h.show();
    auto* ticked = h.find<RunsLabel>("tickedText");
    auto* scan = h.find<CapsuleButton>("scanButton");
    auto* clean = h.find<CapsuleButton>("cleanButton");
    ASSERT_TRUE(ticked && scan && clean);
    EXPECT_EQ(ticked->text(), "0 ticked");
    EXPECT_EQ(scan->spokenText(), "Start scan");
    EXPECT_EQ(clean->spokenText(), "Clean the tank 0 B");
    EXPECT_FALSE(clean->isEnabled());
    EXPECT_TRUE(clean->toolTip().contains("You confirm the list first."));

    h.loadDemo();
    EXPECT_EQ(ticked->text(), QString::fromUtf8("8 ticked \u00B7 1 to Trash"));
    EXPECT_EQ(scan->spokenText(), "Scan again");
    EXPECT_EQ(clean->spokenText(), "Clean the tank 50.8 GB");
    EXPECT_TRUE(clean->isEnabled());

    // In the dark the button glows past the bar's own bounds, into the window's
    // bottom margin; in the light it does not glow.
    const QPoint below = clean->mapTo(h.content, QPoint(clean->width() / 2, clean->height() + 4));
    ASSERT_LT(below.y(), h.content->height());
    EXPECT_EQ(h.content->grab().toImage().pixelColor(below), QColor("#FFFFFF"));
    h.content->setDark(true);
    EXPECT_GT(h.content->grab().toImage().pixelColor(below).red(), QColor("#07192B").red() + 15);
    h.content->setDark(false);

    // A click on "Scan again" and one on "Clean the tank".
    h.engine.calls.clear();
    QTest::mouseClick(scan, Qt::LeftButton);
    QTest::mouseClick(clean, Qt::LeftButton);
    EXPECT_EQ(h.engine.calls, (Calls{"scan", "preview"}));
}

TEST(SummaryBar, ScanSummaryShowsProgressAndThePlace) {
    WindowHarness h;
    h.show();
    h.engine.value.scanning = true;
    h.engine.value.pct = 62.5;
    h.engine.value.eta.reset();
    h.engine.value.place = "/home/tester/Library/Caches";
    h.engine.announce();
    h.settle();
    QWidget* summary = h.find("scanSummary");
    ASSERT_NE(summary, nullptr);
    EXPECT_TRUE(summary->isVisible());
    EXPECT_FALSE(h.find("scanButton")->isVisible());
    EXPECT_FALSE(h.find("cleanButton")->isVisible());
    EXPECT_FALSE(h.find("tickedText")->isVisible());
    EXPECT_EQ(h.find<ClampedLabel>("progressLabel")->text(),
              QString::fromUtf8("63% \u00B7 estimating"));
    EXPECT_EQ(h.find<ClampedLabel>("summaryPlace")->text(),
              QString::fromUtf8("\u00B7 ~/Library/Caches"));
    EXPECT_TRUE(summary->toolTip().contains("/home/tester/Library/Caches"));

    // Unchecked figures from the engine never reach a conversion unclamped.
    h.engine.value.pct = std::nan("");
    h.engine.value.eta = 1e300;
    h.engine.value.place.clear();
    h.engine.announce();
    h.settle();
    EXPECT_EQ(h.find<ClampedLabel>("progressLabel")->text(),
              QString::fromUtf8("0% \u00B7 estimating"));
    EXPECT_FALSE(h.find("summaryPlace")->isVisible());
    EXPECT_TRUE(summary->toolTip().isEmpty());

    h.engine.value.pct = 120;
    h.engine.value.eta = 150;
    h.engine.announce();
    h.settle();
    EXPECT_EQ(h.find<ClampedLabel>("progressLabel")->text(),
              QString::fromUtf8("120% \u00B7 about 3 min left"));
}

}  // namespace
}  // namespace virirado
