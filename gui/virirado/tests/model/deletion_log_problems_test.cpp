// What a full disk or a planted log does to the deletion log: its line is
// written before the traffic log takes the same report, a line that cannot be
// written is said and kept, and written once it can.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "DeleteLog.hpp"
#include "LogFolder.hpp"
#include "SmallDisk.hpp"
#include "pipeline_fixture.hpp"

using namespace virirado;
using virirado::testing::PipelineTest;
namespace fs = std::filesystem;

namespace {

// 2024-03-10 23:30:00 UTC, the 11th wherever the test runs east of London;
// the day's file is named by the local date, so it is looked up, not named.
constexpr std::time_t kMoment = 1710113400;
constexpr const char* kNoSpace = "No space left on device";

std::vector<CleanLedger::Taken> went(const std::string& path) {
    return {CleanLedger::Taken{1, PreviewRow{"x1", "X1", path, 4096, "", "", "rm"},
                               Json{{"deleted", true}, {"ok", true}, {"realistic_size", 4096}},
                               CleanLedger::Outcome::deleted}};
}

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A home with its log folder made, and the name of the day's file in it.
struct LogHome {
    fs::path home;
    fs::path folder;
    fs::path dayFile;
    explicit LogHome(const fs::path& at) : home(at) {
        folder = *logfolder::path(home.string());
        fs::create_directories(folder);
        std::tm parts{};
        localtime_r(&kMoment, &parts);
        char name[32];
        std::strftime(name, sizeof name, "deleted-%Y%m%d.log", &parts);
        dayFile = folder / name;
    }
};

struct TempFolder {
    fs::path path;
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "vdlog-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~TempFolder() { fs::remove_all(path); }
};

Json result(const std::string& id) {
    return {{"id", id},
            {"label", "Item " + id},
            {"deleted", true},
            {"ok", true},
            {"realistic_size", 10}};
}

Json report(const Json& results) {
    return {{"event", "clean"},
            {"dry_run", false},
            {"clean_count", results.size()},
            {"results", results}};
}

// Where in the trail the first entry that starts with `start` stands.
std::ptrdiff_t at(const std::vector<std::string>& trail, const std::string& start) {
    const auto it = std::find_if(trail.begin(), trail.end(), [&](const std::string& entry) {
        return entry.starts_with(start);
    });
    return it == trail.end() ? -1 : it - trail.begin();
}

}  // namespace

// The engine frees the room with the clean it reports: the deletion log comes
// first, and the traffic log after it takes the report and what it led to, in
// their order.
TEST_F(PipelineTest, TheDeletionLogIsWrittenBeforeTheTrafficLogTakesTheLine) {
    // An answer holding a row nobody asked for: its refusal, then the answer,
    // then the untick it led to.
    h->client->requestPreview();
    h->trail.clear();
    answer(Json::array({row("a", small), row("z", "/tmp/z")}));
    ASSERT_EQ(h->refusedLogs.size(), 1u);
    EXPECT_EQ(at(h->trail, "deletion log"), 0);
    EXPECT_EQ(at(h->trail, "<< {\"blocked\""), 1);
    EXPECT_EQ(at(h->trail, ">> {\"cmd\":\"untick\""), 2);

    h->event({{"event", "selection"}, {"ticked", {"a"}}});
    preview(Json::array({row("a", small)}));
    h->client->confirmClean();
    h->trail.clear();
    h->event(report(Json::array({result("a")})));
    ASSERT_EQ(h->deleteLogs.size(), 1u);
    EXPECT_EQ(at(h->trail, "deletion log"), 0);
    EXPECT_EQ(at(h->trail, "<< {\"clean_count\""), 1);
}

