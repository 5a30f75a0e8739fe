#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "attrlist.hpp"
#include "entry.hpp"
#include "fixture.hpp"
#include "list_direct.hpp"
#include "list_generic.hpp"
#include "list_macos.hpp"

namespace bwcore {
namespace {

using bwtest::Fixture;

std::map<std::string, Entry> by_name(const std::vector<Entry>& entries) {
    std::map<std::string, Entry> m;
    for (const Entry& e : entries)
        EXPECT_TRUE(m.emplace(e.name, e).second) << "twice: " << e.name;
    return m;
}

std::vector<std::string> names(const std::vector<Entry>& entries) {
    std::vector<std::string> out;
    for (const Entry& e : entries)
        out.push_back(e.name);
    return out;
}

// A folder holding one of everything a home folder may hold.
void build_mixed(Fixture& fx) {
    ASSERT_TRUE(fx.make_dir("sub"));
    ASSERT_TRUE(fx.write_file("sub/inner", 10));
    ASSERT_TRUE(fx.write_file("data.bin", 100'000));
    ASSERT_TRUE(fx.write_file("empty", 0));
    ASSERT_TRUE(fx.sparse_file("sparse.img", 50'000'000));
    ASSERT_TRUE(fx.hard_link("data.bin", "data-link.bin"));
    ASSERT_TRUE(fx.symlink("data.bin", "to-data"));
    ASSERT_TRUE(fx.symlink("/nowhere/at/all", "dangling"));
    ASSERT_TRUE(fx.fifo("pipe"));
    ASSERT_TRUE(
        fx.write_file("bad\xff"
                      "name",
                      3));
    ASSERT_TRUE(fx.write_file("caf\xc3\xa9", 1));
}

TEST(ListBoth, AgreeOnMixedFolder) {
    Fixture fx;
    ASSERT_TRUE(fx.ok());
    build_mixed(fx);
    bool have_device = fx.char_device("null-dev", 1, 3);

    auto bulk = list_macos::list_dir_ex(fx.root());
    auto generic = list_generic::list_dir_ex(fx.root());
    ASSERT_TRUE(bulk.ok()) << bulk.error().code;
    ASSERT_TRUE(generic.ok()) << generic.error().code;
    EXPECT_FALSE(bulk->truncated);
    EXPECT_FALSE(generic->truncated);
    auto b = by_name(bulk->entries);
    auto g = by_name(generic->entries);
    ASSERT_EQ(b.size(), have_device ? 11u : 10u);
    ASSERT_EQ(b.size(), g.size());

    const std::string lossy = "bad\xef\xbf\xbdname";
    for (const auto& [name, be] : b) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(g.count(name));
        const Entry& ge = g.at(name);
        if (name == lossy) continue;  // checked below
        EXPECT_EQ(be.error, 0u);
        EXPECT_EQ(be.kind, ge.kind);
        EXPECT_EQ(be.dev, ge.dev);
        EXPECT_EQ(be.ino, ge.ino);
        EXPECT_EQ(be.alloc, ge.alloc);
        EXPECT_EQ(be.logical, ge.logical);
        EXPECT_EQ(be.mtime_ns, ge.mtime_ns);
        EXPECT_EQ(be.flags, ge.flags);
        EXPECT_FALSE(be.is_mountpoint);
        EXPECT_EQ(be.entrycount, -1);
        if (be.kind != KIND_DIR) {
            EXPECT_EQ(be.nlink, ge.nlink);
        }
        auto single = list_generic::stat_path(fx.path(name));
        ASSERT_TRUE(single.ok());
        EXPECT_EQ(single->dev, be.dev);
        EXPECT_EQ(single->ino, be.ino);
        EXPECT_EQ(single->name, name);
    }

    EXPECT_EQ(b.at("sub").kind, KIND_DIR);
    EXPECT_EQ(classify(b.at("sub")), Class::Dir);
    EXPECT_EQ(b.at("data.bin").nlink, 2u);
    EXPECT_EQ(b.at("data.bin").ino, b.at("data-link.bin").ino);
    EXPECT_EQ(b.at("data.bin").logical, 100'000u);
    EXPECT_EQ(b.at("empty").logical, 0u);
    EXPECT_EQ(b.at("sparse.img").logical, 50'000'000u);
    EXPECT_LT(b.at("sparse.img").alloc, 1'000'000u);
    EXPECT_EQ(classify(b.at("to-data")), Class::Symlink);
    EXPECT_EQ(classify(b.at("dangling")), Class::Symlink);
    EXPECT_EQ(b.at("pipe").kind, KIND_OTHER);
    EXPECT_EQ(classify(b.at("pipe")), Class::Special);
    if (have_device) {
        EXPECT_EQ(classify(b.at("null-dev")), Class::Special);
    }

    // A name that is not UTF-8: both flag it; only the bulk lister keeps the attributes.
    EXPECT_EQ(b.at(lossy).error, static_cast<uint32_t>(EILSEQ));
    EXPECT_EQ(b.at(lossy).kind, KIND_FILE);
    EXPECT_EQ(b.at(lossy).logical, 3u);
    const Entry& gl = g.at(lossy);
    EXPECT_EQ(gl.error, static_cast<uint32_t>(EILSEQ));
    EXPECT_EQ(gl.kind, KIND_OTHER);
    EXPECT_EQ(gl.logical + gl.alloc + gl.ino + gl.dev, 0u);
    EXPECT_EQ(entry::errno_reason(static_cast<int>(gl.error)), "error");
}

TEST(ListBoth, WideFolderWholeInDeliveryOrder) {
    Fixture fx;
    ASSERT_TRUE(fx.ok());
    ASSERT_TRUE(fx.make_dir("wide"));
    constexpr int COUNT = 100'000;
    const std::string pad(60, 'n');
    for (int i = 0; i < COUNT; ++i) {
        std::string p = fx.path("wide/" + pad + std::to_string(i));
        int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    size_t before = list_macos::buf_words();
    auto bulk = list_macos::list_dir_ex(fx.path("wide"));
    auto generic = list_generic::list_dir(fx.path("wide"));
    ASSERT_TRUE(bulk.ok());
    ASSERT_TRUE(generic.ok());
    EXPECT_FALSE(bulk->truncated);
    ASSERT_EQ(bulk->entries.size(), static_cast<size_t>(COUNT));
    const std::vector<std::string> delivered = names(*generic);
    EXPECT_EQ(names(bulk->entries), delivered);  // same order as readdir delivers
    EXPECT_EQ(std::set<std::string>(delivered.begin(), delivered.end()).size(),
              static_cast<size_t>(COUNT));
    // ~16 MiB of records: read in many calls, and the buffer grew and stays grown.
    EXPECT_GT(list_macos::buf_words(), std::max<size_t>(before, 65'536));
    size_t grown = list_macos::buf_words();
    ASSERT_TRUE(list_macos::list_dir(fx.root()).ok());
    EXPECT_EQ(list_macos::buf_words(), grown);
}

// Every field of every entry, in order.
void expect_same_entries(const std::vector<Entry>& want, const std::vector<Entry>& got) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        const Entry& a = want[i];
        const Entry& b = got[i];
        SCOPED_TRACE(a.name);
        EXPECT_EQ(b.name, a.name);
        EXPECT_EQ(b.dev, a.dev);
        EXPECT_EQ(b.ino, a.ino);
        EXPECT_EQ(b.alloc, a.alloc);
        EXPECT_EQ(b.logical, a.logical);
        EXPECT_EQ(b.mtime_ns, a.mtime_ns);
        EXPECT_EQ(b.flags, a.flags);
        EXPECT_EQ(b.nlink, a.nlink);
        EXPECT_EQ(b.error, a.error);
        EXPECT_EQ(b.entrycount, a.entrycount);
        EXPECT_EQ(b.kind, a.kind);
        EXPECT_EQ(b.is_mountpoint, a.is_mountpoint);
    }
}

// The walk's and the browse's direct readings give exactly the bulk records' entries.
void expect_direct_matches_records(const std::string& path) {
    auto records = list_macos::list_dir_ex(path);
    ASSERT_TRUE(records.ok());
    std::vector<Entry> each, streamed;
    std::vector<size_t> totals;
    auto a = list_direct::for_each_entry(path, [&](const EntryView& e, size_t total) {
        each.push_back(owned(e));
        totals.push_back(total);
    });
    auto b = list_direct::stream_entries(path,
                                         [&](const EntryView& e) { streamed.push_back(owned(e)); });
    ASSERT_TRUE(a.ok());
    ASSERT_TRUE(b.ok());
    EXPECT_FALSE(a->truncated || b->truncated);
    expect_same_entries(records->entries, each);
    expect_same_entries(records->entries, streamed);
    for (size_t t : totals)
        EXPECT_EQ(t, each.size());
}

TEST(ListDirect, SameEntriesAsRecords) {
    Fixture fx;
    ASSERT_TRUE(fx.ok());
    build_mixed(fx);
    fx.char_device("null-dev", 1, 3);
    ASSERT_TRUE(fx.make_dir("mnt"));
    ASSERT_TRUE(fx.write_file("locked", 1));
    fx.mount_tmpfs("mnt");       // where privileges allow: a mount root
    fx.set_immutable("locked");  // and a protected file
    expect_direct_matches_records(fx.root());

    // More names than one batch of the streaming reader or the first name buffer holds.
    ASSERT_TRUE(fx.make_dir("wide"));
    const std::string pad(80, 'w');
    for (int i = 0; i < 6000; ++i)
        ASSERT_TRUE(fx.write_file("wide/" + pad + std::to_string(i), i % 3));
    expect_direct_matches_records(fx.path("wide"));
    expect_direct_matches_records(fx.path("sub"));
}

TEST(ListDirect, OpenFailuresAreOsErrors) {
    Fixture fx;
    ASSERT_TRUE(fx.ok());
    ASSERT_TRUE(fx.write_file("plain", 1));
    ASSERT_TRUE(fx.make_dir("real"));
    ASSERT_TRUE(fx.symlink("real", "link"));
    int calls = 0;
    auto each = [&](const EntryView&, size_t) { ++calls; };
    auto one = [&](const EntryView&) { ++calls; };
    EXPECT_EQ(list_direct::for_each_entry(fx.path("missing"), each).error().code, ENOENT);
    EXPECT_EQ(list_direct::stream_entries(fx.path("missing"), one).error().code, ENOENT);
    EXPECT_EQ(list_direct::for_each_entry(fx.path("plain"), each).error().code, ENOTDIR);
    EXPECT_FALSE(list_direct::for_each_entry(fx.path("link"), each).ok());
    EXPECT_FALSE(list_direct::stream_entries(fx.path("link"), one).ok());
    const std::string with_nul = fx.root() + std::string("\0/x", 3);
    EXPECT_EQ(list_direct::stream_entries(with_nul, one).error().code, EINVAL);
    EXPECT_EQ(calls, 0);
    auto empty = list_direct::for_each_entry(fx.path("real"), each);
    ASSERT_TRUE(empty.ok());
    EXPECT_FALSE(empty->truncated);
    EXPECT_EQ(calls, 0);
}

TEST(ListBoth, SymlinkAsFolderPath) {
    Fixture fx;
    ASSERT_TRUE(fx.ok());
    ASSERT_TRUE(fx.make_dir("real"));
    ASSERT_TRUE(fx.write_file("real/one", 1));
    ASSERT_TRUE(fx.symlink("real", "link"));
    auto bulk = list_macos::list_dir(fx.path("link"));
    ASSERT_FALSE(bulk.ok());
    EXPECT_TRUE(bulk.error().is_os());
    EXPECT_FALSE(list_macos::open_dir_fd(fx.path("link")).ok());
    auto generic = list_generic::list_dir(fx.path("link"));
    ASSERT_TRUE(generic.ok());
    ASSERT_EQ(generic->size(), 1u);
    EXPECT_EQ((*generic)[0].name, "one");
    auto self = list_generic::stat_path(fx.path("link"));
    ASSERT_TRUE(self.ok());
    EXPECT_EQ(self->kind, KIND_SYMLINK);  // the link itself, not its target
}

TEST(ListBoth, OpenFailuresAreOsErrors) {
    Fixture fx;
    ASSERT_TRUE(fx.ok());
    ASSERT_TRUE(fx.write_file("plain", 1));
    const std::string with_nul = fx.root() + std::string("\0/x", 3);
    EXPECT_EQ(list_macos::open_dir_fd(with_nul).error().code, EINVAL);
    EXPECT_EQ(list_macos::list_dir(with_nul).error().code, EINVAL);
    EXPECT_EQ(list_generic::list_dir(with_nul).error().code, EINVAL);
    EXPECT_EQ(list_generic::stat_path(with_nul).error().code, EINVAL);
    EXPECT_EQ(list_macos::list_dir(fx.path("missing")).error().code, ENOENT);
    EXPECT_EQ(list_generic::list_dir(fx.path("missing")).error().code, ENOENT);
    EXPECT_EQ(list_macos::list_dir(fx.path("plain")).error().code, ENOTDIR);
    // Beyond the short-path buffer, and beyond what the kernel takes.
    std::string deep = fx.root();
    while (deep.size() < 1100)
        deep += "/d";
    EXPECT_EQ(list_macos::list_dir(deep).error().code, ENOENT);
    EXPECT_EQ(list_macos::list_dir(std::string(5000, 'a')).error().code, ENAMETOOLONG);
}

TEST(ListBoth, DescriptorsAreClosed) {
    Fixture fx;
    ASSERT_TRUE(fx.ok());
    ASSERT_TRUE(fx.write_file("f", 1));
    int probe = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(probe, 0);
    ::close(probe);
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(list_macos::list_dir(fx.root()).ok());
        ASSERT_TRUE(list_generic::list_dir(fx.root()).ok());
    }
    int again = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    EXPECT_EQ(again, probe);
    ::close(again);
}

// Exit status of the child: 0 when every entry of both listings is a "permission" error
// record and the listings themselves succeeded.
int list_unsearchable_as_nobody(const std::string& path) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) return 10;
    auto bulk = list_macos::list_dir(path);
    auto generic = list_generic::list_dir(path);
    if (!bulk || !generic) return 11;
    std::vector<Entry> direct;
    auto each = list_direct::for_each_entry(
        path, [&](const EntryView& e, size_t) { direct.push_back(owned(e)); });
    if (!each) return 11;
    if (bulk->size() != 2 || generic->size() != 2 || direct.size() != 2) return 12;
    for (const auto* list : {&*bulk, &*generic, &direct}) {
        for (const Entry& e : *list) {
            if (entry::errno_reason(static_cast<int>(e.error)) != "permission") return 13;
            if (e.name != "a" && e.name != "b") return 14;
        }
    }
    return 0;
}

TEST(ListBoth, UnsearchableFolderGivesErrorRecords) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to switch to an unprivileged user";
    Fixture fx;
    ASSERT_TRUE(fx.ok());
    ASSERT_TRUE(fx.make_dir("shut"));
    ASSERT_TRUE(fx.write_file("shut/a", 1));
    ASSERT_TRUE(fx.make_dir("shut/b"));
    ASSERT_EQ(::chmod(fx.root().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(fx.path("shut").c_str(), 0444), 0);  // readable, not searchable
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(list_unsearchable_as_nobody(fx.path("shut")));
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 10) GTEST_SKIP() << "cannot switch to user 65534";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ::chmod(fx.path("shut").c_str(), 0755);
}

TEST(StatPath, FileNameIsLastNormalComponent) {
    using list_generic::file_name;
    EXPECT_EQ(file_name("/a/b"), "b");
    EXPECT_EQ(file_name("/a/b/"), "b");
    EXPECT_EQ(file_name("/a/."), "a");
    EXPECT_EQ(file_name("a/./."), "a");
    EXPECT_EQ(file_name("/"), "");
    EXPECT_EQ(file_name(""), "");
    EXPECT_EQ(file_name("."), "");
    EXPECT_EQ(file_name("/a/.."), "");
    EXPECT_EQ(file_name("..."), "...");

    auto root = list_generic::stat_path("/");
    ASSERT_TRUE(root.ok());
    EXPECT_EQ(root->name, "");
    EXPECT_EQ(root->kind, KIND_DIR);
}

TEST(ListBoth, ModTimesSaturateAndStayExact) {
    Fixture fx;
    ASSERT_TRUE(fx.ok());
    ASSERT_TRUE(fx.write_file("future", 1));
    ASSERT_TRUE(fx.write_file("past", 1));
    constexpr int64_t YEAR_2400 = 13'569'465'600;
    constexpr int64_t YEAR_1950 = -631'152'000;
    ASSERT_TRUE(fx.set_mtime("past", YEAR_1950, 250));
    struct stat st {};
    if (!fx.set_mtime("future", YEAR_2400, 5) || ::stat(fx.path("future").c_str(), &st) != 0 ||
        st.st_mtim.tv_sec != YEAR_2400)
        GTEST_SKIP() << "this file system does not keep dates past 2262";
    auto b = by_name(*list_macos::list_dir(fx.root()));
    auto g = by_name(*list_generic::list_dir(fx.root()));
    constexpr int64_t MAX = std::numeric_limits<int64_t>::max();
    EXPECT_EQ(b.at("future").mtime_ns, MAX);
    EXPECT_EQ(g.at("future").mtime_ns, MAX);
    EXPECT_EQ(list_generic::stat_path(fx.path("future"))->mtime_ns, MAX);
    EXPECT_EQ(b.at("past").mtime_ns, YEAR_1950 * 1'000'000'000 + 250);
    EXPECT_EQ(g.at("past").mtime_ns, YEAR_1950 * 1'000'000'000 + 250);
}

TEST(ListBoth, ImmutableFileIsProtected) {
    Fixture fx;
    ASSERT_TRUE(fx.ok());
    ASSERT_TRUE(fx.write_file("locked", 1));
    ASSERT_TRUE(fx.make_dir("locked-dir"));
    ASSERT_TRUE(fx.write_file("free", 1));
    if (!fx.set_immutable("locked") || !fx.set_immutable("locked-dir"))
        GTEST_SKIP() << "cannot set the immutable flag here (needs privileges and ext4/xfs/btrfs)";
    auto b = by_name(*list_macos::list_dir(fx.root()));
    auto g = by_name(*list_generic::list_dir(fx.root()));
    for (const char* name : {"locked", "locked-dir"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(classify(b.at(name)), Class::Protected);
        EXPECT_EQ(classify(g.at(name)), Class::Protected);
        EXPECT_EQ(classify(*list_generic::stat_path(fx.path(name))), Class::Protected);
    }
    EXPECT_EQ(classify(b.at("free")), Class::File);
}

TEST(ListBoth, MountRootSeenByBulkListerOnly) {
    Fixture fx;
    ASSERT_TRUE(fx.ok());
    ASSERT_TRUE(fx.make_dir("mnt"));
    ASSERT_TRUE(fx.make_dir("plain"));
    if (!fx.mount_tmpfs("mnt")) GTEST_SKIP() << "cannot mount a tmpfs here (needs privileges)";
    auto b = by_name(*list_macos::list_dir(fx.root()));
    auto g = by_name(*list_generic::list_dir(fx.root()));
    auto top = list_generic::stat_path(fx.root());
    ASSERT_TRUE(top.ok());
    EXPECT_TRUE(b.at("mnt").is_mountpoint);
    EXPECT_FALSE(b.at("plain").is_mountpoint);
    EXPECT_FALSE(g.at("mnt").is_mountpoint);
    EXPECT_NE(b.at("mnt").dev, top->dev);
    EXPECT_EQ(b.at("mnt").dev, g.at("mnt").dev);
    EXPECT_EQ(b.at("plain").dev, top->dev);
}

// ---- The record parser on hand-made and damaged buffers ----

constexpr bwplatform::attrlist kRequest = {
    bwplatform::ATTR_BIT_MAP_COUNT, 0, 0xa204040b, 0, 0x2e, 0x205, 0};

class Records : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fx.ok());
        ASSERT_TRUE(fx.write_file("alpha", 7));
        ASSERT_TRUE(fx.write_file("beta", 9));
        dirfd = ::open(fx.root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(dirfd, 0);
        append("alpha");
        append("beta");
    }
    void TearDown() override {
        if (dirfd >= 0) ::close(dirfd);
    }
    // One genuine record, as the listing layer packs it.
    size_t append(const char* name) {
        size_t at = bytes.size();
        bytes.resize(at + 1024);
        ssize_t n = bwplatform::detail::pack_entry(dirfd, kRequest, name, std::strlen(name),
                                                   bytes.data() + at, 1024);
        EXPECT_GT(n, 0);
        bytes.resize(at + static_cast<size_t>(n > 0 ? n : 0));
        return at;
    }
    template <class T>
    void poke(size_t at, T v) {
        std::memcpy(bytes.data() + at, &v, sizeof v);
    }
    // Parses an exact-size copy, so a read past the end trips the sanitizers.
    bool parse(uint32_t count, std::vector<Entry>& out) {
        std::vector<unsigned char> exact(bytes);
        return list_macos::parse_records(exact, count, out);
    }

    Fixture fx;
    int dirfd = -1;
    std::vector<unsigned char> bytes;
    static constexpr size_t NAME_REF = 24;  // after the length and the returned set
};

// Each damage leaves the records before it intact and ends in one error record.
TEST_F(Records, DamagedRecordsStopSafely) {
    uint32_t second = 0;  // the second record starts where the first one's length says
    std::memcpy(&second, bytes.data(), sizeof second);
    struct Damage {
        const char* what;
        std::function<void()> apply;
        uint32_t count;
        size_t kept;
    };
    constexpr int32_t BIG = std::numeric_limits<int32_t>::max();
    const std::vector<Damage> cases = {
        {"count past the records", [] {}, 3, 2},
        {"zero length", [&] { poke(second, 0u); }, 2, 1},
        {"length below the header", [&] { poke(second, 23u); }, 2, 1},
        {"length past the end", [&] { poke(second, 1u << 20); }, 2, 1},
        {"name before the record", [&] { poke(NAME_REF, -100); }, 2, 0},
        {"name after the record", [&] { poke(NAME_REF, BIG); }, 2, 0},
        {"name longer than the record", [&] { poke(NAME_REF + 4, 0xffffffffu); }, 2, 0},
        {"fields past the length",
         [&] {
             bytes.resize(32);
             poke(0, 32u);
         },
         1, 0},
    };
    const auto genuine = bytes;
    for (const Damage& d : cases) {
        SCOPED_TRACE(d.what);
        bytes = genuine;
        d.apply();
        std::vector<Entry> out;
        EXPECT_FALSE(parse(d.count, out));
        ASSERT_EQ(out.size(), d.kept + 1);
        if (d.kept > 0) {
            EXPECT_EQ(out[0].name, "alpha");
        }
        EXPECT_EQ(out.back().error, static_cast<uint32_t>(EIO));
        EXPECT_EQ(out.back().name, "");
    }
    bytes = genuine;
    std::vector<Entry> out;
    EXPECT_TRUE(parse(2, out));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[1].name, "beta");
}

// A readable item's record is read at fixed offsets; the same record with an error field of 0
// in it can only be read field group by field group. Both readers must give the same entry.
TEST_F(Records, FixedOffsetAndGeneralReadersAgreeOnEveryKind) {
    ASSERT_TRUE(fx.make_dir("folder"));
    ASSERT_TRUE(fx.write_file("folder/inner", 5));
    ASSERT_TRUE(fx.write_file("empty", 0));
    ASSERT_TRUE(fx.sparse_file("sparse.img", 20'000'000));
    ASSERT_TRUE(fx.write_file("linked", 70'000));
    ASSERT_TRUE(fx.hard_link("linked", "linked-too"));
    ASSERT_TRUE(fx.symlink("alpha", "to-alpha"));
    ASSERT_TRUE(fx.symlink("/nowhere", "dangling"));
    ASSERT_TRUE(fx.fifo("pipe"));
    ASSERT_TRUE(fx.set_mtime("alpha", 1'700'000'000, 123'456'789));
    std::vector<std::string> items = {"alpha",    "folder",   "empty", "sparse.img", "linked",
                                      "to-alpha", "dangling", "pipe",  "."};
    if (fx.make_dir("mnt") && fx.mount_tmpfs("mnt")) items.push_back("mnt");
    constexpr uint32_t WHOLE = kRequest.commonattr & ~bwplatform::ATTR_CMN_ERROR;
    int fixed = 0;
    for (const std::string& item : items) {
        SCOPED_TRACE(item);
        bytes.clear();
        append(item.c_str());
        ASSERT_GE(bytes.size(), NAME_REF);
        uint32_t common = 0;
        std::memcpy(&common, bytes.data() + 4, sizeof common);
        fixed += common == WHOLE;
        std::vector<Entry> fast;
        ASSERT_TRUE(parse(1, fast));

        // The error field sits between the returned set and the name reference, which is
        // relative to its own place and so still points at the name.
        bytes.insert(bytes.begin() + NAME_REF, 4, 0);
        uint32_t len = 0;
        std::memcpy(&len, bytes.data(), sizeof len);
        poke(0, len + 4);
        poke(4, common | bwplatform::ATTR_CMN_ERROR);
        std::vector<Entry> general;
        ASSERT_TRUE(parse(1, general));

        const Entry& a = fast[0];
        const Entry& b = general[0];
        EXPECT_EQ(a.name, item);
        EXPECT_EQ(a.name, b.name);
        EXPECT_EQ(a.kind, b.kind);
        EXPECT_EQ(a.dev, b.dev);
        EXPECT_EQ(a.ino, b.ino);
        EXPECT_EQ(a.alloc, b.alloc);
        EXPECT_EQ(a.logical, b.logical);
        EXPECT_EQ(a.mtime_ns, b.mtime_ns);
        EXPECT_EQ(a.flags, b.flags);
        EXPECT_EQ(a.nlink, b.nlink);
        EXPECT_EQ(a.error, b.error);
        EXPECT_EQ(a.entrycount, b.entrycount);
        EXPECT_EQ(a.is_mountpoint, b.is_mountpoint);
    }
    // The readable files and folders take the fixed-offset reader, or this test compares the
    // general reader with itself.
    EXPECT_GE(fixed, 5);
}

TEST_F(Records, BadNameOverridesReportedError) {
    // An error record (status failed) whose name is not UTF-8: the bad name wins.
    bytes.clear();
    std::string longname(300, 'x');
    longname[0] = '\xff';
    size_t at = append(longname.c_str());  // too long for the kernel: an error record
    ASSERT_EQ(at, 0u);
    std::vector<Entry> out;
    ASSERT_TRUE(parse(1, out));
    EXPECT_EQ(out[0].error, static_cast<uint32_t>(EILSEQ));
    EXPECT_EQ(out[0].name.substr(0, 3), "\xef\xbf\xbd");
    EXPECT_EQ(out[0].kind, KIND_OTHER);
    EXPECT_EQ(out[0].nlink, 1u);
}

}  // namespace
}  // namespace bwcore
