// The event store, the serial queue and event streams over a store in a temporary folder.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dispatch_queue.hpp"
#include "fsevents_store.hpp"
#include "fsevents_stream.hpp"

namespace bwplatform {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using event_store::Record;

struct TempDir {
    std::string path;
    TempDir() {
        std::string tmpl = (fs::temp_directory_path() / "vr-evstore-XXXXXX").string();
        path = ::mkdtemp(tmpl.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<uint64_t> ids_of(const std::vector<Record>& records) {
    std::vector<uint64_t> out;
    for (const auto& r : records)
        out.push_back(r.id);
    return out;
}

class EnvStore : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("VIRIRADO_EVENT_STORE", store.path.c_str(), 1); }
    void TearDown() override { ::unsetenv("VIRIRADO_EVENT_STORE"); }
    TempDir store;
};

TEST(EventStore, WithoutStoreNoDeviceHasHistory) {
    ::unsetenv("VIRIRADO_EVENT_STORE");
    EXPECT_FALSE(FSEventsCopyUUIDForDevice(1).has_value());
    EXPECT_EQ(FSEventsGetCurrentEventId(), 0u);
    EXPECT_EQ(event_store::append_event("/x", kFSEventStreamEventFlagItemIsFile), 0u);
    ::setenv("VIRIRADO_EVENT_STORE", "", 1);
    EXPECT_FALSE(FSEventsCopyUUIDForDevice(1).has_value());
    ::unsetenv("VIRIRADO_EVENT_STORE");
}

TEST_F(EnvStore, UuidIsStablePerDeviceAndChangesOnReset) {
    auto a = FSEventsCopyUUIDForDevice(41);
    auto b = FSEventsCopyUUIDForDevice(42);
    ASSERT_TRUE(a && b);
    EXPECT_NE(*a, *b);
    EXPECT_EQ(FSEventsCopyUUIDForDevice(41), a);
    EXPECT_EQ(::access((store.path + "/uuid-41").c_str(), F_OK), 0);

    ASSERT_EQ(event_store::reset_device(store.path, 41), 0);
    auto fresh = FSEventsCopyUUIDForDevice(41);
    ASSERT_TRUE(fresh);
    EXPECT_NE(*fresh, *a);
    EXPECT_EQ(FSEventsCopyUUIDForDevice(42), b);

    // A damaged UUID file cannot vouch for the history: the device gets a new UUID.
    write_file(store.path + "/uuid-41", "not a uuid\n");
    auto replaced = FSEventsCopyUUIDForDevice(41);
    ASSERT_TRUE(replaced);
    EXPECT_NE(*replaced, *fresh);
}

TEST_F(EnvStore, StoreFolderIsCreatedOnDemand) {
    std::string nested = store.path + "/a/b";
    ::setenv("VIRIRADO_EVENT_STORE", nested.c_str(), 1);
    EXPECT_TRUE(FSEventsCopyUUIDForDevice(7).has_value());
    EXPECT_NE(event_store::append_event("/p", kFSEventStreamEventFlagItemIsFile), 0u);
    EXPECT_TRUE(fs::is_directory(nested));
}

TEST_F(EnvStore, AppendNumbersFromTheCounterAndReadFilters) {
    EXPECT_EQ(FSEventsGetCurrentEventId(), 0u);
    EXPECT_EQ(event_store::append_event("/a/one", kFSEventStreamEventFlagItemIsFile), 1u);
    std::vector<Record> more{{0, kFSEventStreamEventFlagItemIsDir, "/a/two"},
                             {0, kFSEventStreamEventFlagItemIsFile, "/b/three"}};
    ASSERT_EQ(event_store::append(store.path, more), 0);
    EXPECT_EQ(ids_of(more), (std::vector<uint64_t>{2, 3}));
    EXPECT_EQ(FSEventsGetCurrentEventId(), 3u);

    bool intact = false;
    auto got = event_store::read(store.path, 1, 2, intact);
    EXPECT_TRUE(intact);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].path, "/a/two");
    EXPECT_EQ(got[0].flags, kFSEventStreamEventFlagItemIsDir);
    EXPECT_EQ(ids_of(event_store::read(store.path, 0, ~0ull, intact)),
              (std::vector<uint64_t>{1, 2, 3}));
}

