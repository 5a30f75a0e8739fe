// Closing and quitting a live window: Ctrl+Q, the close button and the sheet's
// close, with a clean under way and without.
#include <gtest/gtest.h>

#include <QTest>
#include <algorithm>

#include "ClampedLabel.hpp"
#include "Settled.hpp"
#include "SheetHost.hpp"
#include "WindowHarness.hpp"

namespace virirado {
namespace {

using testing::WindowHarness;

// Still shown once what the step left for the event loop has run: a close
// that was waiting happens in the next turn.
bool stillShown(QWidget* w) {
    testing::nextTurnDone();
    return w->isVisible();
}

bool closes(QWidget* w) {
    return QTest::qWaitFor([w] { return !w->isVisible(); }, testing::kHangMs);
}

TEST(Quit, CtrlQClosesTheWindowAsTheCloseButtonDoes) {
    WindowHarness h;
    h.show();
    QTest::keyClick(h.window.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_TRUE(closes(h.window.get()));
}

// A sheet up over a clean being re-checked.
SheetDialog* cleanUnderWay(WindowHarness& h) {
    h.show();
    h.loadDemo();
    EngineState& state = h.engine.value;
    state.preview = PreviewPayload{"t1", {}, 0, 0};
    state.verifying = true;
    state.cleanProgress.emplace(1, 10, false, durozizo::CleanProgress::Clock::now());
    h.engine.announce();
    h.settle();
    return h.content->sheets().current();
}

QString stopLine(SheetDialog* sheet) {
    return sheet->findChild<ClampedLabel*>("cantStop")->text();
}

TEST(Quit, ARunningCleanIsNeverCutShort) {
    WindowHarness h;
    SheetDialog* sheet = cleanUnderWay(h);
    ASSERT_NE(sheet, nullptr);
    EngineState& state = h.engine.value;
    EXPECT_EQ(stopLine(sheet), "Can't stop mid-clean");

    // The close button does not end the app during the re-check or the clean,
    // and the sheet says at once that it will.
    EXPECT_FALSE(h.window->close());
    EXPECT_TRUE(stillShown(h.window.get()));
    h.settle();
    EXPECT_EQ(stopLine(sheet), "Closes when done \u00B7 close again to stop now");
    state.verifying = false;
    state.cleanProgress->startDeleting();
    h.engine.announce();
    h.settle();
    EXPECT_TRUE(stillShown(h.window.get()));

    // The result comes: the window closes as it was asked to.
    state.cleanProgress->finish({{"npm cache", 10, true, ""}});
    h.engine.announce();
    h.settle();
    EXPECT_TRUE(closes(h.window.get()));
    EXPECT_EQ(std::count(h.engine.calls.begin(), h.engine.calls.end(), "end engine"), 0);
}

TEST(Quit, AskedAgainDuringACleanEndsTheEngineAndCloses) {
    // An engine that never answers its clean must not hold the window.
    WindowHarness h;
    SheetDialog* sheet = cleanUnderWay(h);
    ASSERT_NE(sheet, nullptr);
    QTest::keyClick(sheet, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_TRUE(stillShown(h.window.get()));
    EXPECT_EQ(std::count(h.engine.calls.begin(), h.engine.calls.end(), "end engine"), 0);
    QTest::keyClick(sheet, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_TRUE(closes(h.window.get()));
    EXPECT_EQ(h.engine.calls.back(), "end engine");
}

TEST(Quit, TheSheetsCloseButtonDuringACleanIsTheWindowsClose) {
    // A mouse user's way out of a clean that never ends.
    WindowHarness h;
    SheetDialog* sheet = cleanUnderWay(h);
    ASSERT_NE(sheet, nullptr);
    auto count = [&](const char* call) {
        return std::count(h.engine.calls.begin(), h.engine.calls.end(), call);
    };
    // Escape still only backs out, which a running clean ignores.
    QTest::keyClick(sheet, Qt::Key_Escape);
    h.settle();
    EXPECT_EQ(stopLine(sheet), "Can't stop mid-clean");

    EXPECT_FALSE(sheet->close());
    EXPECT_TRUE(stillShown(h.window.get()));
    h.settle();
    EXPECT_EQ(stopLine(sheet), "Closes when done \u00B7 close again to stop now");
    EXPECT_EQ(count("end engine"), 0);
    EXPECT_EQ(count("dismiss"), 0);

    sheet->close();
    EXPECT_TRUE(closes(h.window.get()));
    EXPECT_EQ(count("end engine"), 1);
    EXPECT_EQ(count("dismiss"), 0);
}

TEST(Quit, CtrlQOnASheetQuitsWhenNoCleanRuns) {
    WindowHarness h;
    h.show();
    h.loadDemo();
    h.engine.value.preview = PreviewPayload{"t2", {}, 0, 0};
    h.engine.announce();
    h.settle();
    SheetDialog* sheet = h.content->sheets().current();
    ASSERT_NE(sheet, nullptr);
    QTest::keyClick(sheet, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_TRUE(closes(h.window.get()));
}

}  // namespace
}  // namespace virirado
