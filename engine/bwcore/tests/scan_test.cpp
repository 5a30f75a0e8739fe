#include "scan.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

#include "bincode.hpp"
#include "fixture.hpp"
#include "views.hpp"

using bwcore::ScanOptions;
using bwcore::ScanResult;
using bwtest::Fixture;
namespace scan = bwcore::scan;

namespace {

// A small home-like tree: priority folders, a project with build output, links.
void populate(Fixture& fx) {
    for (auto d : {"Library", "Library/Caches", "Library/Caches/app", "Downloads", "code", "code/p",
                   "code/p/node_modules", "code/p/node_modules/x", "docs"})
        fx.make_dir(d);
    fx.write_file("Library/Caches/app/blob", 3 << 20);
    fx.write_file("Downloads/movie", 2 << 20);
    fx.write_file("code/p/package.json", 100);
    fx.write_file("code/p/node_modules/x/index.js", 5000);
    fx.write_file("docs/a", 10);
    fx.hard_link("docs/a", "Downloads/a-again");
}

struct Scanned {
    bwcore::Result<ScanResult> result;
    nlohmann::json first;
    int first_calls = 0;
    std::string first_thread;
};

Scanned run(const ScanOptions& o) {
    bwcore::walk::Counters counters;
    Scanned s{bwcore::Error::text("not run"), {}, 0, {}};
    s.result = scan::scan(o, counters, [&](std::string_view name, const nlohmann::json& v) {
        EXPECT_EQ(name, "first");
        s.first = v;
        ++s.first_calls;
        char buf[32] = {};
        pthread_getname_np(pthread_self(), buf, sizeof buf);
        s.first_thread = buf;
    });
    return s;
}

ScanOptions options(const Fixture& fx, const Fixture& cache) {
    ScanOptions o(fx.root());
    o.home = fx.root();
    o.cache_dir = cache.path("c");
    o.priority = {};
    o.threads = 4;
    return o;
}

nlohmann::json views(const ScanResult& r, const bwcore::MarkerIndex& index) {
    scan::TreeRef t{{r.root, &r.node}};
    return {{"total", scan::agg_json(r.node.total)},
            {"dirs", scan::dirs_view(t, 0, 1000)},
            {"top", scan::top_files(t, 100)},
            {"dev", scan::devbuilds_view(t, index)},
            {"skipped", scan::skipped_samples(r.node, 50)}};
}

}  // namespace

TEST(ScanOptions, NormalisesTheRootAndKeysOnlyWhatTheTreeDependsOn) {
    EXPECT_EQ(ScanOptions("/").root, "/");
    EXPECT_EQ(ScanOptions("/a//").root, "/a");
    EXPECT_EQ(ScanOptions("").root, "/");
    EXPECT_EQ(ScanOptions("//").root, "/");
    unsigned t = scan::default_threads();
    EXPECT_GE(t, 1u);
    EXPECT_LE(t, 8u);

    ScanOptions base("/r");
    base.home = "/h";
    uint64_t key = ScanOptions::cache_key(base);
    auto differs = [&](auto change) {
        ScanOptions o = base;
        change(o);
        return ScanOptions::cache_key(o) != key;
    };
    EXPECT_TRUE(differs([](ScanOptions& o) { o.big_min = 5; }));
    EXPECT_TRUE(differs([](ScanOptions& o) { o.generic_lister = true; }));
    EXPECT_TRUE(differs([](ScanOptions& o) { o.full = true; }));
    EXPECT_TRUE(differs([](ScanOptions& o) { o.home = "/other"; }));
    EXPECT_TRUE(differs([](ScanOptions& o) { o.home.reset(); }));
    EXPECT_TRUE(differs([](ScanOptions& o) { o.rules.deny_prefixes.push_back("/x"); }));
    EXPECT_FALSE(differs([](ScanOptions& o) { o.threads = 31; }));
    EXPECT_FALSE(differs([](ScanOptions& o) { o.priority.clear(); }));
    EXPECT_FALSE(differs([](ScanOptions& o) { o.max_age = 1; }));
    EXPECT_FALSE(differs([](ScanOptions& o) { o.recheck_min = 1; }));
    EXPECT_FALSE(differs([](ScanOptions& o) { o.home = "/h//"; }));  // the same home
}