TEST_F(EnvStore, JournalBytesAreAsDocumented) {
    std::vector<Record> one{{0, 0x11000, "/home/u/a.txt"}};
    ASSERT_EQ(event_store::append(store.path, one), 0);
    std::string expected("VRVJRNL1", 8);
    expected += std::string("\x01\0\0\0\0\0\0\0", 8) + std::string("\x00\x10\x01\x00", 4) +
                std::string("\x0d\0\0\0", 4) + "/home/u/a.txt";
    EXPECT_EQ(read_file(store.path + "/journal"), expected);
    EXPECT_EQ(read_file(store.path + "/counter"), std::string("\x01\0\0\0\0\0\0\0", 8));
    struct stat st {};
    ASSERT_EQ(::stat((store.path + "/journal").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(EnvStore, DamageIsReportedAndIdsNeverRepeat) {
    for (int i = 0; i < 3; ++i)
        event_store::append_event("/d/f", kFSEventStreamEventFlagItemIsFile);
    // A lost counter file must not restart the ids below what the journal holds.
    fs::remove(store.path + "/counter");
    EXPECT_EQ(FSEventsGetCurrentEventId(), 3u);
    EXPECT_EQ(event_store::append_event("/d/g", kFSEventStreamEventFlagItemIsFile), 4u);

    // A torn record at the end: the whole records before it still count.
    std::ofstream(store.path + "/journal", std::ios::binary | std::ios::app) << "\x09\0\0";
    bool intact = true;
    EXPECT_EQ(event_store::read(store.path, 0, ~0ull, intact).size(), 4u);
    EXPECT_FALSE(intact);

    write_file(store.path + "/journal", "garbage!");
    EXPECT_TRUE(event_store::read(store.path, 0, ~0ull, intact).empty());
    EXPECT_FALSE(intact);
}

TEST_F(EnvStore, PlantedLinksAndPipesAreRefused) {
    TempDir other;
    std::string victim = other.path + "/victim";
    write_file(victim, "keep");
    fs::create_symlink(victim, store.path + "/journal");
    EXPECT_EQ(event_store::append_event("/x", kFSEventStreamEventFlagItemIsFile), 0u);
    EXPECT_EQ(read_file(victim), "keep");
    fs::remove(store.path + "/journal");

    ASSERT_EQ(::mkfifo((store.path + "/journal").c_str(), 0600), 0);
    bool intact = true;
    EXPECT_TRUE(event_store::read(store.path, 0, ~0ull, intact).empty());  // returns, no hang
    EXPECT_FALSE(intact);
}

TEST(DispatchQueue, RunsInOrderAndSyncDrains) {
    auto* q = dispatch_queue_create("virirado.fsevents", DISPATCH_QUEUE_SERIAL);
    ASSERT_NE(q, nullptr);
    std::vector<int> order;  // only touched on the queue, read after the drain
    std::string name;
    for (int i = 0; i < 50; ++i) {
        q->async([&order, i] {
            if (i == 0) std::this_thread::sleep_for(5ms);
            order.push_back(i);
        });
    }
    q->sync([&] {
        char buf[32] = {};
        pthread_getname_np(pthread_self(), buf, sizeof buf);
        name = buf;
    });
    EXPECT_EQ(order.size(), 50u);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    EXPECT_EQ(name, "virirado.fseven");  // cut to what Linux allows, not dropped

    int late = 0;
    q->async([&late] {
        std::this_thread::sleep_for(5ms);
        late = 1;
    });
    dispatch_release(q);
    EXPECT_EQ(late, 1);
}

// Collects what a stream delivers, and lets a test wait for a condition on it.
struct Collector {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<Record> events;

    static void callback(ConstFSEventStreamRef, void* info, std::size_t count,
                         const char* const* paths, const FSEventStreamEventFlags* flags,
                         const FSEventStreamEventId* ids) {
        auto& self = *static_cast<Collector*>(info);
        std::lock_guard lock(self.mutex);
        for (std::size_t i = 0; i < count; ++i)
            self.events.push_back({ids[i], flags[i], paths[i]});
        self.cv.notify_all();
    }
    bool wait_for(const std::function<bool(const Record&)>& match,
                  std::chrono::milliseconds limit = 2s) {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, limit,
                           [&] { return std::any_of(events.begin(), events.end(), match); });
    }
    std::vector<Record> snapshot() {
        std::lock_guard lock(mutex);
        return events;
    }
};

// A started stream with its queue, torn down in the documented order.
struct RunningStream {
    FSEventStreamRef stream = nullptr;
    dispatch_queue_t queue = nullptr;
    RunningStream(const std::string& store, Collector& c, std::vector<std::string> paths,
                  FSEventStreamEventId since) {
        stream = FSEventStreamCreateInStore(store, &Collector::callback, &c, std::move(paths),
                                            since, 0.0, kFSEventStreamCreateFlagFileEvents);
        queue = dispatch_queue_create("test-stream", DISPATCH_QUEUE_SERIAL);
        FSEventStreamSetDispatchQueue(stream, queue);
        started = FSEventStreamStart(stream);
    }
    ~RunningStream() {
        FSEventStreamStop(stream);
        FSEventStreamInvalidate(stream);
        FSEventStreamRelease(stream);
        dispatch_sync_f(queue, nullptr, [](void*) {});
        dispatch_release(queue);
    }
    bool started = false;
};

bool history_done(const Record& r) {
    return r.flags & kFSEventStreamEventFlagHistoryDone;
}

TEST(EventStream, NeedsAStoreAndAbsolutePaths) {
    ::unsetenv("VIRIRADO_EVENT_STORE");
    Collector c;
    EXPECT_EQ(FSEventStreamCreate(&Collector::callback, &c, {"/tmp"}, 1, 0.0, 0), nullptr);
    TempDir store;
    EXPECT_EQ(FSEventStreamCreateInStore(store.path, &Collector::callback, &c, {"rel"}, 1, 0.0, 0),
              nullptr);
    auto* s = FSEventStreamCreateInStore(store.path, &Collector::callback, &c, {"/"}, 1, 0.0, 0);
    ASSERT_NE(s, nullptr);
    EXPECT_FALSE(FSEventStreamStart(s));  // no queue set
    FSEventStreamRelease(s);
}

TEST(EventStream, ReplaysHistoryUnderItsPathsThenHistoryDone) {
    TempDir store, tree;
    std::string root = tree.path + "/u";
    std::vector<Record> history{{0, kFSEventStreamEventFlagItemIsFile, root + "/old"},
                                {0, kFSEventStreamEventFlagItemIsFile, root + "/a"},
                                {0, kFSEventStreamEventFlagItemIsDir, root + "2/elsewhere"},
                                {0, kFSEventStreamEventFlagEventIdsWrapped, "/anywhere"},
                                {0, kFSEventStreamEventFlagItemIsDir, root}};
    ASSERT_EQ(event_store::append(store.path, history), 0);
    Collector c;
    RunningStream s(store.path, c, {root + "/"}, history[0].id);
    ASSERT_TRUE(s.started);
    ASSERT_TRUE(c.wait_for(history_done));
    auto got = c.snapshot();
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].path, root + "/a");
    EXPECT_EQ(got[1].path, "/anywhere");  // wrapped ids concern every stream
    EXPECT_EQ(got[2].path, root);
    EXPECT_TRUE(history_done(got[3]));
}

