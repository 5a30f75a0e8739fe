#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <tbb/task_arena.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bincode.hpp"
#include "cache.hpp"
#include "cache_check.hpp"
#include "cache_sample.hpp"

namespace bwcore {
namespace {

namespace fs = std::filesystem;
using bwtest::resealed;
using bwtest::sample_body;
using bwtest::unhex;

struct TempDir {
    std::string path;
    TempDir() {
        std::string tmpl = (fs::temp_directory_path() / "cache-test-XXXXXX").string();
        path = ::mkdtemp(tmpl.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

// Sets or unsets an environment variable for one scope.
struct EnvGuard {
    std::string name;
    std::optional<std::string> old;
    EnvGuard(std::string n, const char* value) : name(std::move(n)) {
        if (const char* v = std::getenv(name.c_str())) old = v;
        if (value)
            ::setenv(name.c_str(), value, 1);
        else
            ::unsetenv(name.c_str());
    }
    ~EnvGuard() {
        if (old)
            ::setenv(name.c_str(), old->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
};

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

uint64_t now_seconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

TEST(CacheName, FnvHexWithoutLeadingZeros) {
    EXPECT_EQ(cache::file_name(""), "cbf29ce484222325");
    EXPECT_EQ(cache::file_name("a"), "af63dc4c8601ec8c");
    EXPECT_EQ(cache::file_name("foobar"), "85944171f73967e8");
    EXPECT_EQ(cache::file_name("/"), "af63a24c860189fe");
    // No zero padding: every name is the shortest hex form of its hash.
    for (std::string root : {"/a", "/b", "/home/u", "/tmp/x"}) {
        std::string n = cache::file_name(root);
        EXPECT_EQ(n, std::string(n.c_str()));
        EXPECT_NE(n.front(), '0') << root;
    }
}

TEST(CacheDir, PrecedenceAndEmptyValuesCountAsUnset) {
    const std::string sub = "/Library/Caches/virirado/engine";
    EnvGuard tmpdir("TMPDIR", "/tmpx");
    {
        EnvGuard e(cache::ENV_VAR, "/c/d");
        EnvGuard h("HOME", "/h");
        EXPECT_EQ(cache::default_dir(std::string("/home/me")), "/c/d");
    }
    {
        EnvGuard e(cache::ENV_VAR, "/c/\xff");  // not UTF-8: skipped
        EnvGuard h("HOME", "/h");
        EXPECT_EQ(cache::default_dir(std::string("/home/me/")), "/home/me" + sub);
    }
    {
        EnvGuard e(cache::ENV_VAR, "");
        EnvGuard h("HOME", "/h");
        EXPECT_EQ(cache::default_dir(std::string("")), "/h" + sub);
        EXPECT_EQ(cache::default_dir(std::nullopt), "/h" + sub);
    }
    {
        EnvGuard e(cache::ENV_VAR, nullptr);
        EnvGuard h("HOME", "");
        EXPECT_EQ(cache::default_dir(std::string("")), "/tmpx" + sub);
        EnvGuard t("TMPDIR", "");
        EXPECT_EQ(cache::default_dir(std::nullopt), "/tmp" + sub);
    }
}

// Bytes written out by hand from the layout, field by field.
TEST(CacheCodec, GoldenBytes) {
    CacheBody b;
    b.root = "/a";
    b.key = 0x1122334455667788ULL;
    b.saved_at = 1700000000;
    b.event_id = 42;
    for (int i = 0; i < 16; ++i)
        b.volume_uuid[i] = static_cast<uint8_t>(i);
    Node& n = b.node;
    n.name = "a";
    n.ino = 2;
    n.dev = 1;
    n.mtime = -1;
    n.self_alloc = n.self_logical = 4096;
    n.own = Agg{10, 7, 1, 0, 3, 0, 0, 1};
    n.links = {LinkRec{"l", 1, 9, 8, 8, 2}};
    n.files = {FileRec{"f", 10, 7, 3, 4}};
    n.markers = 4;
    Node c;
    c.name = "b";
    c.ino = 5;
    c.dev = 1;
    c.dev_kind = 1;
    c.marker = "package.json";
    n.children.push_back(std::move(c));
    n.skipped = {SkipSample{"/a/x", "permission"}};

    const std::string expected = unhex(
        "03000000"                           // version 3
        "0200000000000000 2f61"              // root "/a"
        "8877665544332211"                   // key
        "00f1536500000000"                   // saved_at 1700000000
        "2a00000000000000"                   // event_id 42
        "000102030405060708090a0b0c0d0e0f"   // volume uuid
        "0100000000000000 61"                // name "a"
        "0200000000000000 0100000000000000"  // ino 2, dev 1
        "ffffffffffffffff"                   // mtime -1
        "0010000000000000 0010000000000000"  // self_alloc, self_logical 4096
        "0a00000000000000 0700000000000000"  // own.alloc 10, own.logical 7
        "0100000000000000 0000000000000000"  // own.files 1, own.dirs 0
        "0300000000000000 0000000000000000"  // own.mtime 3, own.dataless 0
        "0000000000000000 0100000000000000"  // own.protected 0, own.skipped 1
        "0100000000000000"                   // one link
        "0100000000000000 6c"                //   "l"
        "0100000000000000 0900000000000000"  //   dev 1, ino 9
        "0800000000000000 0800000000000000"  //   alloc 8, logical 8
        "0200000000000000"                   //   mtime 2
        "0100000000000000"                   // one file
        "0100000000000000 66"                //   "f"
        "0a00000000000000 0700000000000000"  //   alloc 10, logical 7
        "0300000000000000 0400000000000000"  //   mtime 3, ino 4
        "0400000000000000"                   // markers 4
        "0100000000000000"                   // one child
        "0100000000000000 62"                //   name "b"
        "0500000000000000 0100000000000000"  //   ino 5, dev 1
        "0000000000000000"                   //   mtime
        "0000000000000000 0000000000000000"  //   self sizes
        "0000000000000000000000000000000000000000000000000000000000000000"
        "0000000000000000000000000000000000000000000000000000000000000000"  // own
        "0000000000000000 0000000000000000"                                 //   no links, no files
        "0000000000000000 0000000000000000"          //   markers, no children
        "0100"                                       //   dev_kind 1
        "0c00000000000000 7061636b6167652e6a736f6e"  //   marker "package.json"
        "0000000000000000 0000000000000000"          //   no skipped, no all_files
        "0000"                                       // dev_kind 0
        "0000000000000000"                           // marker ""
        "0100000000000000"                           // one skipped sample
        "0400000000000000 2f612f78"                  //   "/a/x"
        "0a00000000000000 7065726d697373696f6e"      //   "permission"
        "0000000000000000");                         // no all_files
    ASSERT_EQ(expected.size(), 528u);
    // After the body: the tag "vrdsum64" and the XXH64 of the 528 bytes, 0x1eef0477fa9d4643.
    const std::string sealed = expected + unhex("76726473756d3634 43469dfa7704ef1e");
    EXPECT_EQ(bincode::encode(b), sealed);
    std::optional<CacheBody> back = bincode::decode(sealed);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->node, b.node);
    EXPECT_EQ(back->volume_uuid, b.volume_uuid);
    // The body alone is a file of the plain layout, as written before the checksum: not used.
    EXPECT_FALSE(bincode::decode(expected));
}

TEST(CacheCodec, RoundTripEveryField) {
    CacheBody b = sample_body();
    std::string bytes = bincode::encode(b);
    std::optional<CacheBody> back = bincode::decode(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->root, b.root);
    EXPECT_EQ(back->key, b.key);
    EXPECT_EQ(back->saved_at, b.saved_at);
    EXPECT_EQ(back->event_id, b.event_id);
    EXPECT_EQ(back->volume_uuid, b.volume_uuid);
    EXPECT_EQ(back->node, b.node);
    // Bytes after the checksum are ignored.
    back = bincode::decode(bytes + "trailing garbage");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->node, b.node);
    // Anything else after the body is no checksum of it.
    const std::string body = bytes.substr(0, bytes.size() - cache_check::TRAILER_SIZE);
    EXPECT_FALSE(bincode::decode(body + "trailing garbage"));
    EXPECT_FALSE(bincode::decode(body + std::string(cache_check::TAG) + std::string(8, '\0')));
    std::string flipped = bytes;
    flipped[bytes.size() - 1] ^= 1;
    EXPECT_FALSE(bincode::decode(flipped));
}

TEST(CacheCodec, HostileInputIsRejected) {
    const std::string good = bincode::encode(sample_body());
    // Every truncation of a valid file.
    for (std::size_t len = 0; len < good.size(); ++len)
        EXPECT_FALSE(bincode::decode(good.substr(0, len))) << len;
    auto patched = [&](std::size_t at, std::string_view with) {
        std::string s = good;
        s.replace(at, with.size(), with);
        return resealed(s);
    };
    // Versions other than 3.
    EXPECT_FALSE(bincode::decode(patched(0, std::string("\x04\0\0\0", 4))));
    EXPECT_FALSE(bincode::decode(patched(0, std::string("\0\0\0\x03", 4))));
    // A root length of 2^62 and 2^64-1.
    EXPECT_FALSE(bincode::decode(patched(4, std::string("\0\0\0\0\0\0\0\x40", 8))));
    EXPECT_FALSE(bincode::decode(patched(4, std::string(8, '\xff'))));
    // Invalid UTF-8 in the root and in the node name ("r\xc3\xa9" -> "r\xc3\x28").
    std::size_t name_at = good.find("r\xc3\xa9");
    ASSERT_NE(name_at, std::string::npos);
    EXPECT_FALSE(bincode::decode(patched(name_at + 2, "\x28")));
    EXPECT_FALSE(bincode::decode(patched(12, "\xc0")));
}

// A file announcing 2^60 children, or nesting deeper than the cap, is refused without a huge
// allocation or a deep recursion.
TEST(CacheCodec, HugeCountsAndDeepNesting) {
    CacheBody b;
    b.root = "/";
    std::string bytes = bincode::encode(b);
    // The root node's children count sits 8+8+8+16 bytes and the whole head after the root path.
    const std::size_t head = 4 + 8 + 1 + 8 + 8 + 8 + 16;
    const std::size_t children_at = head + 8 + 5 * 8 + 64 + 8 + 8 + 8;
    ASSERT_EQ(bytes.substr(children_at, 8), std::string(8, '\0'));
    bytes.replace(children_at, 8, std::string("\0\0\0\0\0\0\0\x10", 8));
    EXPECT_FALSE(bincode::decode(resealed(bytes)));

    auto chain = [](std::size_t depth) {
        CacheBody c;
        c.root = "/";
        for (std::size_t i = 1; i < depth; ++i) {
            Node parent;
            c.node.name = "d";
            parent.children.push_back(std::move(c.node));
            c.node = std::move(parent);
        }
        return bincode::encode(c);
    };
    std::optional<CacheBody> at_cap = bincode::decode(chain(cache::MAX_DEPTH));
    ASSERT_TRUE(at_cap);
    tree::settle_links(at_cap->node);
    EXPECT_EQ(at_cap->node.total.dirs, cache::MAX_DEPTH);
    EXPECT_FALSE(bincode::decode(chain(cache::MAX_DEPTH + 1)));
}

TEST(CacheFile, SaveThenLoadAndRejections) {
    TempDir dir;
    const std::string folder = dir / "deep/er";
    CacheBody b = sample_body();
    ASSERT_TRUE(cache::save(folder, b.root, b.key, b.volume_uuid, b.event_id, b.node));
    const std::string path = folder + "/" + cache::file_name(b.root);
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_FALSE(fs::exists(path + ".tmp"));

    std::optional<CacheBody> got = cache::load(folder, b.root, b.key, 604800);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->node, b.node);
    EXPECT_EQ(got->event_id, 77u);
    EXPECT_EQ(got->volume_uuid, b.volume_uuid);
    EXPECT_LE(now_seconds() - got->saved_at, 5u);

    EXPECT_FALSE(cache::load(folder, "/home/v", b.key, 604800));  // other root, other file
    write_file(folder + "/" + cache::file_name("/home/v"), read_file(path));
    EXPECT_FALSE(cache::load(folder, "/home/v", b.key, 604800));  // file of another root
    EXPECT_FALSE(cache::load(folder, b.root, b.key + 1, 604800));
    EXPECT_FALSE(cache::load(dir / "missing", b.root, b.key, 604800));
    EXPECT_FALSE(cache::load("", b.root, b.key, 604800));
}

// Both ways of reading a file (whole and side by side, or streamed on one thread) check the
// checksum; a file of the plain layout without one, as saved before it existed, is a miss and
// the next scan lists everything again.
TEST(CacheFile, ChecksumIsCheckedWhetherReadWholeOrStreamed) {
    TempDir dir;
    CacheBody b = sample_body();
    ASSERT_TRUE(cache::save(dir.path, b.root, b.key, b.volume_uuid, b.event_id, b.node));
    const std::string path = dir / cache::file_name(b.root);
    const std::string saved = read_file(path);
    ASSERT_GT(saved.size(), cache_check::TRAILER_SIZE);
    const std::string body = saved.substr(0, saved.size() - cache_check::TRAILER_SIZE);
    tbb::task_arena one(1);
    auto loads = [&](const std::string& bytes, bool streamed) {
        write_file(path, bytes);
        std::optional<CacheBody> got;
        if (streamed)
            one.execute([&] { got = cache::load(dir.path, b.root, b.key, 604800); });
        else
            got = cache::load(dir.path, b.root, b.key, 604800);
        if (got) {
            EXPECT_EQ(got->node, b.node);
        }
        return got.has_value();
    };
    for (bool streamed : {false, true}) {
        EXPECT_TRUE(loads(saved, streamed)) << streamed;
        EXPECT_TRUE(loads(saved + "more", streamed)) << streamed;
        EXPECT_FALSE(loads(body, streamed)) << streamed;
        EXPECT_FALSE(loads(body + "trailing bytes of no meaning", streamed)) << streamed;
        for (std::size_t at :
             {std::size_t{60}, body.size() / 2, body.size() - 1, saved.size() - 1}) {
            std::string s = saved;
            s[at] ^= 0x10;
            EXPECT_FALSE(loads(s, streamed)) << streamed << " " << at;
        }
    }
    // A streamed file larger than the reader's buffer.
    CacheBody wide = b;
    for (int i = 0; i < 30000; ++i)
        wide.node.children[1].children.push_back(Node{"folder " + std::to_string(i)});
    ASSERT_TRUE(cache::save(dir.path, wide.root, wide.key, wide.volume_uuid, 0, wide.node));
    const std::string big = read_file(path);
    ASSERT_GT(big.size(), bincode::Writer::CHUNK * 2);
    std::optional<CacheBody> got;
    one.execute([&] { got = cache::load(dir.path, b.root, b.key, 604800); });
    ASSERT_TRUE(got);
    EXPECT_EQ(got->node, wide.node);
    std::string flipped = big;
    flipped[bincode::Writer::CHUNK + 5] ^= 0x01;
    write_file(path, flipped);
    one.execute([&] { got = cache::load(dir.path, b.root, b.key, 604800); });
    EXPECT_FALSE(got);
}

TEST(CacheFile, AgeLimits) {
    TempDir dir;
    CacheBody b = sample_body();
    const std::string path = dir / cache::file_name(b.root);
    auto load_saved_at = [&](uint64_t saved_at) {
        b.saved_at = saved_at;
        write_file(path, bincode::encode(b));
        return cache::load(dir.path, b.root, b.key, 604800).has_value();
    };
    const uint64_t now = now_seconds();
    EXPECT_TRUE(load_saved_at(now - 604800 + 30));
    EXPECT_FALSE(load_saved_at(now - 604801));
    EXPECT_FALSE(load_saved_at(now + 60));  // from the future
    EXPECT_FALSE(load_saved_at(UINT64_MAX));
    EXPECT_TRUE(load_saved_at(now));
    write_file(path, read_file(path) + std::string(100, '\x07'));
    EXPECT_TRUE(cache::load(dir.path, b.root, b.key, 604800));  // trailing bytes
}

// Neither a symbolic link nor a hard link planted at the temporary name is written through, and
// a FIFO at the file name does not stall loading.
TEST(CacheFile, PlantedLinksAndFifo) {
    TempDir dir;
    const std::string victim = dir / "victim";
    write_file(victim, "precious");
    const std::string tmp = dir / (cache::file_name("/r") + ".tmp");
    ASSERT_EQ(::symlink(victim.c_str(), tmp.c_str()), 0);
    Node n;
    n.name = "r";
    ASSERT_TRUE(cache::save(dir.path, "/r", 1, {}, 0, n));
    EXPECT_EQ(read_file(victim), "precious");
    EXPECT_TRUE(cache::load(dir.path, "/r", 1, 100));

    ASSERT_EQ(::link(victim.c_str(), tmp.c_str()), 0);
    ASSERT_TRUE(cache::save(dir.path, "/r", 2, {}, 0, n));
    EXPECT_EQ(read_file(victim), "precious");
    EXPECT_TRUE(cache::load(dir.path, "/r", 2, 100));

    const std::string fifo_root = "/fifo";
    ASSERT_EQ(::mkfifo((dir / cache::file_name(fifo_root)).c_str(), 0600), 0);
    EXPECT_FALSE(cache::load(dir.path, fifo_root, 1, 100));
}

TEST(CacheFile, FailedSaveKeepsPreviousFile) {
    TempDir dir;
    Node small;
    small.name = "old";
    ASSERT_TRUE(cache::save(dir.path, "/r", 1, {}, 0, small));

    // A write that fails half-way (file size limit) must leave the old file and no temporary.
    Node big;
    big.all_files.resize(2000, FileRec{"some file name", 1, 2, 3, 4});
    struct rlimit old_limit;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    auto old_handler = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small_limit = old_limit;
    small_limit.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small_limit), 0);
    Status st = cache::save(dir.path, "/r", 1, {}, 0, big);
    ::setrlimit(RLIMIT_FSIZE, &old_limit);
    ::signal(SIGXFSZ, old_handler);
    EXPECT_FALSE(st);
    std::optional<CacheBody> got = cache::load(dir.path, "/r", 1, 100);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->node.name, "old");
    EXPECT_FALSE(fs::exists(dir / (cache::file_name("/r") + ".tmp")));

