// The clean path against an engine that answers late, wrongly or not at all:
// every click still asks, every wait has a way out, and the deletion log and
// the sheet say what happened.
#include <gtest/gtest.h>
#include <signal.h>

#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <cerrno>

#include "CapsuleButton.hpp"
#include "ClampedLabel.hpp"
#include "CleanProgressView.hpp"
#include "CleanupList.hpp"
#include "ConfirmSheet.hpp"
#include "EngineMarker.hpp"
#include "HostileWindow.hpp"
#include "MenuAnswer.hpp"
#include "OneRowClean.hpp"
#include "Settled.hpp"
#include "SheetKeys.hpp"

namespace virirado {
namespace {

namespace fs = std::filesystem;
using namespace testing::hostile;
using testing::kHangMs;

QString headline(ConfirmSheet* sheet) {
    return sheet->progressView()->findChild<ClampedLabel*>("headline")->text();
}
QString title(ConfirmSheet* sheet) {
    return sheet->progressView()->findChild<ClampedLabel*>("progressTitle")->text();
}

TEST(CleanPath, AClickAfterARefusedPreviewStillAsks) {
    // The engine drops the first request with "cancelled" and never answers the
    // second: every click on "Clean the tank" still reaches it.
    HostileWindow w([](const fs::path& home) {
        return twoItems(home, "on preview\nsay {\"event\":\"cancelled\",\"cmd\":\"preview\"}\n" +
                                  markerLine("1") +
                                  "on preview\nsay {\"event\":\"error\",\"message\":\"Busy.\"}\n" +
                                  markerLine("2") + "on preview\non preview\n" +
                                  previewOf(home, "late", {"a"}));
    });
    ASSERT_TRUE(w.scan());
    auto* clean = w.content->findChild<CapsuleButton*>("cleanButton");
    ASSERT_NE(clean, nullptr);
    for (int click = 1; click <= 4; ++click) {
        w.refresh();
        ASSERT_TRUE(clean->isEnabled()) << click;
        QTest::mouseClick(clean, Qt::LeftButton);
        ASSERT_TRUE(w.waitFor([&] { return w.sentCount("preview") == click; }, kHangMs)) << click;
        // The answers the engine gives are handled before the next click.
        if (click <= 2) {
            ASSERT_TRUE(markerTaken(w, std::to_string(click))) << click;
        }
    }
    ConfirmSheet* sheet = nullptr;
    ASSERT_TRUE(w.waitFor([&] { return (sheet = w.confirmSheet()) != nullptr; }, kHangMs))
        << w.state().banner.value_or("no banner");
    EXPECT_EQ(w.state().preview->token, "late");
}

TEST(CleanPath, AnEngineThatEndsMidRunLeavesItsRowsInTheLog) {
    ScratchRow d("vends");
    HostileWindow w(scanOf(d) + "on preview\n" + previewOfRow(d) + "on clean\n" + kStartD + kDoneD +
                    "exit 0\n");
    ASSERT_TRUE(w.scan());
    w.content->model().requestPreview();
    ConfirmSheet* sheet = confirmShownPreview(w);
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(finished(w));
    EXPECT_EQ(w.state().cleanProgress->error, "The engine stopped.");
    // Some of what was sent may be gone: the log says so rather than nothing.
    EXPECT_EQ(logLines(w.home, "unknown"), 1) << deletionLogs(w.home);
    EXPECT_NE(deletionLogs(w.home).find("\tunknown\t4096\trm\t" + d.folder.string() + "\n"),
              std::string::npos)
        << deletionLogs(w.home);
}

TEST(CleanPath, AnErrorThenTheResultFinishTheSheetAsTheBannerAndLogSay) {
    ScratchRow d("verror");
    HostileWindow w(scanOf(d) + "on preview\n" + previewOfRow(d) + "on clean\n" + kStartD +
                    "say {\"event\":\"error\",\"cmd\":\"clean\",\"message\":\"Disk hiccup.\"}\n"
                    "sleep 300\n" +
                    d.cleaned("", d.folder.string()) + markerLine("reported"));
    ASSERT_TRUE(w.scan());
    w.content->model().requestPreview();
    ConfirmSheet* sheet = confirmShownPreview(w);
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(markerTaken(w, "reported"));
    EXPECT_EQ(logLines(w.home, "deleted"), 1) << deletionLogs(w.home);
    w.refresh();
    EXPECT_EQ(w.state().banner, "Deleted 1 items. Log: ~/Library/Logs/Virirado/");
    EXPECT_EQ(title(sheet), "Done");
    EXPECT_EQ(headline(sheet), "Freed 4.1 KB \u00B7 1 deleted \u00B7 0 failed");
    EXPECT_FALSE(sheet->progressView()->findChild<QWidget*>("notTried")->isVisibleTo(sheet));
    EXPECT_EQ(w.row("d"), nullptr);
}

TEST(CleanPath, AQuitAskedTwiceEndsAnEngineThatNeverAnswers) {
    ScratchRow d("vhung");
    HostileWindow w(scanOf(d) + "on preview\n" + previewOfRow(d) + "on clean\n" + kStartD);
    ASSERT_TRUE(w.scan());
    w.content->model().requestPreview();
    ConfirmSheet* sheet = confirmShownPreview(w);
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(w.waitFor([&] {
        return w.state().cleanProgress.has_value() && w.state().cleanProgress->current.has_value();
    }));
    auto* line = sheet->progressView()->findChild<ClampedLabel*>("cantStop");
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->text(), "Can't stop mid-clean");

