// The event replay: batches turned into change sets, the sync mark, and whole replays
// against an event store in a temporary folder.
#include "fsevents.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fsevents_store.hpp"

namespace bwcore::fsevents {
namespace {

namespace fs = std::filesystem;
namespace bp = bwplatform;
using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

constexpr uint32_t FILE_EV = bp::kFSEventStreamEventFlagItemIsFile;
constexpr uint32_t DIR_EV = bp::kFSEventStreamEventFlagItemIsDir;

struct Event {
    std::string path;
    uint32_t flags;
    uint64_t id = 1;
};

void feed(State& st, const std::vector<Event>& batch) {
    std::vector<const char*> paths;
    std::vector<uint32_t> flags;
    std::vector<uint64_t> ids;
    for (const auto& e : batch) {
        paths.push_back(e.path.c_str());
        flags.push_back(e.flags);
        ids.push_back(e.id);
    }
    on_events(nullptr, &st, batch.size(), paths.data(), flags.data(), ids.data());
}

void setup(State& st, std::string root, std::string canonical_root, std::string sentinel) {
    st.root = std::move(root);
    st.canonical_root = std::move(canonical_root);
    st.sentinel = std::move(sentinel);
}

std::vector<std::string> sorted(const StringSet& s) {
    std::vector<std::string> out(s.begin(), s.end());
    std::sort(out.begin(), out.end());
    return out;
}

TEST(ReplayPaths, ParentAndWithin) {
    EXPECT_EQ(parent("/a/b"), "/a");
    EXPECT_EQ(parent("/a"), "/");
    EXPECT_EQ(parent("a"), "a");
    EXPECT_EQ(parent("/"), "/");
    EXPECT_TRUE(is_within("/data/u", "/data/u"));
    EXPECT_TRUE(is_within("/data/u/x", "/data/u"));
    EXPECT_FALSE(is_within("/data/u2", "/data/u"));
    EXPECT_FALSE(is_within("/data", "/data/u"));
    EXPECT_TRUE(is_within("/anything", "/"));
    EXPECT_FALSE(is_within("relative", "/"));
}

TEST(ReplayBatch, ItemKindsFillTheRightSets) {
    State st;
    setup(st, "/r", "/r", "/cache");
    feed(st, {{"/r/d/f", FILE_EV},
              {"/r/d/link", bp::kFSEventStreamEventFlagItemIsSymlink},
              {"/r/d/sub", DIR_EV | bp::kFSEventStreamEventFlagItemCreated},
              {"/r/e/", 0},  // no item flag: the folder itself, trailing "/" dropped
              {"/r/x/pipe", bp::kFSEventStreamEventFlagItemIsHardlink},
              {"/r/m", bp::kFSEventStreamEventFlagMustScanSubDirs},
              {"/r/vol", bp::kFSEventStreamEventFlagMount},
              {"/r/k", bp::kFSEventStreamEventFlagKernelDropped | FILE_EV}});
    const Changes& c = st.changes;
    EXPECT_EQ(c.events, 8u);
    EXPECT_THAT(sorted(c.changed_files.at("/r/d")), ElementsAre("f", "link"));
    EXPECT_THAT(sorted(c.changed_files.at("/r/x")), ElementsAre("pipe"));
    EXPECT_THAT(sorted(c.changed_dirs), ElementsAre("/r/d", "/r/e", "/r/x"));
    // A file event leaves its folder patchable; a folder event or a bare folder does not.
    EXPECT_THAT(sorted(c.relist_dirs), ElementsAre("/r/d", "/r/e"));
    EXPECT_THAT(sorted(c.touched_dirs), ElementsAre("/r/d/sub"));
    EXPECT_THAT(c.rescan_subtrees, ElementsAre("/r/m", "/r/vol", "/r/k"));
    EXPECT_EQ(st.error, nullptr);
}

TEST(ReplayBatch, OnlyEventsUnderTheRootCount) {
    State st;
    setup(st, "/data/u", "/data/u", "/cache");
    feed(st, {{"/data/u2/f", FILE_EV},
              {"/data", DIR_EV},
              {"/elsewhere/f", FILE_EV},
              {"", FILE_EV},
              {"/data/u", DIR_EV},
              {"/data/u/f", FILE_EV}});
    EXPECT_EQ(st.changes.events, 2u);
    EXPECT_THAT(sorted(st.changes.touched_dirs), ElementsAre("/data/u"));
    EXPECT_THAT(sorted(st.changes.changed_dirs), ElementsAre("/data", "/data/u"));

    State whole;
    setup(whole, "/", "/", "/cache");
    feed(whole, {{"/a", FILE_EV}, {"/", DIR_EV}});
    EXPECT_EQ(whole.changes.events, 2u);
    EXPECT_THAT(sorted(whole.changes.changed_files.at("/")), ElementsAre("a"));
}

TEST(ReplayBatch, WrappedIdsOrRootChangeFailEvenOutsideTheRoot) {
    for (uint32_t flag :
         {bp::kFSEventStreamEventFlagEventIdsWrapped, bp::kFSEventStreamEventFlagRootChanged}) {
        State st;
        setup(st, "/r", "/r", "/cache");
        feed(st, {{"/not/the/root", flag}});
        ASSERT_NE(st.error, nullptr);
        EXPECT_STREQ(st.error, "fsevents ids wrapped or root changed");
        EXPECT_EQ(st.changes.events, 1u);
    }
}

TEST(ReplayBatch, CanonicalRootMapsBackToTheGivenOne) {
    State st;
    setup(st, "/home/u", "/data/home/u", "/cache");
    feed(st, {{"/data/home/u/a/f", FILE_EV},
              {"/data/home/u", DIR_EV},
              {"/data/home/u2/f", FILE_EV},  // a sibling sharing the prefix stays outside
              {"/home/u/b", 0}});            // the given form itself is also under the root
    const Changes& c = st.changes;
    EXPECT_EQ(c.events, 3u);
    EXPECT_THAT(sorted(c.changed_files.at("/home/u/a")), ElementsAre("f"));
    EXPECT_THAT(sorted(c.touched_dirs), ElementsAre("/home/u"));
    EXPECT_THAT(sorted(c.changed_dirs), ElementsAre("/home", "/home/u/a", "/home/u/b"));

    State top;
    setup(top, "/link", "/", "/cache");
    feed(top, {{"/etc/x", FILE_EV}, {"/", 0}});
    EXPECT_THAT(sorted(top.changes.changed_dirs), ElementsAre("/link", "/link/etc"));
}

TEST(ReplayBatch, HistoryDoneAndSyncMark) {
    State st;
    setup(st, "/r", "/r", "/c");
    feed(st, {{"/c/fsevents-sync", FILE_EV, 9}});
    EXPECT_FALSE(st.mark_seen);  // no sync id yet
    st.sync_id = 10;
    feed(st, {{"/c/fsevents-sync", FILE_EV, 10}, {"/c/sub/x", FILE_EV, 11}});
    EXPECT_FALSE(st.mark_seen);  // not newer, or not at the mark's folder
    feed(st, {{"", bp::kFSEventStreamEventFlagHistoryDone, 10}});
    EXPECT_TRUE(st.history_done);
    EXPECT_EQ(st.changes.events, 0u);
    feed(st, {{"/c/", DIR_EV, 11}});
    EXPECT_TRUE(st.mark_seen);
}

TEST(ReplayBatch, NamesThatAreNotUtf8AreMadeLossy) {
    State st;
    setup(st, "/r", "/r", "/c");
    feed(st, {{"/r/d/bad\xff", FILE_EV}});
    EXPECT_THAT(sorted(st.changes.changed_files.at("/r/d")), ElementsAre("bad\xEF\xBF\xBD"));
}

struct TempDir {
    std::string path;
    TempDir() {
        std::string tmpl = (fs::temp_directory_path() / "vr-replay-XXXXXX").string();
        path = ::mkdtemp(tmpl.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(SyncMark, WritesEightBytesPrivately) {
    TempDir dir;
    std::string mark = dir.path + "/fsevents-sync";
    std::ofstream(mark) << "older content";
    ::chmod(mark.c_str(), 0644);
    ASSERT_TRUE(write_sync_mark(dir.path, 0x0102030405060708ull).ok());
    EXPECT_EQ(read_file(mark), std::string("\x08\x07\x06\x05\x04\x03\x02\x01", 8));
    struct stat st {};
    ASSERT_EQ(::stat(mark.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(SyncMark, PlantedNamesAreNotWrittenThrough) {
    TempDir dir, other;
    std::string mark = dir.path + "/fsevents-sync";
    std::string victim = other.path + "/victim";
    std::ofstream(victim) << "keep";

    fs::create_symlink(victim, mark);
    EXPECT_FALSE(write_sync_mark(dir.path, 5).ok());
    fs::remove(mark);
    fs::create_hard_link(victim, mark);
    EXPECT_FALSE(write_sync_mark(dir.path, 5).ok());
    EXPECT_EQ(read_file(victim), "keep");
    fs::remove(mark);
    ASSERT_EQ(::mkfifo(mark.c_str(), 0600), 0);
    EXPECT_FALSE(write_sync_mark(dir.path, 5).ok());  // and returns instead of blocking
}

// A store, a tree and a cache folder in one temporary folder.
class Replay : public ::testing::Test {
protected:
    void SetUp() override {
        store = tmp.path + "/store";
        root = tmp.path + "/tree";
        cache = tmp.path + "/cache";
        fs::create_directories(root + "/a");
        ::setenv("VIRIRADO_EVENT_STORE", store.c_str(), 1);
        struct stat st {};
        ::stat(root.c_str(), &st);
        dev = st.st_dev;
        uuid = *bp::FSEventsCopyUUIDForDevice(dev);
    }
    void TearDown() override { ::unsetenv("VIRIRADO_EVENT_STORE"); }

    uint64_t add(const std::string& path, uint32_t flags) {
        return bp::event_store::append_event(path, flags);
    }
    Result<Changes> replay(uint64_t since, std::chrono::milliseconds limit = 3s) {
        return changes_since(root, dev, since, uuid, cache, limit);
    }
    static std::string error_of(const Result<Changes>& r) {
        return r.ok() ? "(no error)" : r.error().message;
    }

    TempDir tmp;
    std::string store, root, cache;
    uint64_t dev = 0;
    std::array<uint8_t, 16> uuid{};
};

TEST_F(Replay, WithoutStoreTheJournalCountsAsReset) {
    ::unsetenv("VIRIRADO_EVENT_STORE");
    EXPECT_EQ(error_of(replay(5)), "volume journal was reset");
    ::setenv("VIRIRADO_EVENT_STORE", "", 1);
    EXPECT_EQ(error_of(replay(5)), "volume journal was reset");
    EXPECT_FALSE(fs::exists(cache));  // nothing done before the check
}

TEST_F(Replay, ChecksBeforeAnyStream) {
    auto other = uuid;
    other[0] ^= 1;
    EXPECT_EQ(error_of(changes_since(root, dev, 5, other, cache, 1s)), "volume journal was reset");
    EXPECT_EQ(error_of(replay(0)), "no event id");
    std::ofstream(tmp.path + "/plain") << "x";
    EXPECT_EQ(error_of(changes_since(root, dev, 5, uuid, tmp.path + "/plain/sub", 1s)),
              "no sentinel folder");
    EXPECT_EQ(error_of(changes_since(root + "/missing", dev, 5, uuid, cache, 1s)), "bad root path");
    EXPECT_EQ(error_of(changes_since("tree", dev, 5, uuid, cache, 1s)), "bad root path");
    fs::create_directories(cache);
    fs::create_symlink(tmp.path + "/plain", cache + "/fsevents-sync");
    EXPECT_EQ(error_of(replay(5)), "could not write the sync mark");
    EXPECT_EQ(read_file(tmp.path + "/plain"), "x");
}

TEST_F(Replay, ReportsOnlyChangesAfterTheCachedId) {
    add(root + "/a/before", FILE_EV);
    uint64_t since = bp::FSEventsGetCurrentEventId();
    add(root + "/a/after", FILE_EV);
    add(root + "/a/newdir", DIR_EV);
    add(tmp.path + "/outside/f", FILE_EV);

    auto r = replay(since);
    ASSERT_TRUE(r.ok()) << error_of(r);
    EXPECT_EQ(r->events, 2u);
    EXPECT_THAT(sorted(r->changed_files.at(root + "/a")), ElementsAre("after"));
    EXPECT_THAT(sorted(r->touched_dirs), ElementsAre(root + "/a/newdir"));
    EXPECT_THAT(sorted(r->relist_dirs), ElementsAre(root + "/a"));

    // The sync mark was written, arrived as a live event, and is now part of the history.
    EXPECT_EQ(read_file(cache + "/fsevents-sync").size(), 8u);
    bool intact = false;
    auto later = bp::event_store::read(store, since + 3, ~0ull, intact);
    EXPECT_TRUE(std::any_of(later.begin(), later.end(),
                            [&](const auto& rec) { return rec.path == cache + "/fsevents-sync"; }));
}

TEST_F(Replay, RootThroughALinkAndLostDetail) {
    std::string link = tmp.path + "/link";
    fs::create_directory_symlink(root, link);
    uint64_t since = add(root + "/first", FILE_EV);
    add(root + "/a/f", FILE_EV);
    add(root + "/a", bp::kFSEventStreamEventFlagMustScanSubDirs);
    auto r = changes_since(link, dev, since, uuid, cache, 3s);
    ASSERT_TRUE(r.ok()) << error_of(r);
    EXPECT_THAT(sorted(r->changed_files.at(link + "/a")), ElementsAre("f"));
    EXPECT_THAT(r->rescan_subtrees, ElementsAre(link + "/a"));
}

TEST_F(Replay, StoreResetAndWrappedIdsFail) {
    uint64_t since = add(root + "/x", FILE_EV);
    add("/", bp::kFSEventStreamEventFlagEventIdsWrapped);
    EXPECT_EQ(error_of(replay(since)), "fsevents ids wrapped or root changed");
    ASSERT_EQ(bp::event_store::reset_device(store, dev), 0);
    EXPECT_EQ(error_of(replay(since)), "volume journal was reset");
}

TEST_F(Replay, HistoryPastTheLimitTimesOut) {
    // A history long enough that it cannot be delivered within a zero limit.
    std::vector<bp::event_store::Record> many(100000, {0, FILE_EV, root + "/a/f"});
    ASSERT_EQ(bp::event_store::append(store, many), 0);
    EXPECT_EQ(error_of(replay(1, 0ms)), "fsevents history timed out");
}

}  // namespace
}  // namespace bwcore::fsevents
