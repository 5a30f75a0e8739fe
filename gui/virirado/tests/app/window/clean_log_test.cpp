// The deletion log and the sheet against an engine whose reports are partial,
// late, or wrong about paths and flags: every row sent gets one line, as its
// report said, and the sheet counts only what was sent.
#include <gtest/gtest.h>

#include <QTest>

#include "ClampedLabel.hpp"
#include "CleanProgressView.hpp"
#include "ConfirmSheet.hpp"
#include "HostileWindow.hpp"
#include "Settled.hpp"

namespace virirado {
namespace {

using testing::kHangMs;

namespace fs = std::filesystem;
using namespace testing::hostile;

fs::path cacheItem(const fs::path& home, const std::string& id) {
    return home / ".cache" / id;
}

// Cache folders "a", "b", ... in the home and the scan that lists them, with
// `ticked` ticked; `then` follows the scan.
std::string scanOf(const fs::path& home, const std::vector<std::string>& ids,
                   const std::string& ticked, const std::string& then) {
    std::string script = volume("1000000000", "100000000000") + "on scan\n";
    for (const std::string& id : ids) {
        fs::create_directories(cacheItem(home, id));
        std::ofstream(cacheItem(home, id) / "data") << std::string(4096, 'x');
        script += "say {\"event\":\"item\",\"item\":{\"id\":\"" + id + "\",\"label\":\"item " + id +
                  "\",\"category\":\"caches\",\"path\":\"" + cacheItem(home, id).string() +
                  "\",\"size\":4096,\"realistic_size\":4096,\"safety\":\"safe\",\"action\":"
                  "\"rm\"}}\n";
    }
    return script + "say {\"event\":\"done\",\"free_bytes\":1000000000,\"total_bytes\":" +
           "100000000000,\"ticked\":[" + ticked + "]}\n" + then;
}

// A "clean" event reporting the rows deleted; `fields` come first.
std::string reportOf(const fs::path& home, const std::vector<std::string>& ids,
                     const std::string& fields = "\"dry_run\":false,",
                     const std::string& path = "") {
    std::string results;
    for (const std::string& id : ids) {
        if (!results.empty()) results += ",";
        results += "{\"id\":\"" + id + "\",\"label\":\"item " + id + "\",\"path\":\"" +
                   (path.empty() ? cacheItem(home, id).string() : path) +
                   "\",\"realistic_size\":4096,\"deleted\":true,\"ok\":true}";
    }
    return "say {\"event\":\"clean\"," + fields + "\"clean_count\":" + std::to_string(ids.size()) +
           ",\"results\":[" + results + "]}\n";
}

std::string logLine(const std::string& status, const fs::path& path) {
    return "\t" + status + "\t4096\t" + path.string() + "\t";
}
std::string unknownLine(const fs::path& path) {
    return "\tunknown\t4096\trm\t" + path.string() + "\n";
}

QString headline(ConfirmSheet* sheet) {
    return sheet->progressView()->findChild<ClampedLabel*>("headline")->text();
}

// "Clean the tank", confirmed on the sheet; waits for the run to finish.
ConfirmSheet* cleanTheTank(HostileWindow& w) {
    w.content->model().requestPreview();
    ConfirmSheet* sheet = confirmShownPreview(w);
    if (sheet == nullptr || !finished(w)) {
        std::string sent;
        for (const std::string& line : w.sent())
            sent += line + "\n";
        ADD_FAILURE() << "no finished run: " << w.state().banner.value_or("no banner") << "; sheet "
                      << (sheet != nullptr) << "; run " << w.state().cleanProgress.has_value()
                      << "; sent:\n"
                      << sent;
        return nullptr;
    }
    w.refresh();
    return sheet;
}

TEST(CleanLog, ARowTheReportLeavesOutIsLoggedAsUnknown) {
    HostileWindow w([](const fs::path& home) {
        return scanOf(home, {"a", "b"}, "\"a\",\"b\"",
                      "on preview\n" + previewOf(home, "tok", {"a", "b"}) + "on clean\n" +
                          reportOf(home, {"a"}));
    });
    ASSERT_TRUE(w.scan());
    ASSERT_NE(cleanTheTank(w), nullptr);
    const std::string log = deletionLogs(w.home);
    EXPECT_NE(log.find(logLine("deleted", cacheItem(w.home, "a"))), std::string::npos) << log;
    EXPECT_NE(log.find(unknownLine(cacheItem(w.home, "b"))), std::string::npos) << log;
    EXPECT_EQ(w.deletionLogLines(), 2) << log;
    EXPECT_EQ(w.state().banner, "Deleted 1 items. Log: ~/Library/Logs/Virirado/ 1 not tried.");
}

TEST(CleanLog, ALateReportAfterASecondCleanIsTakenForItsOwnRows) {
    // The first clean errs; the engine then ticks b alone; the second clean
    // goes out, and both reports follow, the first clean's first.
    HostileWindow w([](const fs::path& home) {
        return scanOf(home, {"a", "b"}, "\"a\"",
                      "on preview\n" + previewOf(home, "tok1", {"a"}) + "on clean\n" +
                          "say {\"event\":\"error\",\"cmd\":\"clean\",\"message\":\"Disk "
                          "hiccup.\"}\nsay {\"event\":\"selection\",\"ticked\":[\"b\"]}\n"
                          "on preview\n" +
                          previewOf(home, "tok2", {"b"}) + "on clean\n" + reportOf(home, {"a"}) +
                          "sleep 200\n" + reportOf(home, {"b"}));
    });
    ASSERT_TRUE(w.scan());
    w.content->model().requestPreview();
    ConfirmSheet* first = confirmShownPreview(w);
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(finished(w));
    ASSERT_EQ(w.state().cleanProgress->error, "Disk hiccup.");
    ASSERT_TRUE(w.waitFor([&] { return w.client().ticked() == std::set<std::string>{"b"}; }));
    // Done, then "Clean the tank" again: no restart is needed to clean again.
    w.refresh();
    QTest::keyClick(first, Qt::Key_Return);
    ASSERT_TRUE(w.waitFor(
        [&] { return !w.state().cleanProgress && w.content->sheets().current() == nullptr; },
        kHangMs));
    ConfirmSheet* second = cleanTheTank(w);
    ASSERT_NE(second, nullptr);
    ASSERT_TRUE(w.waitFor([&] { return w.deletionLogLines() == 2; }, kHangMs))
        << deletionLogs(w.home);
    w.refresh();
    const std::string log = deletionLogs(w.home);
    EXPECT_NE(log.find(logLine("deleted", cacheItem(w.home, "a"))), std::string::npos) << log;
    EXPECT_NE(log.find(logLine("deleted", cacheItem(w.home, "b"))), std::string::npos) << log;
    EXPECT_EQ(w.state().banner, "Deleted 1 items. Log: ~/Library/Logs/Virirado/");
    EXPECT_EQ(headline(w.confirmSheet()), "Freed 4.1 KB \u00B7 1 deleted \u00B7 0 failed");
    EXPECT_EQ(w.row("a"), nullptr);
    EXPECT_EQ(w.row("b"), nullptr);
}

TEST(CleanLog, AnEmptyLateReportEndsTheFirstCleanNotTheOneOnTheSheet) {
    // The first clean errs; its report comes after the second clean went out,
    // with no results at all, and the second clean's report follows.
    HostileWindow w([](const fs::path& home) {
        return scanOf(home, {"a", "b"}, "\"a\"",
                      "on preview\n" + previewOf(home, "tok1", {"a"}) + "on clean\n" +
                          "say {\"event\":\"error\",\"cmd\":\"clean\",\"message\":\"Disk "
                          "hiccup.\"}\nsay {\"event\":\"selection\",\"ticked\":[\"b\"]}\n"
                          "on preview\n" +
                          previewOf(home, "tok2", {"b"}) + "on clean\n" +
                          "say {\"event\":\"clean\",\"dry_run\":false,\"clean_count\":0,"
                          "\"results\":[]}\n" +
                          reportOf(home, {"b"}));
    });
    ASSERT_TRUE(w.scan());
    w.content->model().requestPreview();
    ConfirmSheet* first = confirmShownPreview(w);
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(finished(w));
    ASSERT_TRUE(w.waitFor([&] { return w.client().ticked() == std::set<std::string>{"b"}; }));
    w.refresh();
    QTest::keyClick(first, Qt::Key_Return);
    ASSERT_TRUE(w.waitFor(
        [&] { return !w.state().cleanProgress && w.content->sheets().current() == nullptr; },
        kHangMs));
    ConfirmSheet* second = cleanTheTank(w);
    ASSERT_NE(second, nullptr);
    ASSERT_TRUE(w.waitFor([&] { return w.deletionLogLines() == 2; }, kHangMs))
        << deletionLogs(w.home);
    w.refresh();
    const std::string log = deletionLogs(w.home);
    EXPECT_NE(log.find(unknownLine(cacheItem(w.home, "a"))), std::string::npos) << log;
    EXPECT_NE(log.find(logLine("deleted", cacheItem(w.home, "b"))), std::string::npos) << log;
    EXPECT_EQ(w.state().banner, "Deleted 1 items. Log: ~/Library/Logs/Virirado/");
    EXPECT_EQ(headline(second), "Freed 4.1 KB \u00B7 1 deleted \u00B7 0 failed");
    EXPECT_EQ(w.state().cleanProgress->notTried, 0);
    EXPECT_EQ(w.row("b"), nullptr);
    EXPECT_NE(w.row("a"), nullptr);
}

TEST(CleanLog, ARealCleanReportedDryThatDeletedIsLoggedAndSaysSo) {
    HostileWindow w([](const fs::path& home) {
        return scanOf(home, {"a"}, "\"a\"",
                      "on preview\n" + previewOf(home, "tok", {"a"}) + "on clean\n" +
                          reportOf(home, {"a"}, "\"dry_run\":true,"));
    });
    ASSERT_TRUE(w.scan());
    ConfirmSheet* sheet = cleanTheTank(w);
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(w.waitFor([&] { return w.deletionLogLines() == 1; }, kHangMs));
    w.refresh();
    const std::string log = deletionLogs(w.home);
    EXPECT_NE(log.find(logLine("deleted", cacheItem(w.home, "a"))), std::string::npos) << log;
    EXPECT_EQ(w.state().banner, "Deleted 1 items. Log: ~/Library/Logs/Virirado/");
    const QString banner = w.window->findChild<ClampedLabel*>("bannerText")->text();
    EXPECT_TRUE(banner.startsWith("Deleted 1 items")) << banner.toStdString();
    EXPECT_FALSE(banner.contains("Nothing was deleted")) << banner.toStdString();
    EXPECT_EQ(headline(sheet), "Freed 4.1 KB \u00B7 1 deleted \u00B7 0 failed");
    EXPECT_EQ(w.row("a"), nullptr);
}

TEST(CleanLog, TheLineNamesThePathSentNotTheOneReported) {
    HostileWindow w([](const fs::path& home) {
        return scanOf(home, {"a"}, "\"a\"",
                      "on preview\n" + previewOf(home, "tok", {"a"}) + "on clean\n" +
                          reportOf(home, {"a"}, "\"dry_run\":false,", "~/Documents/keep.txt"));
    });
    ASSERT_TRUE(w.scan());
    ASSERT_NE(cleanTheTank(w), nullptr);
    const std::string log = deletionLogs(w.home);
    EXPECT_NE(log.find(logLine("deleted", cacheItem(w.home, "a"))), std::string::npos) << log;
    EXPECT_EQ(log.find("keep.txt"), std::string::npos) << log;
}

TEST(CleanLog, AReportSilentOnDryRunIsTheRealCleanThatWasSent) {
    HostileWindow w([](const fs::path& home) {
        return scanOf(home, {"a"}, "\"a\"",
                      "on preview\n" + previewOf(home, "tok", {"a"}) + "on clean\n" +
                          reportOf(home, {"a"}, ""));
    });
    ASSERT_TRUE(w.scan());
    ConfirmSheet* sheet = cleanTheTank(w);
    ASSERT_NE(sheet, nullptr);
    const std::string log = deletionLogs(w.home);
    EXPECT_NE(log.find(logLine("deleted", cacheItem(w.home, "a"))), std::string::npos) << log;
    EXPECT_EQ(w.state().banner, "Deleted 1 items. Log: ~/Library/Logs/Virirado/");
    EXPECT_EQ(headline(sheet), "Freed 4.1 KB \u00B7 1 deleted \u00B7 0 failed");
    EXPECT_EQ(w.row("a"), nullptr);
}

TEST(CleanLog, ProgressForARowNeverSentCountsNowhere) {
    HostileWindow w([](const fs::path& home) {
        return scanOf(
            home, {"a"}, "\"a\"",
            "on preview\n" + previewOf(home, "tok", {"a"}) + "on clean\n" +
                "say {\"event\":\"clean_progress\",\"phase\":\"start\",\"label\":\"item a\"}\n"
                "say {\"event\":\"clean_progress\",\"phase\":\"done\",\"label\":\"item a\","
                "\"ok\":true,\"realistic_size\":4096}\n"
                "say {\"event\":\"clean_progress\",\"phase\":\"done\",\"label\":\"Documents\","
                "\"ok\":true,\"realistic_size\":999999999}\n"
                "exit 0\n");
    });
    ASSERT_TRUE(w.scan());
    ConfirmSheet* sheet = cleanTheTank(w);
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(w.state().cleanProgress->doneCount, 1);
    EXPECT_TRUE(headline(sheet).startsWith("Freed 4.1 KB \u00B7 1 deleted"))
        << headline(sheet).toStdString();
    EXPECT_EQ(deletionLogs(w.home).find("Documents"), std::string::npos);
}

}  // namespace
}  // namespace virirado