// What stands in place of the folder or the day's file is refused, said
// plainly, and the lines come back whole; once it is gone they are written.
TEST(DeletionLogProblems, APlantedLogIsRefusedAndItsLinesComeBack) {
    TempFolder temp;
    LogHome log(temp.path / "home");
    const fs::path elsewhere = temp.path / "elsewhere";
    fs::create_directories(elsewhere);
    const auto expected = DeleteLog::write(went("/x1"), {}, std::nullopt, "rel", kMoment);
    ASSERT_TRUE(expected);  // a home with no log folder: the lines, unwritten
    EXPECT_EQ(expected->problem, "there is no home folder to keep it in");

    const auto plant = [&](const std::string& what) {
        fs::remove_all(log.folder);
        fs::create_directories(log.folder);
        if (what == "folder link") {
            fs::remove(log.folder);
            fs::create_symlink(elsewhere, log.folder);
        } else if (what == "file link") {
            fs::create_symlink(elsewhere / "target", log.dayFile);
        } else if (what == "pipe") {
            ASSERT_EQ(mkfifo(log.dayFile.c_str(), 0600), 0);
        } else {
            fs::create_directories(log.dayFile);
        }
    };
    const std::string file = log.dayFile.filename().string();
    for (const auto& [what, problem] : std::vector<std::pair<std::string, std::string>>{
             {"folder link", "~/Library/Logs/Virirado is not a real folder"},
             {"file link", file + " is not a regular file"},
             {"pipe", file + " is not a regular file"},
             {"folder", file + " is not a regular file"}}) {
        plant(what);
        const auto left = DeleteLog::write(went("/x1"), {}, std::nullopt, log.home, kMoment);
        ASSERT_TRUE(left) << what;
        EXPECT_EQ(left->problem, problem) << what;
        EXPECT_EQ(left->lines, expected->lines) << what;
        EXPECT_TRUE(fs::is_empty(elsewhere)) << what;
    }
    fs::remove_all(log.folder);
    EXPECT_EQ(DeleteLog::refused({}, log.home, kMoment, expected->lines), std::nullopt);
    EXPECT_EQ(contents(log.dayFile), expected->lines);
}

// On a full disk the lines come back with the system's reason, and nothing of
// them stays in the file, not even the part that fitted in its last block;
// once there is room the kept lines are written once, before the new ones.
TEST(DeletionLogOnASmallDisk, ALineTheDiskCannotTakeIsKeptWholeAndWrittenOnceItCan) {
    const auto disk = virirado::testing::smallDisk();
    if (!disk) return virirado::testing::runOnSmallDisk(256u << 10);
    LogHome log(*disk / "home");
    std::ofstream(log.dayFile) << "earlier\n";
    {
        std::ofstream filler(log.home / "filler");
        const std::string block(4096, 'f');
        while (filler << block << std::flush) {
        }
    }
    const std::string longPath = "/x1/" + std::string(6000, 'p');
    const auto left = DeleteLog::write(went(longPath), {}, std::nullopt, log.home, kMoment);
    ASSERT_TRUE(left);
    EXPECT_EQ(left->problem, kNoSpace);
    EXPECT_NE(left->lines.find(longPath), std::string::npos);
    EXPECT_EQ(contents(log.dayFile), "earlier\n");

    fs::remove(log.home / "filler");
    EXPECT_EQ(DeleteLog::write(went("/x2"), {}, std::nullopt, log.home, kMoment, left->lines),
              std::nullopt);
    const std::string written = contents(log.dayFile);
    EXPECT_TRUE(written.starts_with("earlier\n" + left->lines)) << written.substr(0, 200);
    EXPECT_TRUE(written.ends_with("\tdeleted\t4096\t/x2\t\n"));
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 3);
}

// Memory that runs out while the lines are made is a problem like a full
// disk: said, never the app's end, and the lines kept from before stay kept.
TEST(DeletionLogProblems, MemoryThatRunsOutIsSaidLikeAFullDisk) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer reserves more address space than a limit leaves";
#else
    TempFolder temp;
    LogHome log(temp.path / "home");
    std::vector<CleanLedger::Taken> huge = went("/x1");
    huge[0].result["msg"] = std::string(70u << 20, 'm');
    std::fflush(nullptr);  // the child must not write what the test printed so far
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rlimit was{};
        getrlimit(RLIMIT_AS, &was);
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlimit tight{static_cast<rlim_t>(pages) * 4096 + (16u << 20), was.rlim_max};
        if (setrlimit(RLIMIT_AS, &tight) != 0) _exit(3);
        const auto left = DeleteLog::write(huge, {}, std::nullopt, log.home, kMoment, "kept\n");
        setrlimit(RLIMIT_AS, &was);
        const bool said =
            left && left->problem == "Cannot allocate memory" && left->lines == "kept\n";
        _exit(said ? 0 : 4);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
#endif
}

