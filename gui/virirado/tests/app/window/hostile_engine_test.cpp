// The window against a cleaning engine that misbehaves: floods, numbers far out
// of range, markup and control characters in names, events out of order, rows
// that vanish, an engine that dies mid-clean. The window stays up, shows engine
// text as text, keeps its figures in range, and sends a clean only when the user
// confirmed one.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QTextDocument>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ClampedLabel.hpp"
#include "CleanProgressView.hpp"
#include "ConfirmSheet.hpp"
#include "EngineMarker.hpp"
#include "HostileWindow.hpp"
#include "PlainText.hpp"
#include "SheetHost.hpp"
#include "SheetKeys.hpp"

namespace virirado {
namespace {

namespace fs = std::filesystem;
using namespace testing::hostile;
using testing::kHangMs;

TEST(HostileEngine, TenThousandItemsAndAFloodOfProgress) {
    HostileWindow w(
        volume("1000000000", "500000000000") +
        "on scan\n"
        "flood 20000 {\"event\":\"progress\",\"pct\":{i},\"eta_s\":3,\"place\":\"/p/{i}\"}\n"
        "items 10000\n"
        "say {\"event\":\"done\",\"free_bytes\":1000000000,\"total_bytes\":500000000000}\n");
    ASSERT_TRUE(w.scan());
    EXPECT_EQ(w.object->client().records().size(), 10000u);
    w.refresh();
    EXPECT_EQ(w.content->model().rows()->rows.size(), 10000u);
    // The percent the engine sent was far past 100; the window keeps it in range.
    EXPECT_LE(w.state().pct, 100.0);
    EXPECT_EQ(w.cleansSent(), 0);
}

TEST(HostileEngine, NumbersFarOutOfRange) {
    HostileWindow w(
        volume("-7", "1e300") +
        "on scan\n"
        "say {\"event\":\"progress\",\"pct\":1e300,\"eta_s\":1e300,\"place\":\"/x\"}\n"
        "say {\"event\":\"progress\",\"pct\":-1e300,\"eta_s\":-1e300}\n"
        "say {\"event\":\"progress\",\"pct\":1e999,\"eta_s\":-1e999}\n"
        "say "
        "{\"event\":\"item\",\"item\":{\"id\":\"huge\",\"label\":\"huge\",\"category\":\"caches\","
        "\"size\":1e300,\"realistic_size\":1.7e308,\"file_count\":-5,\"safety\":\"safe\","
        "\"action\":\"rm\","
        "\"modified\":1e300,\"path\":\"/x/huge\"}}\n"
        "say "
        "{\"event\":\"item\",\"item\":{\"id\":\"neg\",\"label\":\"neg\",\"category\":\"caches\","
        "\"size\":-9e18,\"realistic_size\":-1,\"ticked\":true,\"safety\":\"safe\",\"action\":"
        "\"rm\"}}\n"
        "say {\"event\":\"item\",\"item\":{\"id\":\"big\",\"label\":\"big\",\"category\":\"logs\","
        "\"size\":9223372036854775807,\"realistic_size\":9223372036854775807,\"ticked\":true,"
        "\"safety\":\"safe\",\"action\":\"trash\"}}\n"
        "say {\"event\":\"done\",\"free_bytes\":-1e300,\"total_bytes\":1e300}\n");
    ASSERT_TRUE(w.scan());
    w.refresh();
    w.content->model().setMapExpanded(true);
    w.content->model().select("huge");
    w.refresh();
    w.content->model().setQuery("size:>1");
    w.refresh();
    const WindowView view = w.content->model().view();
    EXPECT_GE(view.totals.tickedBack, 0);
    EXPECT_GE(view.otherBytes, 0);
    for (const VadePiece& piece : view.pieces) {
        EXPECT_GE(piece.weight, 0) << piece.id;
        EXPECT_GE(piece.listed, 0) << piece.id;
    }
    EXPECT_TRUE(w.window->isVisible());
}

TEST(HostileEngine, MarkupAndControlCharactersStayText) {
    const std::string name = "<b>bold</b> & <img src=x> \\u202Eevil\\u0007\\u0000end";
    HostileWindow w(volume("1000", "100000") +
                    "on scan\n"
                    "say {\"event\":\"item\",\"item\":{\"id\":\"m\",\"label\":\"" +
                    name +
                    "\",\"category\":\"<b>cat</b>\",\"path\":\"/tmp/<b>p</b>\",\"size\":10,"
                    "\"why\":\"<b>why</b>\",\"note\":\"<b>note</b>\",\"safety\":\"safe\","
                    "\"action\":\"rm\",\"explain\":{\"what\":\"<b>what</b>\"}}}\n"
                    "say {\"event\":\"done\",\"free_bytes\":1000,\"total_bytes\":100000}\n"
                    "say {\"event\":\"error\",\"message\":\"<b>err</b> <a href=x>link</a>\"}\n");
    ASSERT_TRUE(w.scan());
    ASSERT_TRUE(w.waitFor([&] { return w.state().banner.has_value(); }, kHangMs));
    w.content->model().select("m");
    w.refresh();
    const int shown = w.expectPlainText("<b>");
    w.content->model().select("group:<b>cat</b>");
    w.refresh();
    // The names, path, reasons and message reached labels and tips, as text.
    EXPECT_GE(shown + w.expectPlainText("<b>"), 3);
    // A direction override would show "evil" as "live": it is shown as a mark.
    EXPECT_EQ(w.expectPlainText(QStringLiteral("\u202E")), 0);
    EXPECT_GE(w.expectPlainText(QStringLiteral("\uFFFDevil")), 1);
}

TEST(HostileEngine, EventsOutOfOrderNeverLeadToAClean) {
    HostileWindow w(
        "say {\"event\":\"clean\",\"dry_run\":false,\"clean_count\":3,\"results\":[]}\n"
        "say {\"event\":\"clean_progress\",\"phase\":\"start\",\"label\":\"x\"}\n"
        "say "
        "{\"event\":\"preview\",\"confirm_token\":\"t\",\"items\":[{\"id\":\"a\",\"label\":\"a\","
        "\"realistic_size\":5,\"safety\":\"safe\",\"action\":\"rm\"}]}\n"
        "say "
        "{\"event\":\"selection\",\"ticked\":[\"nobody\"],\"rejected\":[{\"reason\":\"<i>no</"
        "i>\"}]}\n"
        "say "
        "{\"event\":\"done\",\"items\":[{\"id\":\"a\",\"label\":\"a\",\"size\":5,\"safety\":"
        "\"safe\"}],"
        "\"free_bytes\":10,\"total_bytes\":100}\n"
        "say {\"event\":\"cancelled\"}\n"
        "say {\"event\":\"scanner_error\",\"message\":\"broken\"}\n"
        "on scan\n"
        "say "
        "{\"event\":\"preview\",\"confirm_token\":\"u\",\"items\":[{\"id\":\"a\",\"label\":\"a\","
        "\"realistic_size\":5,\"safety\":\"safe\",\"action\":\"rm\",\"path\":\"/nonexistent/"
        "a\"}]}\n"
        "say "
        "{\"event\":\"done\",\"items\":[{\"id\":\"a\",\"label\":\"a\",\"size\":5,\"safety\":"
        "\"safe\"}],"
        "\"free_bytes\":10,\"total_bytes\":100}\n" +
        kRoundTrip);
    ASSERT_TRUE(w.waitFor([&] { return w.object->client().engineRunning(); }, kHangMs));
    w.refresh();
    ASSERT_TRUE(w.scan());
    // Every line taken, and every command the window sent read.
    ASSERT_TRUE(roundTrip(w));
    w.refresh();
    EXPECT_TRUE(w.window->isVisible());
    EXPECT_EQ(w.cleansSent(), 0);
}

TEST(HostileEngine, APreviewWhoseRowsVanishedIsHeldBack) {
    const fs::path gone = fs::temp_directory_path() / ("vgone-" + std::to_string(::getpid()));
    fs::create_directories(gone / "data");
    const std::string item =
        "{\"id\":\"g\",\"label\":\"gone\",\"category\":\"caches\",\"path\":\"" + gone.string() +
        "\",\"size\":100,\"safety\":\"safe\",\"action\":\"rm\"}";
    HostileWindow w(
        volume("1000", "100000") + "on scan\nsay {\"event\":\"item\",\"item\":" + item +
        "}\nsay {\"event\":\"done\",\"free_bytes\":1000,\"total_bytes\":100000}\n"
        "on preview\n"
        "say {\"event\":\"preview\",\"confirm_token\":\"tok\",\"clean_bytes\":100,\"items\":[{"
        "\"id\":\"g\",\"label\":\"gone\",\"path\":\"" +
        gone.string() + "\",\"realistic_size\":100,\"safety\":\"safe\",\"action\":\"rm\"}]}\n" +
        kRoundTrip);
    ASSERT_TRUE(w.scan());
    w.content->model().toggle(*w.content->model().rows()->find("g"));
    fs::remove_all(gone);
    w.content->model().requestPreview();
    ASSERT_TRUE(w.waitFor([&] { return w.state().banner.has_value(); }, kHangMs));
    w.refresh();
    EXPECT_FALSE(w.state().preview);
    EXPECT_EQ(w.content->sheets().current(), nullptr);
    w.content->model().confirmClean(PreviewPayload{});
    EXPECT_FALSE(w.state().verifying);
    EXPECT_FALSE(w.state().cleanProgress);
    ASSERT_TRUE(roundTrip(w));
    EXPECT_EQ(w.cleansSent(), 0);
}

TEST(HostileEngine, AnEngineThatDiesMidCleanStopsTheRun) {
    const fs::path folder = fs::temp_directory_path() / ("vdies-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    std::ofstream(folder / "f") << "x";
    const std::string row = "{\"id\":\"d\",\"label\":\"dies\",\"category\":\"caches\",\"path\":\"" +
                            folder.string() +
                            "\",\"size\":4096,\"realistic_size\":4096,"
                            "\"safety\":\"safe\",\"action\":\"rm\"}";
    HostileWindow w(volume("1000", "100000") + "on scan\nsay {\"event\":\"item\",\"item\":" + row +
                    "}\nsay {\"event\":\"done\",\"free_bytes\":1000,\"total_bytes\":100000}\n"
                    "on preview\nsay {\"event\":\"preview\",\"confirm_token\":\"tok\",\"items\":[" +
                    row +
                    "]}\non clean\n"
                    "say {\"event\":\"clean_progress\",\"phase\":\"start\",\"label\":\"dies\"}\n"
                    "die\n");
    ASSERT_TRUE(w.scan());
    w.content->model().toggle(*w.content->model().rows()->find("d"));
    w.content->model().requestPreview();
    ASSERT_TRUE(w.waitFor([&] { return w.content->sheets().current() != nullptr; }, kHangMs))
        << w.state().banner.value_or("no banner");
    auto* sheet = qobject_cast<ConfirmSheet*>(w.content->sheets().current());
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(w.cleansSent(), 0);
    ASSERT_TRUE(virirado::testing::activateSheet(sheet));
    QTest::keyClick(sheet, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(w.waitFor([&] {
        const auto& run = w.state().cleanProgress;
        return run && !run->isRunning();
    }));
    EXPECT_EQ(w.cleansSent(), 1);
    EXPECT_EQ(w.state().cleanProgress->error.value_or(""), "The engine stopped.");
    w.refresh();
    EXPECT_TRUE(w.window->isVisible());
    fs::remove_all(folder);
}

TEST(HostileEngine, ACleanReportIsTakenByNameAndOnlyForRowsSent) {
    ScratchRow d("vbyname");
    const std::string forged =
        "say {\"event\":\"clean\",\"dry_run\":false,\"clean_count\":3,\"results\":["
        "{\"id\":\"d\",\"label\":\"etc\",\"path\":\"/etc\",\"deleted\":true,\"ok\":true},"
        "{\"id\":\"r\",\"label\":\"root\",\"path\":\"/\",\"deleted\":true,\"ok\":true},"
        "{\"id\":\"s\",\"label\":\"ssh\",\"path\":\"~/.ssh\",\"deleted\":true,\"ok\":"
        "true}]}\n";
    // The answer names the engine's own run, and also reports a row never sent.
    const std::string answer =
        "say {\"event\":\"clean\",\"id\":\"run-7\",\"dry_run\":false,\"clean_count\":2,"
        "\"results\":[{\"id\":\"d\",\"label\":\"dies\",\"path\":\"" +
        d.folder.string() +
        "\",\"realistic_size\":4096,\"deleted\":true,\"ok\":true},{\"id\":\"zz\",\"path\":"
        "\"~/Documents\",\"deleted\":true,\"ok\":true,\"realistic_size\":999999999}]}\n";
    HostileWindow w(
        volume("1000", "100000") + "on scan\nsay {\"event\":\"item\",\"item\":" + d.json +
        "}\nsay {\"event\":\"done\",\"free_bytes\":1000,\"total_bytes\":100000}\n" + forged +
        "on preview\nsay {\"event\":\"preview\",\"confirm_token\":\"tok\","
        "\"items\":[" +
        d.json + "]}\non clean\nsleep 300\n" + answer);
    ASSERT_TRUE(w.scan());
    // A line reaches the traffic log once it has been handled.
    ASSERT_TRUE(w.waitFor([&] {
        return readFile(w.home / "Library/Logs/Virirado/gui-engine.log").find("~/.ssh") !=
               std::string::npos;
    }));
    w.refresh();
    // With no clean out, the report stands in the traffic log, and nowhere else.
    EXPECT_EQ(deletionLogs(w.home), "");
    EXPECT_FALSE(w.state().banner) << *w.state().banner;
    ASSERT_NE(w.row("d"), nullptr);

    w.content->model().toggle(*w.row("d"));
    w.content->model().requestPreview();
    ConfirmSheet* sheet = confirmShownPreview(w);
    ASSERT_NE(sheet, nullptr);
    // The run ends on its report, whatever the report calls itself.
    ASSERT_TRUE(finished(w));
    EXPECT_EQ(w.cleansSent(), 1);
    // One line, for the folder that was sent; the row never sent counts nowhere.
    const std::string logged = deletionLogs(w.home);
    EXPECT_EQ(std::count(logged.begin(), logged.end(), '\n'), 1) << logged;
    EXPECT_NE(logged.find("\tdeleted\t4096\t" + d.folder.string() + "\t"), std::string::npos)
        << logged;
    EXPECT_EQ(w.state().banner, "Deleted 1 items. Log: ~/Library/Logs/Virirado/");
    w.refresh();
    EXPECT_EQ(sheet->progressView()->findChild<ClampedLabel*>("headline")->text(),
              "Freed 4.1 KB \u00B7 1 deleted \u00B7 0 failed");
    EXPECT_EQ(w.row("d"), nullptr);
}

TEST(HostileEngine, APreviewDuringACleanLeavesTheRunItsSheet) {
    ScratchRow d("vduring");
    const std::string scan = "on scan\nsay {\"event\":\"item\",\"item\":" + d.json +
                             "}\nsay {\"event\":\"done\",\"free_bytes\":1000,\"total_bytes\":"
                             "100000,\"ticked\":[\"d\"]}\n";
    const auto preview = [&](const std::string& token) {
        return "say {\"event\":\"preview\",\"confirm_token\":\"" + token + "\",\"items\":[" +
               d.json + "]}\n";
    };
    HostileWindow w(volume("1000", "100000") + scan + "on preview\n" + preview("tok") +
                    "on clean\n"
                    "say {\"event\":\"clean_progress\",\"phase\":\"start\",\"label\":\"dies\"}\n"
                    "say {\"event\":\"preview\"}\n" +
                    preview("tok2") + "sleep 400\n" + d.cleaned("", d.folder.string()) + scan +
                    "on preview\n" + preview("tok3"));
    ASSERT_TRUE(w.scan());
    w.content->model().requestPreview();
    QPointer<ConfirmSheet> sheet = confirmShownPreview(w);
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(finished(w));
    w.refresh();
    // The same sheet followed the run to its result; the window stayed behind it.
    ASSERT_FALSE(sheet.isNull());
    EXPECT_EQ(w.content->sheets().current(), sheet.data());
    ASSERT_TRUE(w.state().preview);
    EXPECT_EQ(w.state().preview->token, "tok");
    EXPECT_TRUE(sheet->progressView()->isVisible());
    EXPECT_EQ(sheet->progressView()->findChild<ClampedLabel*>("progressTitle")->text(), "Done");
    EXPECT_EQ(w.state().banner, "Deleted 1 items. Log: ~/Library/Logs/Virirado/");

    // Done closes it; the list is read again and the next clean asks anew.
    const int64_t generation = w.state().scanGeneration;
    ASSERT_TRUE(virirado::testing::activateSheet(sheet));
    QTest::keyClick(sheet, Qt::Key_Return);
    ASSERT_TRUE(w.waitFor([&] {
        return !w.state().scanning && w.state().scanGeneration > generation &&
               w.content->sheets().current() == nullptr;
    }));
    EXPECT_FALSE(w.state().cleanProgress);
    w.content->model().requestPreview();
    ConfirmSheet* next = nullptr;
    ASSERT_TRUE(w.waitFor([&] {
        return (next = qobject_cast<ConfirmSheet*>(w.content->sheets().current())) != nullptr;
    }));
    EXPECT_EQ(w.state().preview->token, "tok3");
    EXPECT_FALSE(next->progressView()->isVisibleTo(next));
    EXPECT_TRUE(next->findChild<QWidget*>("confirmPage")->isVisibleTo(next));
    EXPECT_EQ(w.cleansSent(), 1);
}

TEST(HostileEngine, APreviewNobodyAskedForOpensNoSheet) {
    // First a list the guards refuse, then one they pass: neither was asked for.
    HostileWindow w([](const fs::path& home) {
        return twoItems(home, "sleep 300\n" + previewOf(home, "x1", {"a!"}) + "sleep 300\n" +
                                  previewOf(home, "x2", {"b"}) + "sleep 300\n" +
                                  previewOf(home, "x3", {"a"}) + markerLine("said"));
    });
    ASSERT_TRUE(w.scan());
    const std::size_t sentAfterScan = w.sent().size();
    ASSERT_TRUE(markerTaken(w, "said"));
    w.refresh();
    w.deleteChord();
    EXPECT_EQ(w.content->sheets().current(), nullptr);
    EXPECT_FALSE(w.state().preview);
    EXPECT_EQ(w.cleansSent(), 0);
    EXPECT_EQ(w.deletionLogLines(), 0);
    EXPECT_EQ(w.sent().size(), sentAfterScan);
    EXPECT_TRUE(w.client().ticked().contains("a"));
}

TEST(HostileEngine, RowsNobodyAskedForHoldTheAnswerBackOnce) {
    // The engine keeps "b" ticked although the window never ticked it: its
    // answer is refused once, the engine is told to let go, and the next
    // "Clean the tank" shows the sheet.
    HostileWindow w([](const fs::path& home) {
        return twoItems(home, "on preview\n" + previewOf(home, "t", {"a", "b"}) +
                                  "on untick\non preview\n" + previewOf(home, "t2", {"a"}));
    });
    ASSERT_TRUE(w.scan());
    w.refresh();
    ASSERT_EQ(w.content->model().totals().tickedCount, 1);
    EXPECT_EQ(refusedPreview(w),
              "Held back 1: item b (not ticked). Nothing deleted. Preview again.");
    EXPECT_EQ(w.deletionLogLines(), 1);
    ASSERT_TRUE(w.waitFor([&] { return w.sentCount("untick") == 1; }, kHangMs));
    EXPECT_NE(w.sent().back().find("\"ids\":[\"b\"]"), std::string::npos) << w.sent().back();
    EXPECT_TRUE(w.client().ticked().contains("a"));

    w.content->model().requestPreview();
    ConfirmSheet* sheet = nullptr;
    ASSERT_TRUE(w.waitFor([&] { return (sheet = w.confirmSheet()) != nullptr; }, kHangMs))
        << w.state().banner.value_or("no banner");
    ASSERT_EQ(w.state().preview->rows.size(), 1u);
    EXPECT_EQ(w.state().preview->token, "t2");
}

TEST(HostileEngine, PreviewsFasterThanAPersonReadsLeaveTheSheetAlone) {
    HostileWindow w([](const fs::path& home) {
        std::string then = "on preview\n" + previewOf(home, "first", {"a"});
        // A fresh list every 50 ms: new tokens, repeats, and lists the guards refuse.
        for (int i = 0; i < 60; ++i) {
            then += "sleep 50\n";
            if (i % 3 == 0) then += previewOf(home, "first", {"a"});
            if (i % 3 == 1) then += previewOf(home, "fresh" + std::to_string(i), {"a"});
            if (i % 3 == 2) then += previewOf(home, "bad" + std::to_string(i), {"a!"});
        }
        return twoItems(home, then + markerLine("flood"));
    });
    ASSERT_TRUE(w.scan());
    w.content->model().requestPreview();
    ConfirmSheet* sheet = nullptr;
    ASSERT_TRUE(w.waitFor([&] { return (sheet = w.confirmSheet()) != nullptr; }, kHangMs))
        << w.state().banner.value_or("no banner");
    const std::string code = sheet->code();
    const std::size_t sentThen = w.sent().size();
    ASSERT_TRUE(markerTaken(w, "flood"));
    w.refresh();
    EXPECT_EQ(w.confirmSheet(), sheet);
    EXPECT_EQ(w.content->sheets().currentKey(), "preview:first");
    EXPECT_EQ(sheet->code(), code);
    EXPECT_EQ(w.deletionLogLines(), 0);
    EXPECT_EQ(w.sent().size(), sentThen);
    EXPECT_FALSE(w.state().banner);
}

TEST(HostileEngine, ASlowQuickDeleteAnswerStillAsksForTheCode) {
    HostileWindow w([](const fs::path& home) {
        return twoItems(
            home, "on preview\nsleep 1500\n" + previewOf(home, "quick", {"b"}) + "on clean\n");
    });
    ASSERT_TRUE(w.scan());
    w.refresh();
    ASSERT_EQ(w.content->model().totals().tickedCount, 1);
    w.content->model().quickDelete(*w.row("b"));
    w.refresh();
    SheetDialog* first = w.content->sheets().current();
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(first->objectName(), "quickDeleteFirstSheet");
    ASSERT_TRUE(virirado::testing::activateSheet(first));
    QTest::keyClick(first, Qt::Key_Return);
    ASSERT_TRUE(w.waitFor([&] { return w.content->sheets().current() == nullptr; }, kHangMs));
    // The second Return reaches "Clean the tank": the window has the keys back.
    QTest::keyClick(w.window.get(), Qt::Key_Return);
    ASSERT_TRUE(w.waitFor([&] { return w.sentCount("preview") == 2; }, kHangMs));

    ConfirmSheet* sheet = nullptr;
    ASSERT_TRUE(w.waitFor([&] { return (sheet = w.confirmSheet()) != nullptr; }, kHangMs))
        << w.state().banner.value_or("no banner");
    ASSERT_TRUE(virirado::testing::activateSheet(sheet));
    // Both were asked; the one answer may be the quick delete's.
    EXPECT_EQ(w.sentCount("preview"), 2);
    ASSERT_EQ(w.state().preview->rows.size(), 1u);
    EXPECT_EQ(sheet->findChild<ClampedLabel*>("title")->text(),
              "Quick Delete \u00B7 Final confirmation (2 of 2)");
    expectTheCodeToGuardTheClean(w, sheet);
}

}  // namespace
}  // namespace virirado