TEST(Scan, RootsThatAreNotFoldersFailWithTheirClass) {
    Fixture fx, cache;
    ASSERT_TRUE(fx.ok() && cache.ok());
    fx.make_dir("real");
    fx.symlink("real", "link");
    fx.write_file("file", 1);
    auto error_of = [&](std::string rel) {
        ScanOptions o = options(fx, cache);
        o.root = fx.path(rel);
        auto s = run(o);
        EXPECT_FALSE(s.result.ok());
        EXPECT_EQ(s.first_calls, 0);
        return s.result.ok() ? std::string() : s.result.error().message;
    };
    EXPECT_EQ(error_of("link"), fx.path("link") + ": not a folder (Symlink)");
    EXPECT_EQ(error_of("file"), fx.path("file") + ": not a folder (File)");
    EXPECT_EQ(error_of("none"), fx.path("none") + ": No such file or directory");
}

// Thread count, lister and priority folders change how the tree is walked, never what it holds.
TEST(Scan, ResultsDoNotDependOnThreadsListerOrPriority) {
    Fixture fx, cache;
    ASSERT_TRUE(fx.ok() && cache.ok());
    populate(fx);
    ScanOptions o = options(fx, cache);
    o.use_cache = false;
    auto index = o.rules.marker_index();
    o.threads = 0;
    auto one = run(o);
    ASSERT_TRUE(one.result.ok());
    EXPECT_EQ(one.result->threads, 1u);
    nlohmann::json want = views(*one.result, index);
    EXPECT_EQ(want["dev"].size(), 1u);
    for (unsigned threads : {8u, 32u}) {
        o.threads = threads;
        o.generic_lister = threads == 32;
        auto s = run(o);
        ASSERT_TRUE(s.result.ok());
        EXPECT_EQ(views(*s.result, index), want) << threads;
    }
    o.priority = {"Library/Caches", "missing", "Library/Caches/app", "Library", "Downloads",
                  "../docs",        "/etc",    "Library/Caches"};
    auto p = run(o);
    ASSERT_TRUE(p.result.ok());
    EXPECT_EQ(views(*p.result, index), want);
    ASSERT_EQ(p.first_calls, 1);
    EXPECT_EQ(p.first_thread.rfind("bwcore-walk-", 0), 0u) << p.first_thread;
    ASSERT_EQ(p.result->first_roots.size(), 2u);
    EXPECT_EQ(p.result->first_roots[0].path, fx.path("Library/Caches"));
    EXPECT_EQ(p.result->first_roots[1].path, fx.path("Downloads"));
    EXPECT_EQ(p.first["roots"].size(), 2u);
    ASSERT_EQ(p.first["top_files"].size(), 2u);
    EXPECT_EQ(p.first["top_files"][0]["path"], fx.path("Library/Caches/app/blob"));
    EXPECT_LE(p.result->first_results_ms, p.result->elapsed_ms);
}

// The second scan takes everything from the cache and still equals a fresh full scan.
TEST(Scan, ACachedRescanEqualsAFreshScan) {
    Fixture fx, cache;
    ASSERT_TRUE(fx.ok() && cache.ok());
    populate(fx);
    ScanOptions o = options(fx, cache);
    auto first = run(o);
    ASSERT_TRUE(first.result.ok());
    EXPECT_EQ(first.result->validation, "none");
    ASSERT_TRUE(scan::save_cache(o, *first.result).ok());

    o.home = fx.root() + "/";  // the same home, written differently, reads the same cache
    auto second = run(o);
    ASSERT_TRUE(second.result.ok());
    EXPECT_TRUE(second.result->cache_used);
    EXPECT_EQ(second.result->validation, "mtime");
    EXPECT_EQ(second.result->fsevents_note, "volume journal was reset");
    EXPECT_EQ(second.result->listed, 0u);
    EXPECT_EQ(second.result->reused, second.result->node.total.dirs);

    fx.write_file("docs/new", 70000);
    auto third = run(o);
    ASSERT_TRUE(third.result.ok());
    EXPECT_EQ(third.result->listed, 1u);
    o.use_cache = false;
    auto fresh = run(o);
    ASSERT_TRUE(fresh.result.ok());
    auto index = o.rules.marker_index();
    EXPECT_EQ(views(*third.result, index), views(*fresh.result, index));
    EXPECT_EQ(views(*second.result, index)["total"]["alloc"].get<uint64_t>() + 73728,
              fresh.result->node.total.alloc);
}

