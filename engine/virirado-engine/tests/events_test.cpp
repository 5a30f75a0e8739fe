// A second scan validated by the event store: only what the recorded events name is listed
// again, and the totals equal those of a fresh scan.
#include <gtest/gtest.h>

#include "fsevents_store.hpp"
#include "run_engine.hpp"

namespace virirado_engine::testing {
namespace {

using json = nlohmann::json;
namespace es = bwplatform::event_store;

TEST(EventStore, SecondScanListsOnlyWhatTheEventsName) {
    TempDir tmp;
    std::string root = tmp.dir("root");
    tmp.file("root/a/one", 4000);
    tmp.file("root/b/two", 5000);
    tmp.file("root/b/c/three", 6000);
    std::map<std::string, std::string> env = {{"HOME", tmp.dir("home")},
                                              {"VIRIRADO_EVENT_STORE", tmp.dir("store")}};
    std::vector<std::string> args = {"scan", "--json",      "--root",
                                     root,   "--cache-dir", tmp.dir("cache")};
    // The store has a history before the first scan, so that scan keeps a real event id.
    std::vector<es::Record> before{
        {0, bwplatform::kFSEventStreamEventFlagItemIsFile, "/elsewhere"}};
    ASSERT_EQ(es::append(env["VIRIRADO_EVENT_STORE"], before), 0);

    json first = run_engine(args, env).json();
    ASSERT_EQ(first["cache"]["saved"], true);
    EXPECT_EQ(first["cache"]["validation"], "none");

    // A change the store records, in a folder whose mtime is then put back: only the event
    // can tell the scan that it must look again.
    struct stat st {};
    ASSERT_EQ(stat((root + "/b/c").c_str(), &st), 0);
    tmp.file("root/b/c/four", 7000);
    timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, (root + "/b/c").c_str(), times, 0), 0);
    std::vector<es::Record> events{{0,
                                    bwplatform::kFSEventStreamEventFlagItemCreated |
                                        bwplatform::kFSEventStreamEventFlagItemIsFile,
                                    root + "/b/c/four"}};
    ASSERT_EQ(es::append(env["VIRIRADO_EVENT_STORE"], events), 0);

    Outcome second = run_engine(args, env);
    ASSERT_EQ(second.status, 0) << second.err;
    json s = second.json();
    EXPECT_EQ(s["cache"]["used"], true);
    EXPECT_EQ(s["cache"]["validation"], "fsevents");
    EXPECT_EQ(s["cache"]["fsevents_note"], nullptr);
    EXPECT_GE(s["cache"]["changed_dirs"].get<uint64_t>(), 1u);
    EXPECT_LT(s["cache"]["listed_dirs"].get<uint64_t>(),
              first["cache"]["listed_dirs"].get<uint64_t>());

    args.push_back("--no-cache");
    json fresh = run_engine(args, env).json();
    EXPECT_EQ(s["total"], fresh["total"]);
    EXPECT_EQ(fresh["total"]["files"], 4);
}

TEST(EventStore, AResetStoreFallsBackToModificationTimes) {
    TempDir tmp;
    std::string root = tmp.dir("root");
    tmp.file("root/a/one", 4000);
    std::string store = tmp.dir("store");
    std::map<std::string, std::string> env = {{"HOME", tmp.dir("home")},
                                              {"VIRIRADO_EVENT_STORE", store}};
    std::vector<std::string> args = {"scan", "--json",      "--root",
                                     root,   "--cache-dir", tmp.dir("cache")};
    ASSERT_EQ(run_engine(args, env).status, 0);
    struct stat st {};
    ASSERT_EQ(stat(root.c_str(), &st), 0);
    ASSERT_EQ(es::reset_device(store, st.st_dev), 0);
    json again = run_engine(args, env).json();
    EXPECT_EQ(again["cache"]["used"], true);
    EXPECT_EQ(again["cache"]["validation"], "mtime");
    EXPECT_EQ(again["cache"]["fsevents_note"], "volume journal was reset");
}

}  // namespace
}  // namespace virirado_engine::testing