    // A folder path that is a regular file cannot be created.
    write_file(dir / "plain", "x");
    EXPECT_FALSE(cache::save(dir / "plain", "/r", 1, {}, 0, small));
    EXPECT_FALSE(cache::save(dir / "plain/sub", "/r", 1, {}, 0, small));
}

// With every variable empty the cache folder stays absolute, and an empty folder is refused:
// nothing lands in the current folder.
TEST(CacheFile, EmptySettingsNeverUseTheCurrentFolder) {
    TempDir dir;
    const fs::path cwd = fs::current_path();
    fs::current_path(dir.path);
    EnvGuard e(cache::ENV_VAR, "");
    EnvGuard h("HOME", "");
    EnvGuard t("TMPDIR", "");
    std::string folder = cache::default_dir(std::string(""));
    EXPECT_EQ(folder.front(), '/');
    Node n;
    EXPECT_FALSE(cache::save("", "/r", 1, {}, 0, n));
    EXPECT_TRUE(fs::is_empty(dir.path));
    fs::current_path(cwd);
}

// Writers of the same root take turns: whatever the interleaving, the file left is one whole
// save, never a mix, and large files cross the 1 MiB read and write buffers intact.
TEST(CacheFile, RacingSavesLeaveOneWholeFile) {
    TempDir dir;
    std::vector<Node> trees(4);
    for (std::size_t t = 0; t < trees.size(); ++t) {
        trees[t].name = "tree" + std::to_string(t);
        const uint64_t n = 10000 + 3000 * t;
        trees[t].all_files.resize(n, FileRec{"file " + std::to_string(t), t, t, 0, t});
        trees[t].own = Agg{n * t, n * t, n, 0, 0, 0, 0, 0};
    }
    for (int round = 0; round < 5; ++round) {
        std::vector<std::thread> threads;
        std::vector<int> ok(trees.size(), 0);
        for (std::size_t t = 0; t < trees.size(); ++t)
            threads.emplace_back(
                [&, t] { ok[t] = cache::save(dir.path, "/r", 9, {}, 0, trees[t]).ok(); });
        for (auto& th : threads)
            th.join();
        for (int o : ok)
            EXPECT_TRUE(o);
        std::optional<CacheBody> got = cache::load(dir.path, "/r", 9, 100);
        ASSERT_TRUE(got) << round;
        bool matches_one = false;
        for (const Node& t : trees)
            matches_one |= got->node == t;
        EXPECT_TRUE(matches_one) << round;
    }
}

}  // namespace
}  // namespace bwcore

