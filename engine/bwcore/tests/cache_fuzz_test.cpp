// Mutation test of the cache reader: thousands of damaged variants of a cache file must each be
// refused or give back exactly the tree that was saved, never crash, hang or allocate without
// bound; and a scan that meets a damaged cache must count what a fresh scan counts.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "bincode.hpp"
#include "cache.hpp"
#include "fixture.hpp"
#include "scan.hpp"
#include "views.hpp"

namespace bwcore {
namespace {

CacheBody real_body() {
    CacheBody b;
    b.root = "/home/fuzz";
    b.key = 99;
    b.saved_at = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(
                                           std::chrono::system_clock::now().time_since_epoch())
                                           .count());
    b.event_id = 5;
    b.node.name = "fuzz";
    for (int i = 0; i < 6; ++i) {
        Node c;
        c.name = "dir\xc3\xa9" + std::to_string(i);
        c.own = Agg{2000000 + uint64_t(i), 2000002, 3, 0, 9, 0, 1, 1};
        c.links.push_back(LinkRec{"ln", 1, uint64_t(i), 10, 10, 1});
        c.files.push_back(FileRec{"big" + std::to_string(i), 2000000, 2000000, 7, 8});
        c.skipped.push_back(SkipSample{"/home/fuzz/x", "permission"});
        c.marker = i % 2 ? "Cargo.toml" : "";
        for (int j = 0; j < 3; ++j) {
            Node g;
            g.name = "g" + std::to_string(j);
            g.all_files.push_back(FileRec{"f", 1, 1, 1, 1});
            g.own = Agg{1, 1, 1, 0, 1, 0, 0, 0};
            c.children.push_back(std::move(g));
        }
        b.node.children.push_back(std::move(c));
    }
    return b;
}

// The streaming decoder and the indexed, parallel one must agree on every input: both refuse
// it, or both give the same tree.
void check_decoders_agree(const std::string& bytes) {
    bincode::Reader r{std::string_view(bytes)};
    CacheBody head;
    if (!bincode::read_header(r, head)) return;
    Node serial, split;
    bool a = bincode::read_node(r, serial);
    std::size_t at = static_cast<std::size_t>(bincode::header_size(head));
    bool b = bincode::read_tree(std::string_view(bytes).substr(at), split, 0);
    ASSERT_EQ(a, b);
    if (a) {
        ASSERT_TRUE(serial == split);
    }
}

// A variant that decodes at all must give back the saved body exactly: its leading bytes are
// the whole original file, checksum included.
void fuzz_check(const std::string& bytes, const CacheBody& saved, const std::string& file) {
    check_decoders_agree(bytes);
    std::optional<CacheBody> got = bincode::decode(bytes);
    if (!got) return;
    ASSERT_EQ(bytes.compare(0, file.size(), file), 0);
    ASSERT_TRUE(got->node == saved.node);
    ASSERT_EQ(got->root, saved.root);
    ASSERT_EQ(got->key, saved.key);
    ASSERT_EQ(got->saved_at, saved.saved_at);
}

uint64_t huge(std::mt19937_64& rng) {
    switch (rng() % 4) {
        case 0:
            return uint64_t{1} << (20 + rng() % 44);
        case 1:
            return ~uint64_t{0} - rng() % 16;
        case 2:
            return uint64_t{1} << 32;
        default:
            return rng();
    }
}

TEST(CacheFuzz, MutatedFilesAreRefusedOrExact) {
    const CacheBody body = real_body();
    const std::string base = bincode::encode(body);
    ASSERT_TRUE(bincode::decode(base));
    auto check_variant = [&](const std::string& s) { fuzz_check(s, body, base); };
    std::mt19937_64 rng(20240611);
    auto pos = [&] { return static_cast<std::size_t>(rng() % base.size()); };
    for (int i = 0; i < 3000; ++i) {  // bit flips, one to four per variant
        std::string s = base;
        for (int k = 0, n = 1 + int(rng() % 4); k < n; ++k)
            s[pos()] ^= char(1u << (rng() % 8));
        check_variant(s);
    }
    for (int i = 0; i < 1500; ++i) {  // inflated lengths and counts at any offset
        std::string s = base;
        uint64_t v = huge(rng);
        std::size_t at = pos();
        for (int k = 0; k < 8 && at + k < s.size(); ++k)
            s[at + k] = char(v >> (8 * k));
        check_variant(s);
    }
    for (int i = 0; i < 1500; ++i) {  // truncations, cut or spliced slices
        std::string s = base.substr(0, pos());
        if (i % 3 == 1) s += base.substr(pos());
        if (i % 3 == 2) s.insert(s.size() / 2, base.substr(pos(), rng() % 64));
        check_variant(s);
    }
}

// The same through real files, which read through the streaming reader.
TEST(CacheFuzz, MutatedFilesThroughLoad) {
    std::string dir_tmpl = (std::filesystem::temp_directory_path() / "cache-fuzz-XXXXXX").string();
    const std::string dir = ::mkdtemp(dir_tmpl.data());
    const CacheBody body = real_body();
    const std::string base = bincode::encode(body);
    const std::string path = dir + "/" + cache::file_name(body.root);
    std::mt19937_64 rng(7);
    int loaded = 0;
    for (int i = 0; i < 400; ++i) {
        std::string s = base;
        if (i % 2)
            s[rng() % s.size()] ^= char(1u << (rng() % 8));
        else
            s.resize(rng() % s.size());
        std::ofstream(path, std::ios::binary | std::ios::trunc) << s;
        std::optional<CacheBody> got = cache::load(dir, body.root, body.key, 3600);
        if (got) {
            ++loaded;
            EXPECT_TRUE(got->node == body.node);
        }
    }
    EXPECT_EQ(loaded, 0);  // every variant is damaged somewhere the checksum covers
    std::filesystem::remove_all(dir);
}

// A home-like tree whose cache holds most kinds of record: big files, hard links, skip samples
// and a build folder. (A folder that keeps all its files would make every scan that misses
// list thousands of files; the codec tests cover those records.)
void populate(bwtest::Fixture& fx) {
    for (auto d : {"docs", "docs/deep", "docs/deep/er", "media", "many", "proj", "proj/target"})
        fx.make_dir(d);
    fx.write_file("docs/report.pdf", 3 << 20);
    fx.write_file("docs/notes.txt", 10000);
    fx.write_file("docs/deep/er/old.bin", 1 << 20);
    fx.hard_link("docs/report.pdf", "media/copy.pdf");
    fx.hard_link("docs/notes.txt", "media/notes-again.txt");
    fx.write_file("media/clip.mov", 2 << 20);
    fx.write_file(std::string("media/bad\xffname"), 500);  // skipped with its sample
    for (int i = 0; i < 40; ++i)
        fx.write_file("many/f" + std::to_string(i), static_cast<uint64_t>(i % 7) * 100);
    fx.write_file("proj/Cargo.toml", 100);
    fx.write_file("proj/target/out.o", 200000);
}

nlohmann::json views_of(const ScanResult& r, const MarkerIndex& index) {
    scan::TreeRef t{{r.root, &r.node}};
    return {{"total", scan::agg_json(r.node.total)},
            {"dirs", scan::dirs_view(t, 0, 1000)},
            {"files", scan::files_view(t, 0, 100000)},
            {"dev", scan::devbuilds_view(t, index)},
            {"skipped", scan::skipped_samples(r.node, 50)}};
}

// Whatever is damaged in the cache file, the scan that meets it counts what a scan without any
// cache counts: a damaged cache is never used.
TEST(CacheFuzz, ScansOverDamagedCachesEqualAFreshScan) {
    bwtest::Fixture fx, cache;
    ASSERT_TRUE(fx.ok() && cache.ok());
    populate(fx);
    ScanOptions o(fx.root());
    o.home = fx.root();
    o.cache_dir = cache.path("c");
    o.priority = {};
    o.threads = 4;
    const MarkerIndex index = o.rules.marker_index();
    auto run = [&](const ScanOptions& opts) {
        walk::Counters counters;
        Result<ScanResult> r = scan::scan(opts, counters, [](std::string_view, const auto&) {});
        EXPECT_TRUE(r.ok());
        return r;
    };
    ScanOptions fresh_opts = o;
    fresh_opts.use_cache = false;
    Result<ScanResult> fresh = run(fresh_opts);
    ASSERT_TRUE(fresh.ok());
    const nlohmann::json want = views_of(*fresh, index);
    ASSERT_EQ(want["total"]["skipped"], 1);
    ASSERT_TRUE(scan::save_cache(o, *fresh).ok());

    const std::string path = *o.cache_dir + "/" + cache::file_name(fresh->root);
    std::ifstream in(path, std::ios::binary);
    const std::string base{std::istreambuf_iterator<char>(in), {}};
    Result<ScanResult> clean = run(o);
    ASSERT_TRUE(clean.ok());
    ASSERT_TRUE(clean->cache_used);
    ASSERT_EQ(clean->listed, 0u);
    ASSERT_EQ(views_of(*clean, index), want);

    // Half the variants get one bit flipped, half an 8-byte value (a huge length, count or
    // size) written over any spot.
    std::mt19937_64 rng(12);
    int used = 0;
    for (int i = 0; i < 300; ++i) {
        std::string s = base;
        std::size_t at = static_cast<std::size_t>(rng() % s.size());
        if (i % 2) {
            s[at] ^= static_cast<char>(1u << (rng() % 8));
        } else {
            uint64_t v = huge(rng);
            for (int k = 0; k < 8 && at + k < s.size(); ++k)
                s[at + k] = static_cast<char>(v >> (8 * k));
        }
        if (s == base) continue;  // the value written was already there
        std::ofstream(path, std::ios::binary | std::ios::trunc) << s;
        Result<ScanResult> r = run(o);
        ASSERT_TRUE(r.ok());
        used += r->cache_used ? 1 : 0;
        ASSERT_EQ(views_of(*r, index), want) << i << " at " << at;
    }
    EXPECT_EQ(used, 0);
}

}  // namespace
}  // namespace bwcore