    // Asked once: the window stays, and says at once that it closes at the end.
    QTest::keyClick(sheet, Qt::Key_Q, Qt::ControlModifier);
    ASSERT_TRUE(w.waitFor(
        [&] { return line->text() == "Closes when done \u00B7 close again to stop now"; }, kHangMs))
        << line->text().toStdString();
    w.refresh();
    EXPECT_TRUE(w.window->isVisible());
    EXPECT_TRUE(w.client().engineRunning());
    EXPECT_EQ(deletionLogs(w.home), "");

    // Asked again: the engine is ended, its unreported row is logged, and the
    // window goes.
    const pid_t pid = std::stoi(readFile(w.root / "pid"));
    QTest::keyClick(sheet, Qt::Key_Q, Qt::ControlModifier);
    ASSERT_TRUE(w.waitFor([&] { return !w.window->isVisible(); }, kHangMs));
    EXPECT_FALSE(w.client().engineRunning());
    EXPECT_EQ(::kill(pid, 0), -1);
    EXPECT_EQ(errno, ESRCH);
    EXPECT_EQ(logLines(w.home, "unknown"), 1) << deletionLogs(w.home);
}

TEST(CleanPath, AnItemScannedAsCheckFirstAsksForTheCode) {
    // The scan lists it as "review"; the preview calls it "safe".
    ScratchRow d("vreview");
    std::string scanned = d.json;
    scanned.replace(scanned.find("\"safety\":\"safe\",\"action\":\"rm\""),
                    std::string("\"safety\":\"safe\",\"action\":\"rm\"").size(),
                    "\"safety\":\"review\",\"action\":\"trash\"");
    std::string proposed = scanned;
    proposed.replace(proposed.find("\"safety\":\"review\""), 17, "\"safety\":\"safe\"");
    HostileWindow w(volume("1000", "100000") +
                    "on scan\nsay {\"event\":\"item\",\"item\":" + scanned +
                    "}\nsay {\"event\":\"done\",\"free_bytes\":1000,\"total_bytes\":100000,"
                    "\"ticked\":[\"d\"]}\non preview\n" +
                    previewOfRow(d, proposed) + "on clean\n");
    ASSERT_TRUE(w.scan());
    expectTheCodeForTheTank(w);
}

TEST(CleanPath, AToolRowWithoutAPathIsHeldBack) {
    // The scan lists a folder removed for good; the preview hands it to a tool,
    // with no path to check.
    ScratchRow d("vtool");
    HostileWindow w(scanOf(d) + "on preview\n" +
                    previewOfRow(d,
                                 "{\"id\":\"d\",\"label\":\"dies\",\"action\":\"cmd\","
                                 "\"safety\":\"safe\",\"realistic_size\":4096}") +
                    "on clean\n");
    ASSERT_TRUE(w.scan());
    EXPECT_EQ(refusedPreview(w),
              "Held back 1: dies (not as scanned). Nothing deleted. Preview again.");
    EXPECT_EQ(logLines(w.home, "refused"), 1);
}

TEST(CleanPath, AResultLongerThanAnyReadIsTakenWhole) {
    // 70 MB on one line, past what the window once kept of a line.
    HostileWindow w(volume("1000", "100000") +
                    "on scan\npad 70000000 {\"event\":\"done\",\"free_bytes\":1000,"
                    "\"total_bytes\":100000,\"items\":[{\"id\":\"whole\",\"label\":\"whole\","
                    "\"category\":\"caches\",\"size\":10,\"safety\":\"safe\",\"action\":\"rm\","
                    "\"path\":\"/tmp/whole\"}]}\n");
    ASSERT_TRUE(w.scan());
    EXPECT_EQ(w.state().place, "done");
    EXPECT_NE(w.row("whole"), nullptr);
    EXPECT_FALSE(w.state().banner);
}

// The Menu key in the real window: the menu is the selected row's, wherever
// the pointer is, and its quick delete asks about that row and sends only it.
TEST(CleanPath, TheKeyboardsMenuQuickDeletesTheSelectedRow) {
    HostileWindow w([](const fs::path& home) { return twoItems(home, "on preview\n"); });
    ASSERT_TRUE(w.scan());
    w.refresh();
    auto* list = w.content->findChild<CleanupList*>("cleanupList");
    ASSERT_NE(list, nullptr);
    QApplication::setActiveWindow(w.window.get());
    list->setFocus(Qt::TabFocusReason);
    w.content->model().select("group:caches");
    w.refresh();
    while (w.content->model().selection() != std::optional<std::string>("b") && list->hasFocus())
        QTest::keyClick(list, Qt::Key_Down);
    ASSERT_EQ(w.content->model().selection(), std::optional<std::string>("b"));

    testing::MenuAnswer menu;
    menu.arm(QStringLiteral("Quick Delete\u2026"));
    // What the X11 platform makes of the Menu key: a menu event from the keys
    // for the window, at the pointer, which Qt hands to the widget with the keys.
    const QPoint pointer = w.window->rect().center();
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, pointer, w.window->mapToGlobal(pointer));
    QCoreApplication::sendEvent(w.window->windowHandle(), &menuKey);
    w.refresh();
    ASSERT_TRUE(menu.shown);
    SheetDialog* first = w.content->sheets().current();
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(first->objectName(), "quickDeleteFirstSheet");
    EXPECT_EQ(first->findChild<ClampedLabel*>("name")->text(), "item b");

    ASSERT_TRUE(virirado::testing::activateSheet(first));
    QTest::keyClick(first, Qt::Key_Return);
    ASSERT_TRUE(w.waitFor([&] { return w.sentCount("preview") == 1; }, kHangMs));
    const std::string asked = w.sent().back();
    EXPECT_NE(asked.find("\"ids\":[\"b\"]"), std::string::npos) << asked;
}

}  // namespace
}  // namespace virirado
