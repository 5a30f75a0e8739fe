// The progress and result view inside the confirmation sheet, driven by the
// recording engine's clean progress and the harness's fixed clock.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QScrollArea>
#include <QTest>
#include <filesystem>

#include "AccessRecorder.hpp"
#include "CapsuleButton.hpp"
#include "ClampedLabel.hpp"
#include "CleanBar.hpp"
#include "CleanProgressView.hpp"
#include "ConfirmSheet.hpp"
#include "FailureList.hpp"
#include "FocusRing.hpp"
#include "Settled.hpp"
#include "SheetHost.hpp"
#include "SheetKeys.hpp"
#include "SheetTesting.hpp"
#include "WindowHarness.hpp"

namespace virirado {
namespace {

using testing::kHangMs;

using durozizo::CleanProgress;
using testing::WindowHarness;
namespace fs = std::filesystem;

CleanProgress::Clock::time_point at(double seconds) {
    using namespace std::chrono;
    return CleanProgress::Clock::time_point(
        duration_cast<CleanProgress::Clock::duration>(duration<double>(seconds)));
}

// A preview of one safe row "pip" of 100 bytes, cleaned by `action`.
PreviewPayload pipPreview(const std::string& action) {
    PreviewPayload p;
    p.token = "t";
    PreviewRow row;
    row.id = row.label = "pip";
    row.realisticSize = 100;
    row.safety = "safe";
    row.action = action;
    p.rows = {row};
    return p;
}

struct View {
    WindowHarness& h;
    CleanProgressView* view = nullptr;