TEST(EventStream, DamagedJournalAsksForARescan) {
    TempDir store, tree;
    std::vector<Record> one{{0, kFSEventStreamEventFlagItemIsFile, tree.path + "/f"}};
    ASSERT_EQ(event_store::append(store.path, one), 0);
    std::ofstream(store.path + "/journal", std::ios::binary | std::ios::app) << "\xff\xff";
    Collector c;
    RunningStream s(store.path, c, {tree.path}, 0);
    ASSERT_TRUE(c.wait_for(history_done));
    auto got = c.snapshot();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[1].path, tree.path);
    EXPECT_TRUE(got[1].flags & kFSEventStreamEventFlagMustScanSubDirs);
}

TEST(EventStream, LiveChangesAreNumberedJournalledAndDelivered) {
    TempDir store, tree;
    fs::create_directories(tree.path + "/deep/er");
    Collector c;
    RunningStream s(store.path, c, {tree.path}, 0);
    ASSERT_TRUE(c.wait_for(history_done));
    uint64_t before = event_store::current_id(store.path);

    // Watches reach existing subfolders, and folders made while the stream runs.
    std::string file = tree.path + "/deep/er/file";
    auto is = [](std::string p) { return [p](const Record& r) { return r.path == p; }; };
    // The subfolders are watched shortly after start; retry the write until one is seen.
    bool seen = false;
    for (int i = 0; i < 100 && !seen; ++i) {
        write_file(file, "x");
        seen = c.wait_for(is(file), 20ms);
    }
    ASSERT_TRUE(seen);
    fs::create_directory(tree.path + "/new");
    ASSERT_TRUE(c.wait_for(is(tree.path + "/new")));
    seen = false;
    for (int i = 0; i < 100 && !seen; ++i) {
        write_file(tree.path + "/new/inner", "y");
        seen = c.wait_for(is(tree.path + "/new/inner"), 20ms);
    }
    ASSERT_TRUE(seen);

    auto got = c.snapshot();
    auto dir = std::find_if(got.begin(), got.end(), is(tree.path + "/new"));
    EXPECT_TRUE(dir->flags & kFSEventStreamEventFlagItemIsDir);
    EXPECT_TRUE(dir->flags & kFSEventStreamEventFlagItemCreated);
    auto f = std::find_if(got.begin(), got.end(), is(file));
    EXPECT_TRUE(f->flags & kFSEventStreamEventFlagItemIsFile);
    EXPECT_GT(f->id, before);
    bool intact = false;
    auto journal = event_store::read(store.path, before, ~0ull, intact);
    EXPECT_TRUE(std::any_of(journal.begin(), journal.end(), is(file)));
}

TEST(EventStream, SinceNowSendsNoHistoryAndInvalidateSilences) {
    TempDir store, tree;
    std::vector<Record> old{{0, kFSEventStreamEventFlagItemIsFile, tree.path + "/old"}};
    ASSERT_EQ(event_store::append(store.path, old), 0);
    Collector c;
    {
        RunningStream s(store.path, c, {tree.path}, kFSEventStreamEventIdSinceNow);
        ASSERT_TRUE(s.started);
        std::this_thread::sleep_for(20ms);  // time for the watches to be placed
        write_file(tree.path + "/live", "z");
        ASSERT_TRUE(c.wait_for([&](const Record& r) { return r.path == tree.path + "/live"; }));
        FSEventStreamInvalidate(s.stream);
        std::size_t count = c.snapshot().size();
        write_file(tree.path + "/after", "z");
        std::this_thread::sleep_for(30ms);
        dispatch_sync_f(s.queue, nullptr, [](void*) {});
        EXPECT_EQ(c.snapshot().size(), count);
    }
    for (const auto& r : c.snapshot()) {
        EXPECT_FALSE(history_done(r));
        EXPECT_NE(r.path, tree.path + "/old");
    }
}

}  // namespace
}  // namespace bwplatform