TEST(Scan, WritesNothingToStandardErrorWithoutTheDebugVariable) {
    if (std::getenv("VIRIRADO_ENGINE_DEBUG")) GTEST_SKIP() << "debug output is switched on";
    Fixture fx, cache;
    ASSERT_TRUE(fx.ok() && cache.ok());
    populate(fx);
    ScanOptions o = options(fx, cache);
    o.threads = 32;
    fflush(stderr);
    int saved = dup(2);
    std::string out = cache.path("stderr");
    int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 2);
    auto s = run(o);
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    close(fd);
    ASSERT_TRUE(s.result.ok());
    struct stat st;
    ASSERT_EQ(stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0);
}

// A cache file whose checksum holds but whose folder names lead out of the root (written by
// another program, or by hand) is not used: the scan neither counts the place it names nor
// loses the folder it replaced, and saves the true tree again.
TEST(Scan, StoredNamesCannotLeadOutOfTheRoot) {
    Fixture fx, cache;
    ASSERT_TRUE(fx.ok() && cache.ok());
    ASSERT_TRUE(fx.make_dir("root") && fx.make_dir("root/docs") && fx.make_dir("outside"));
    ASSERT_TRUE(fx.write_file("root/docs/a", 70000));
    ASSERT_TRUE(fx.write_file("outside/big", 3 << 20));
    ScanOptions o(fx.path("root"));
    o.cache_dir = cache.path("c");
    o.priority = {};
    o.fsevents = false;
    auto first = run(o);
    ASSERT_TRUE(first.result.ok());
    ASSERT_TRUE(scan::save_cache(o, *first.result).ok());
    const std::string file = cache.path("c/" + bwcore::cache::file_name(o.root));
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto body = bwcore::bincode::decode(bytes);
    ASSERT_TRUE(body);
    ASSERT_EQ(body->node.children.size(), 1u);
    body->node.children[0].name = "../outside";
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bwcore::bincode::encode(*body);

    auto second = run(o);
    ASSERT_TRUE(second.result.ok());
    EXPECT_FALSE(second.result->cache_used);
    EXPECT_EQ(second.result->node.total, first.result->node.total);
    ASSERT_EQ(second.result->node.children.size(), 1u);
    EXPECT_EQ(second.result->node.children[0].name, "docs");
}

// Nested folders deeper than the walk goes: it stops at its level limit, without a crash, and
// says where. Every folder above the limit counts, however long its path.
TEST(Scan, AVeryDeepChainScansWithoutACrash) {
    Fixture fx, cache;
    ASSERT_TRUE(fx.ok() && cache.ok());
    ASSERT_TRUE(fx.make_dir("d"));
    ASSERT_TRUE(fx.chain("d", 2100, 1, 0));
    ScanOptions o = options(fx, cache);
    auto s = run(o);
    ASSERT_TRUE(s.result.ok());
    // The root's components, then "d" and the chain down to the last level walked into; the
    // folder at the limit counts itself but is not walked.
    uint32_t root_levels = 0;
    for (std::size_t i = 0; i < fx.root().size(); ++i)
        root_levels += fx.root()[i] != '/' && (i == 0 || fx.root()[i - 1] == '/');
    EXPECT_EQ(s.result->node.total.dirs, bwcore::walk::MAX_LEVELS - root_levels + 1);
    EXPECT_EQ(s.result->node.total.skipped, 1u);
    auto samples = scan::skipped_samples(s.result->node, 5);
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0][1], "too deep");
    EXPECT_GT(samples[0][0].get<std::string>().size(), 4096u);
    // The fixture's own removal works by path; take the chain apart from the inside out.
    EXPECT_EQ(std::system(("rm -rf " + fx.path("d")).c_str()), 0);
}