    explicit View(WindowHarness& harness) : h(harness) {
        h.engine.value.preview = pipPreview("trash");
        h.engine.announce();
        h.settle();
        auto* sheet = qobject_cast<ConfirmSheet*>(h.content->sheets().current());
        if (sheet == nullptr) {
            ADD_FAILURE() << "no confirmation sheet";
            return;
        }
        view = sheet->progressView();
    }
    void set(const CleanProgress& p) {
        h.engine.value.cleanProgress = p;
        h.engine.announce();
        h.settle();
    }
    QString text(const char* name) const {
        auto* label = view->findChild<ClampedLabel*>(name);
        return label != nullptr && label->isVisible() ? label->text() : QString();
    }
    bool shown(const char* name) const {
        auto* w = view->findChild<QWidget*>(name);
        return w != nullptr && w->isVisible();
    }
};

TEST(CleanProgressView, ElapsedTicksEachSecondUntilTheRunEnds) {
    WindowHarness h;  // reduce motion on: the elapsed time is text, it ticks all the same
    h.show();
    View v(h);
    ASSERT_NE(v.view, nullptr);
    CleanProgress p(3, 300, false, at(h.clock.now() - 14));
    v.set(p);
    EXPECT_TRUE(v.view->isVisible());
    EXPECT_EQ(v.text("progressTitle"), "Checking\u2026");
    EXPECT_EQ(v.text("elapsed"), "0:14");
    EXPECT_EQ(v.text("current"), "Re-checking each item");
    EXPECT_TRUE(v.shown("cantStop"));
    EXPECT_FALSE(v.shown("doneButton"));
    EXPECT_FALSE(v.shown("showLogButton"));
    EXPECT_TRUE(v.shown("livePill"));
    EXPECT_FALSE(v.view->findChild<CleanBar*>()->value().has_value());

    h.clock.set(h.clock.now() + 61, h.clock.frameTime() + 61);
    EXPECT_TRUE(QTest::qWaitFor([&] { return v.text("elapsed") == "1:15"; }, kHangMs));

    p.finish({{"pip", 100, true, ""}});
    v.set(p);
    EXPECT_FALSE(v.shown("elapsed"));
    h.clock.set(h.clock.now() + 5, h.clock.frameTime() + 5);
    // Nothing is left to tick the time on.
    EXPECT_TRUE(testing::noTimerRuns(v.view));
    EXPECT_EQ(v.view->findChild<ClampedLabel*>("elapsed")->text(), "1:15");
}

// The room between the bottom of `widget` and the bottom of its sheet.
int roomBelow(const QWidget* widget) {
    const QWidget* sheet = widget->window();
    return sheet->height() - widget->mapTo(sheet, QPoint(0, widget->height())).y();
}

TEST(CleanProgressView, TheSheetIsAtLeast190HighAndGrowsWithItsContent) {
    WindowHarness h;
    h.show();
    // The sheet opens straight into a finished dry run: a title, a headline, Done.
    const PreviewPayload p = pipPreview("rm");
    CleanProgress done(1, 100, true, at(h.clock.now()));
    done.startDeleting();
    done.finish({{"pip", 100, true, ""}});
    h.engine.value.preview = p;
    h.engine.value.cleanProgress = done;
    h.engine.announce();
    h.settle();
    auto* sheet = qobject_cast<ConfirmSheet*>(h.content->sheets().current());
    ASSERT_NE(sheet, nullptr);
    QWidget* doneButton = sheet->findChild<QWidget*>("doneButton");
    ASSERT_TRUE(doneButton != nullptr && doneButton->isVisible());
    // Less than fills 190 points: the sheet keeps them, and the room left goes
    // above the buttons, which stay on the sheet's 22-point margin.
    EXPECT_EQ(sheet->height(), 190);
    EXPECT_EQ(roomBelow(doneButton), 22);

    // Running, the same least height.
    CleanProgress running(4, 400, false, at(h.clock.now()));
    running.startDeleting();
    h.engine.value.cleanProgress = running;
    h.engine.announce();
    h.settle();
    QWidget* cantStop = sheet->findChild<QWidget*>("cantStop");
    ASSERT_TRUE(cantStop != nullptr && cantStop->isVisible());
    EXPECT_EQ(sheet->height(), 190);
    EXPECT_LE(roomBelow(cantStop), 22 + 8);

    // A result taller than that makes the sheet as high as what it shows, with
    // only the column's spacing between the failure list and the buttons.
    std::vector<CleanProgress::Result> failed;
    for (int i = 0; i < 7; ++i)
        failed.push_back({"item " + std::to_string(i), 1, false, "denied"});
    CleanProgress lots(7, 7, false, at(h.clock.now()));
    lots.finish(failed);
    h.engine.value.cleanProgress = lots;
    h.engine.announce();
    h.settle();
    EXPECT_GT(sheet->height(), 190);
    EXPECT_EQ(roomBelow(doneButton), 22);
    QWidget* failures = sheet->progressView()->findChild<QWidget*>("failurePanel");
    ASSERT_TRUE(failures != nullptr && failures->isVisible());
    EXPECT_LE(doneButton->mapTo(sheet, QPoint()).y() -
                  failures->mapTo(sheet, QPoint(0, failures->height())).y(),
              12 + 12);
}

TEST(CleanProgressView, RunningCountsAndBar) {
    WindowHarness h;
    h.show();
    View v(h);
    ASSERT_NE(v.view, nullptr);
    CleanProgress p(4, 0, false, at(h.clock.now()));
    p.startDeleting();
    p.itemFinished("a", 0, true, "");
    v.set(p);
    EXPECT_EQ(v.text("progressTitle"), "Deleting\u2026");
    EXPECT_DOUBLE_EQ(v.view->findChild<CleanBar*>()->value().value_or(-1), 0.25);
    EXPECT_EQ(v.text("counts"), "1 of 4 \u00B7 0 B of 0 B");
    EXPECT_EQ(v.text("current"), " ");

    CleanProgress last(3, 3000, false, at(h.clock.now()));
    for (const char* name : {"a", "b", "c"})
        last.itemFinished(name, 1000, true, "");
    last.current = "c";
    v.set(last);
    EXPECT_EQ(v.text("counts"), "3 of 3 \u00B7 3.0 KB of 3.0 KB");
    EXPECT_EQ(v.text("current"), "c");
}

TEST(CleanProgressView, ResultLinesAndFailureList) {
    WindowHarness h;
    h.show();
    View v(h);
    ASSERT_NE(v.view, nullptr);
    CleanProgress p(4, 400, false, at(h.clock.now()));
    p.finish({{"pip", 100, true, ""}, {"<b>npm</b>", 100, false, "in use"}});
    v.set(p);
    EXPECT_EQ(v.text("progressTitle"), "Done");
    EXPECT_EQ(v.text("headline"), "Freed 100 B \u00B7 1 deleted \u00B7 1 failed");
    EXPECT_EQ(v.text("trashNote"), "Empty the Trash to free what went there.");
    EXPECT_EQ(v.text("notTried"), "2 not tried");
    EXPECT_FALSE(v.shown("error"));
    EXPECT_TRUE(v.shown("doneButton"));
    EXPECT_TRUE(v.shown("showLogButton"));
    EXPECT_FALSE(v.shown("cantStop"));
    EXPECT_EQ(v.view->findChild<QScrollArea*>("failureScroll")->height(), 26);

    std::vector<CleanProgress::Result> many;
    for (int i = 0; i < 7; ++i)
        many.push_back({"item " + std::to_string(i), 1, false, "denied"});
    CleanProgress lots(7, 7, false, at(h.clock.now()));
    lots.finish(many);
    v.set(lots);
    EXPECT_EQ(v.view->findChild<QScrollArea*>("failureScroll")->height(), 110);
    EXPECT_FALSE(v.shown("trashNote"));  // nothing was deleted

    CleanProgress stopped(2, 20, true, at(h.clock.now()));
    stopped.fail("The engine stopped.");
    v.set(stopped);
    EXPECT_EQ(v.text("progressTitle"), "Stopped");
    EXPECT_EQ(v.text("error"), "The engine stopped.");
    EXPECT_EQ(v.text("headline"), "Would free 0 B \u00B7 0 items");
    EXPECT_FALSE(v.shown("livePill"));
    EXPECT_FALSE(v.shown("showLogButton"));
    EXPECT_FALSE(v.shown("failurePanel"));
}

// Nothing a key does tells a reader how a run goes, so the sheet says it: the
// phase as it changes, then the whole result, with the keys brought to Done.
// The sheet is named by its title all along, and the result's lines and
// failures are elements a reader finds.
TEST(CleanProgressView, AReaderHearsTheRunAndItsResult) {
    if (!testing::AccessRecorder::canListen()) GTEST_SKIP() << "built without Qt's private headers";
    WindowHarness h;
    h.show();
    View v(h);
    ASSERT_NE(v.view, nullptr);
    QWidget* sheet = v.view->window();
    ASSERT_TRUE(testing::activateSheet(sheet));
    testing::AccessRecorder tool;
    const auto name = [](QObject* o) {
        return QAccessible::queryAccessibleInterface(o)->text(QAccessible::Name).toStdString();
    };
    const auto announced = [&] { return tool.announced(); };
    EXPECT_EQ(name(sheet), "Delete for real");

    CleanProgress p(3, 300, false, at(h.clock.now()));
    v.set(p);
    EXPECT_EQ(name(sheet), "Checking\u2026");
    p.startDeleting();
    v.set(p);
    // What the running part shows is found while it runs; the result part, read
    // hidden now, will be a new element when it shows.
    QWidget* result = v.view->findChild<QWidget*>("resultPart");
    const QAccessible::Id hiddenResult =
        QAccessible::uniqueId(QAccessible::queryAccessibleInterface(result));
    p.itemFinished("pip", 100, true, "");
    p.current = "npm";
    v.set(p);
    EXPECT_EQ(v.text("counts"), "2 of 3 \u00B7 100 B of 300 B");
    EXPECT_EQ(announced(), (std::vector<std::string>{"Checking\u2026", "Deleting\u2026"}));

    p.finish({{"pip", 100, true, ""}, {"npm", 100, false, "in use"}});
    v.set(p);
    EXPECT_EQ(name(sheet), "Done");
    EXPECT_EQ(announced().back(),
              "Done. Freed 100 B \u00B7 1 deleted \u00B7 1 failed. Empty the Trash to free what "
              "went there. 1 not tried");
    EXPECT_EQ(announced().size(), 3u);
    QWidget* done = v.view->findChild<QWidget*>("doneButton");
    EXPECT_EQ(QApplication::focusWidget(), done);
    EXPECT_FALSE(showsFocusRing(done));
    QAccessibleInterface* shown = QAccessible::queryAccessibleInterface(result);
    EXPECT_NE(QAccessible::uniqueId(shown), hiddenResult);
    EXPECT_FALSE(shown->state().invisible);
    EXPECT_EQ(testing::tabWalk(),
              (std::vector<std::string>{"doneButton", "failureList", "showLogButton"}));

    QAccessibleInterface* failures =
        QAccessible::queryAccessibleInterface(v.view->findChild<FailureList*>());
    EXPECT_EQ(failures->role(), QAccessible::List);
    ASSERT_EQ(failures->childCount(), 1);
    EXPECT_EQ(failures->child(0)->role(), QAccessible::ListItem);
    EXPECT_EQ(failures->child(0)->text(QAccessible::Name), "npm, in use");
}

TEST(CleanProgressView, ShowLogOpensTheLogFolderOnly) {
    const fs::path home = fs::temp_directory_path() / ("vlog-" + std::to_string(::getpid()));
    fs::remove_all(home);
    fs::create_directories(home);
    WindowHarness h([&](WindowServices& s) { s.home = home.string(); });
    h.show();
    View v(h);
    ASSERT_NE(v.view, nullptr);
    std::vector<QString> opened;
    v.view->setFolderOpener([&](const QString& folder) { opened.push_back(folder); });
    CleanProgress p(1, 100, false, at(h.clock.now()));
    p.finish({{"pip", 100, true, ""}});
    v.set(p);
    auto* button = v.view->findChild<CapsuleButton*>("showLogButton");
    ASSERT_TRUE(button->isVisible());

    QTest::mouseClick(button, Qt::LeftButton);  // no folder yet: nothing to open
    EXPECT_TRUE(opened.empty());

    fs::create_directories(home / "elsewhere");
    fs::create_directories(home / "Library/Logs");
    fs::create_directory_symlink(home / "elsewhere", home / "Library/Logs/Virirado");
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(opened.empty());

    fs::remove(home / "Library/Logs/Virirado");
    fs::create_directories(home / "Library/Logs/Virirado");
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QString::fromStdString((home / "Library/Logs/Virirado").string()));
    EXPECT_EQ(std::count(h.engine.calls.begin(), h.engine.calls.end(), "dismiss"), 0);

