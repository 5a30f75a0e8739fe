// The sheet judges each preview row against everything the scan said: an id or
// a folder listed twice, a folder under a second name, members, what lies inside
// a row's folder, look-only items the engine keeps ticked, a re-listing while
// the sheet is open; and the rows it refuses are let go.
#include <gtest/gtest.h>

#include <QTest>

#include "ConfirmSheet.hpp"
#include "HostileWindow.hpp"
#include "OwnMounts.hpp"
#include "Settled.hpp"
#include "SheetKeys.hpp"

namespace virirado {
namespace {

using testing::kHangMs;

namespace fs = std::filesystem;
using namespace testing::hostile;

fs::path folderIn(const fs::path& home, const std::string& name) {
    const fs::path folder = home / name;
    fs::create_directories(folder);
    std::ofstream(folder / "data") << std::string(4096, 'x');
    return folder;
}

std::string record(const std::string& id, const fs::path& path, const std::string& safety,
                   const std::string& action, const std::string& more = "") {
    return "{\"id\":\"" + id + "\",\"label\":\"" + id + "\",\"category\":\"caches\",\"path\":\"" +
           path.string() + "\",\"size\":4096,\"realistic_size\":4096,\"safety\":\"" + safety +
           "\",\"action\":\"" + action + "\"" + more + "}";
}

// A scan whose result lists `items` with `ticked`, then a preview of `row`
// with the token "tok" at the first "preview", and nothing more.
std::string script(const std::string& items, const std::string& ticked, const std::string& row) {
    return volume("1000000000", "100000000000") + "on scan\nsay {\"event\":\"done\",\"items\":[" +
           items + "],\"ticked\":[" + ticked +
           "],\"free_bytes\":1000000000,\"total_bytes\":100000000000}\n"
           "on preview\nsay {\"event\":\"preview\",\"confirm_token\":\"tok\",\"items\":[" +
           row + "]}\non clean\n";
}

TEST(RowsAsScanned, AnIdListedTwiceIsJudgedByItsStrictestRecord) {
    // A safe cache, then a build folder to check first, under one id; the
    // preview names the build folder as safe.
    HostileWindow w([](const fs::path& home) {
        const fs::path cache = folderIn(home, ".cache/x"), build = folderIn(home, "src/target");
        return script(
            record("x1", cache, "safe", "rm") + "," + record("x1", build, "review", "trash"),
            "\"x1\"", record("x1", build, "safe", "trash"));
    });
    ASSERT_TRUE(w.scan());
    expectTheCodeForTheTank(w);
}

TEST(RowsAsScanned, AFolderListedTwiceIsJudgedByItsStrictestRecord) {
    HostileWindow w([](const fs::path& home) {
        const fs::path build = folderIn(home, "src/target");
        return script(
            record("x1", build, "safe", "trash") + "," + record("r1", build, "review", "trash"),
            "\"x1\"", record("x1", build, "safe", "trash"));
    });
    ASSERT_TRUE(w.scan());
    expectTheCodeForTheTank(w);
}

TEST(RowsAsScanned, AMemberToCheckFirstAsksForTheCode) {
    HostileWindow w([](const fs::path& home) {
        const fs::path cache = folderIn(home, ".cache/tool"),
                       build = folderIn(home, ".cache/tool/b");
        const std::string member = ",\"members\":[" + record("c/b", build, "review", "trash") + "]";
        return script(record("c", cache, "safe", "trash", member), "\"c\"",
                      record("c", build, "safe", "trash"));
    });
    ASSERT_TRUE(w.scan());
    expectTheCodeForTheTank(w);
}

TEST(RowsAsScanned, ALookOnlyItemTheEngineKeepsTickedIsHeldBack) {
    HostileWindow w([](const fs::path& home) {
        const fs::path kept = folderIn(home, ".cache/kept");
        return script(record("i", kept, "safe", "info"), "\"i\"", record("i", kept, "safe", "rm"));
    });
    ASSERT_TRUE(w.scan());
    EXPECT_EQ(refusedPreview(w),
              "Held back 1: i (not as scanned). Nothing deleted. Preview again.");
}

TEST(RowsAsScanned, AFolderUnderASecondNameAsksForItsCode) {
    // ~/work is a link to ~/proj: x1 at ~/work/target is r1's folder, listed to
    // check first.
    fs::path folder;
    HostileWindow w([&folder](const fs::path& home) {
        folder = folderIn(home, "proj/target");
        fs::create_directory_symlink(home / "proj", home / "work");
        const fs::path work = home / "work/target";
        return script(record("r1", folder, "review", "trash") + "," +
                          record("x1", work, "safe", "trash", ",\"ticked\":true"),
                      "\"x1\"", record("x1", work, "safe", "trash"));
    });
    ASSERT_TRUE(w.scan());
    w.refresh();
    ASSERT_TRUE(testing::activateSheet(w.window.get()));
    QTest::keyClick(w.window.get(), Qt::Key_Return);
    ConfirmSheet* sheet = nullptr;
    ASSERT_TRUE(w.waitFor([&] { return (sheet = w.confirmSheet()) != nullptr; }, kHangMs))
        << w.state().banner.value_or("no banner");
    ASSERT_TRUE(testing::activateSheet(sheet));
    w.deleteChord();
    EXPECT_EQ(w.cleansSent(), 0);
    EXPECT_TRUE(fs::is_directory(folder));
    expectTheCodeToGuardTheClean(w, sheet);
}

TEST(RowsAsScanned, AReviewItemInsideASafeRowAsksForTheCode) {
    HostileWindow w([](const fs::path& home) {
        const fs::path target = folderIn(home, "proj/target"),
                       out = folderIn(home, "proj/target/out");
        return script(
            record("x1", target, "safe", "trash") + "," + record("r", out, "review", "trash"),
            "\"x1\"", record("x1", target, "safe", "trash"));
    });
    ASSERT_TRUE(w.scan());
    expectTheCodeForTheTank(w);
}

TEST(RowsAsScanned, AReviewFolderMountedInsideASafeRowAsksForTheCode) {
    // ~/proj/target, to check first, is bind-mounted at ~/.cache/alphacache/bm,
    // inside the safe x1: an engine that crosses mount points would clean it
    // through x1.
    const auto mounted = testing::ownMounts();
    if (!mounted) {
        const fs::path root =
            fs::temp_directory_path() / ("vmounted-" + std::to_string(::getpid()));
        const fs::path home = root / "home";
        folderIn(home, "proj/target");
        folderIn(home, ".cache/alphacache/bm");
        testing::runWithOwnMounts(
            root, {testing::bindMount(home / "proj/target", home / ".cache/alphacache/bm")});
        fs::remove_all(root);
        return;
    }
    HostileWindow w(*mounted / "home", [](const fs::path& home) {
        const fs::path cache = home / ".cache/alphacache";
        return script(record("x1", cache, "safe", "trash") + "," +
                          record("r", home / "proj/target", "review", "trash"),
                      "\"x1\"", record("x1", cache, "safe", "trash"));
    });
    ASSERT_TRUE(w.scan());
    expectTheCodeForTheTank(w);
}

TEST(RowsAsScanned, ARowListedStricterWhileTheSheetIsOpenIsHeldBack) {
    // The sheet shows x1 safe, without a code; then the engine lists x1 again,
    // now to check first.
    HostileWindow w([](const fs::path& home) {
        const fs::path target = folderIn(home, "proj/target");
        return volume("1000000000", "100000000000") +
               "on scan\nsay {\"event\":\"done\",\"items\":[" +
               record("x1", target, "safe", "trash") +
               "],\"ticked\":[\"x1\"],\"free_bytes\":1000000000,\"total_bytes\":"
               "100000000000}\non preview\nsay {\"event\":\"preview\",\"confirm_token\":"
               "\"tok\",\"items\":[" +
               record("x1", target, "safe", "trash") + "]}\nsay {\"event\":\"item\",\"item\":" +
               record("x1", target, "review", "trash", ",\"ticked\":true") + "}\non clean\n";
    });
    ASSERT_TRUE(w.scan());
    w.content->model().requestPreview();
    ConfirmSheet* sheet = nullptr;
    ASSERT_TRUE(w.waitFor([&] { return (sheet = w.confirmSheet()) != nullptr; }, kHangMs))
        << w.state().banner.value_or("no banner");
    ASSERT_TRUE(w.waitFor([&] {
        const auto& records = w.client().records();
        return records.size() == 1 && records[0].safety == "review";
    }));
    EXPECT_EQ(w.state().preview->rows.at(0).safety, "safe");
    ASSERT_TRUE(testing::activateSheet(sheet));
    w.deleteChord();
    ASSERT_TRUE(
        w.waitFor([&] { return w.state().banner.has_value() || w.cleansSent() > 0; }, kHangMs));
    EXPECT_EQ(w.state().banner,
              "Held back 1: x1 (changed since the preview). Nothing deleted. Preview again.");
    EXPECT_EQ(w.cleansSent(), 0);
    EXPECT_NE(deletionLogs(w.home).find("changed since the preview"), std::string::npos);
}

TEST(HoldBack, ARowTheEngineTickedOnItsOwnIsLetGo) {
    // "Clean the tank" with a ticked; the engine ticks b itself and proposes
    // both. b is refused and the engine told to let go of it; the next click
    // shows the sheet.
    HostileWindow w([](const fs::path& home) {
        return twoItems(home,
                        "on preview\nsay {\"event\":\"selection\",\"ticked\":[\"a\",\"b\"]}\n" +
                            previewOf(home, "tok1", {"a", "b"}) + "on preview\n" +
                            previewOf(home, "tok2", {"a"}) + "on clean\n");
    });
    ASSERT_TRUE(w.scan());
    EXPECT_EQ(refusedPreview(w),
              "Held back 1: item b (not ticked). Nothing deleted. Preview again.");
    ASSERT_TRUE(w.waitFor([&] { return w.sentCount("untick") == 1; }, kHangMs));
    const std::string untick = w.sent().back();
    EXPECT_NE(untick.find("\"ids\":[\"b\"]"), std::string::npos) << untick;
    EXPECT_EQ(w.client().ticked(), std::set<std::string>{"a"});
    w.content->model().requestPreview();
    ASSERT_TRUE(w.waitFor([&] { return w.confirmSheet() != nullptr; }, kHangMs))
        << w.state().banner.value_or("no banner");
    EXPECT_EQ(w.state().preview->token, "tok2");
}

TEST(HoldBack, AQuickDeleteHeldBackLeavesTheUsersTick) {
    // The user ticks x1 and quick-deletes it; the answer names x1 as a tool's
    // command, which the scan never said, and is held back. x1 stays ticked,
    // and the engine is told nothing to untick.
    HostileWindow w([](const fs::path& home) {
        const fs::path cache = folderIn(home, ".cache/x1");
        return volume("1000000000", "100000000000") +
               "on scan\nsay {\"event\":\"done\",\"items\":[" + record("x1", cache, "safe", "rm") +
               "],\"ticked\":[],\"free_bytes\":1000000000,\"total_bytes\":100000000000}\n"
               "on preview\nsay {\"event\":\"preview\",\"confirm_token\":\"tok\",\"items\":[" +
               record("x1", cache, "safe", "cmd") + "]}\n";
    });
    ASSERT_TRUE(w.scan());
    w.refresh();
    w.content->model().toggle(*w.row("x1"));
    ASSERT_TRUE(w.waitFor([&] { return w.sentCount("tick") == 1; }, kHangMs));
    w.content->model().quickDelete(*w.row("x1"));
    w.refresh();
    SheetDialog* first = w.content->sheets().current();
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(first->objectName(), "quickDeleteFirstSheet");
    ASSERT_TRUE(testing::activateSheet(first));
    QTest::keyClick(first, Qt::Key_Return);
    ASSERT_TRUE(w.waitFor([&] { return w.state().banner.has_value(); }, kHangMs));
    EXPECT_EQ(w.state().banner,
              "Held back 1: x1 (not as scanned). Nothing deleted. Preview again.");
    EXPECT_EQ(w.client().ticked(), std::set<std::string>{"x1"});
    // A command sent now reaches the engine after any untick the hold-back sent.
    w.content->model().cancelScan();
    ASSERT_TRUE(w.waitFor([&] { return w.sentCount("cancel") == 1; }, kHangMs));
    EXPECT_EQ(w.sentCount("untick"), 0);
}

}  // namespace
}  // namespace virirado