namespace bwcore {
namespace {

// A folder or link that another user owns on the way to the cache could redirect our writes or
// hand us a tree of their making: such a cache folder is neither written nor read.
TEST(CacheFile, FoldersOwnedByAnotherUserAreNeitherWrittenNorRead) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a folder to another user";
    TempDir dir;
    CacheBody b = sample_body();
    const std::string shared = dir / "shared";
    ASSERT_TRUE(cache::save(shared + "/cache", b.root, b.key, b.volume_uuid, b.event_id, b.node));
    ASSERT_TRUE(cache::load(shared + "/cache", b.root, b.key, 604800));

    // Another user takes the folder on the way: the tree in it is no longer trusted.
    ASSERT_EQ(::chown(shared.c_str(), 65534, 65534), 0);
    EXPECT_FALSE(cache::load(shared + "/cache", b.root, b.key, 604800));
    EXPECT_FALSE(cache::save(shared + "/cache", b.root, b.key, b.volume_uuid, b.event_id, b.node));

    // A link planted by another user in a place we own, pointing somewhere we may write.
    const std::string victim = dir / "victim";
    fs::create_directories(victim);
    const std::string planted = dir / "planted";
    ASSERT_EQ(::symlink(victim.c_str(), planted.c_str()), 0);
    ASSERT_EQ(::lchown(planted.c_str(), 65534, 65534), 0);
    EXPECT_FALSE(cache::save(planted, b.root, b.key, b.volume_uuid, b.event_id, b.node));
    EXPECT_TRUE(fs::is_empty(victim));
    // Our own link is followed as before.
    ASSERT_EQ(::lchown(planted.c_str(), 0, 0), 0);
    EXPECT_TRUE(cache::save(planted, b.root, b.key, b.volume_uuid, b.event_id, b.node));
    EXPECT_FALSE(fs::is_empty(victim));
}

}  // namespace
}  // namespace bwcore