// A report whose lines cannot be written says so in the banner, where it
// would point to the log, and in the published state; the lines are handed
// to every later write until one takes them, and to the client's end.
TEST_F(PipelineTest, ALineThatCannotBeWrittenIsSaidAndKeptUntilItCanBe) {
    h->deletionLogFails = kNoSpace;
    preview(Json::array({row("a", small)}));
    h->client->confirmClean();
    h->event(report(Json::array({result("a")})));
    EXPECT_EQ(state().deletionLogProblem, kNoSpace);
    EXPECT_EQ(state().banner,
              "Deleted 1 items. The deletion log could not be written: No space left on device.");
    h->client->dismissPreview();

    // A refusal while the disk is still full: its banner says so too.
    h->event({{"event", "done"}, {"items", {item("b", other)}}, {"ticked", {"b"}}});
    h->client->requestPreview();
    answer(Json::array({row("b", other), row("z", "/tmp/z")}));
    EXPECT_EQ(h->keptLines.back(), "row\n");
    EXPECT_TRUE(state().banner->ends_with(
        "Preview again. The deletion log could not be written: No space left on device."))
        << *state().banner;

    // Room again: the next write takes every line kept, and the problem goes.
    h->deletionLogFails.reset();
    h->event({{"event", "selection"}, {"ticked", {"b"}}});
    preview(Json::array({row("b", other)}), "tok2");
    h->client->confirmClean();
    h->event({{"event", "clean"},
              {"dry_run", false},
              {"clean_count", 1},
              {"results", {{{"id", "b"}, {"label", "Item b"}, {"ok", false}, {"msg", "busy"}}}}});
    EXPECT_EQ(h->keptLines.back(), "row\nrow\n");
    EXPECT_EQ(state().deletionLogProblem, std::nullopt);
    EXPECT_EQ(state().banner, "Deleted 0, failed 1: Item b (busy). See log.");
}

TEST_F(PipelineTest, LinesStillKeptAreHandedToTheNextReportAndToTheEnd) {
    h->deletionLogFails = kNoSpace;
    preview(Json::array({row("a", small)}));
    h->client->confirmClean();
    h->event({{"event", "clean"},
              {"dry_run", false},
              {"clean_count", 1},
              {"results", {{{"id", "a"}, {"label", "Item a"}, {"ok", false}, {"msg", "busy"}}}}});
    EXPECT_EQ(state().banner,
              "Deleted 0, failed 1: Item a (busy). The deletion log could not be written: No "
              "space left on device.");

    // The next report, which leaves its row out, still finds no room.
    h->client->dismissPreview();
    h->event({{"event", "done"}, {"items", {item("b", other)}}, {"ticked", {"b"}}});
    preview(Json::array({row("b", other)}), "tok2");
    h->client->confirmClean();
    h->event(report(Json::array()));
    EXPECT_EQ(h->keptLines.back(), "row\n");
    EXPECT_EQ(state().deletionLogProblem, kNoSpace);
    const std::size_t writes = h->keptLines.size();

    // Room again by the time the client ends: its end writes them.
    h->deletionLogFails.reset();
    h->client.reset();
    ASSERT_EQ(h->keptLines.size(), writes + 1);
    EXPECT_EQ(h->keptLines.back(), "row\nrow\n");
}

TEST_F(PipelineTest, WhatTheDiskStillRefusesAtTheEndIsHandedBackWhole) {
    // A line kept from a report, and a clean still out that no report reached:
    // at the end both come back with why, for the app to say, and nothing is
    // kept to be written or said again.
    h->deletionLogFails = kNoSpace;
    preview(Json::array({row("a", small)}));
    h->client->confirmClean();
    h->event(report(Json::array({result("a")})));
    h->client->dismissPreview();
    h->event({{"event", "done"}, {"items", {item("b", other)}}, {"ticked", {"b"}}});
    preview(Json::array({row("b", other)}), "tok2");
    h->client->confirmClean();
    ASSERT_EQ(lastSent()["cmd"], "clean");
    EXPECT_EQ(h->client->finishDeletionLog(), (DeleteLog::Unwritten{"row\nrow\n", kNoSpace}));
    // b was tried as "unknown", then both once more.
    const auto& fallbacks = h->deleteFallbacks;
    ASSERT_GE(fallbacks.size(), 2u);
    ASSERT_EQ(fallbacks[fallbacks.size() - 2].size(), 1u);
    EXPECT_EQ(fallbacks[fallbacks.size() - 2][0].id, "b");
    const std::size_t writes = h->keptLines.size();
    EXPECT_EQ(h->client->finishDeletionLog(), std::nullopt);
    h->deletionLogFails.reset();
    h->client.reset();
    EXPECT_EQ(h->keptLines.size(), writes);
}
