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

TEST(CleanLog, EachResultTellsOneStoryInTheBannerTheSheetAndTheLog) {
    // A result saying "ok" alone, a report without "clean_count", a result
    // saying "deleted" but not "ok": the log's reading holds in all three places.
    struct Case {
        std::string fields;
        std::string word;
        std::string banner;
        std::string headline;
    };
    const std::string a = "{\"id\":\"a\",\"label\":\"item a\",\"realistic_size\":4096,";
    const std::string logged = "Deleted 1 items. Log: ~/Library/Logs/Virirado/";
    const std::string freed = "Freed 4.1 KB \u00B7 1 deleted \u00B7 0 failed";
    for (const Case& c : std::vector<Case>{
             {"\"clean_count\":1,\"results\":[" + a + "\"ok\":true}]", "failed",
              "Deleted 0, failed 1: item a (failed). See log.",
              "Freed 0 B \u00B7 0 deleted \u00B7 1 failed"},
             {"\"results\":[" + a + "\"deleted\":true,\"ok\":true}]", "deleted", logged, freed},
             {"\"clean_count\":1,\"results\":[" + a + "\"deleted\":true,\"ok\":false}]", "deleted",
              logged, freed}}) {
        HostileWindow w([&](const fs::path& home) {
            return scanOf(home, {"a"}, "\"a\"",
                          "on preview\n" + previewOf(home, "tok", {"a"}) +
                              "on clean\nsay {\"event\":\"clean\",\"dry_run\":false," + c.fields +
                              "}\n");
        });
        ASSERT_TRUE(w.scan());
        ConfirmSheet* sheet = cleanTheTank(w);
        ASSERT_NE(sheet, nullptr) << c.fields;
        const std::string log = deletionLogs(w.home);
        EXPECT_NE(log.find(logLine(c.word, cacheItem(w.home, "a"))), std::string::npos) << log;
        EXPECT_EQ(w.deletionLogLines(), 1) << log;
        EXPECT_EQ(w.window->findChild<ClampedLabel*>("bannerText")->text().toStdString(), c.banner);
        EXPECT_EQ(headline(sheet).toStdString(), c.headline) << c.fields;
        EXPECT_EQ(w.row("a") == nullptr, c.word == "deleted") << c.fields;
    }
}

TEST(CleanLog, RowsSharingAnIdAreEachLoggedForTheirOwnPlace) {
    // Item x1's file and its member's folder go out under one id. The engine
    // removes the folder only and reports each with its own path, folder first.
    fs::path file, folder;
    HostileWindow w([&](const fs::path& home) {
        file = home / ".cache" / "x1.bin";
        folder = home / ".cache" / "x1m";
        fs::create_directories(folder);
        std::ofstream(folder / "data") << std::string(4096, 'x');
        std::ofstream(file) << std::string(4096, 'x');
        const auto entry = [](const std::string& id, const fs::path& path) {
            return "{\"id\":\"" + id + "\",\"label\":\"x1\",\"category\":\"caches\",\"path\":\"" +
                   path.string() +
                   "\",\"size\":4096,\"realistic_size\":4096,\"safety\":\"safe\",\"action\":\"rm\"";
        };
        const auto result = [](const fs::path& path, bool deleted) {
            return "{\"id\":\"x1\",\"label\":\"x1\",\"path\":\"" + path.string() +
                   "\",\"realistic_size\":4096,\"deleted\":" + (deleted ? "true" : "false") +
                   ",\"ok\":" + (deleted ? "true" : "false,\"msg\":\"busy\"") + "}";
        };
        return volume("1000000000", "100000000000") +
               "on scan\nsay {\"event\":\"done\",\"items\":[" + entry("x1", file) +
               ",\"members\":[" + entry("x1/m", folder) +
               "}]}],\"ticked\":[\"x1\"],\"free_bytes\":1000000000,\"total_bytes\":100000000000}"
               "\n" +
               "on preview\nsay {\"event\":\"preview\",\"confirm_token\":\"tok\",\"items\":[" +
               entry("x1", file) + "}," + entry("x1", folder) + "}]}\non clean\nremove " +
               folder.string() + "\nsay {\"event\":\"clean\",\"dry_run\":false,\"results\":[" +
               result(folder, true) + "," + result(file, false) + "]}\n";
    });
    ASSERT_TRUE(w.scan());
    ASSERT_NE(cleanTheTank(w), nullptr);
    ASSERT_FALSE(fs::exists(folder));
    const std::string log = deletionLogs(w.home);
    EXPECT_NE(log.find(logLine("deleted", folder)), std::string::npos) << log;
    EXPECT_NE(log.find(logLine("failed", file) + "busy\n"), std::string::npos) << log;
    EXPECT_EQ(w.deletionLogLines(), 2) << log;
    EXPECT_EQ(w.state().banner, "Deleted 1, failed 1: x1 (busy). See log.");
    // Its file is still there, so the item stays listed.
    EXPECT_NE(w.row("x1"), nullptr);
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