    QTest::mouseClick(v.view->findChild<CapsuleButton*>("doneButton"), Qt::LeftButton);
    EXPECT_EQ(std::count(h.engine.calls.begin(), h.engine.calls.end(), "dismiss"), 1);
    fs::remove_all(home);
}

// A result with every optional line, in both schemes, for the eye.
TEST(CleanProgressView, BusyResultInBothSchemes) {
    testing::useAppFonts();
    for (bool dark : {false, true}) {
        WindowHarness h([dark](WindowServices& s) { s.dark = dark; });
        h.show();
        View v(h);
        ASSERT_NE(v.view, nullptr);
        CleanProgress p(9, 900, false, at(h.clock.now()));
        p.startDeleting();
        p.itemFinished("pip", 100, true, "");
        for (int i = 0; i < 6; ++i)
            p.itemFinished("<i>item</i> & a long label number " + std::to_string(i), 10, false,
                           "Operation not permitted");
        p.fail("The engine stopped.");
        v.set(p);
        EXPECT_EQ(v.text("error"), "The engine stopped.");
        EXPECT_EQ(v.text("notTried"), "2 not tried");
        EXPECT_EQ(v.text("trashNote"), "Empty the Trash to free what went there.");
        EXPECT_EQ(v.view->findChild<QScrollArea*>("failureScroll")->height(), 110);
        testing::savePicture(h.content->sheets().current(), "result-busy", dark);
    }
}

}  // namespace
}  // namespace virirado
