// Mutation test of the cache reader: thousands of damaged variants of a real cache file must
// each be refused or decoded exactly, never crash, hang or allocate without bound.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "bincode.hpp"
#include "cache.hpp"

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
        c.own = Agg{uint64_t(i), 2, 3, 0, 5, 0, 1, 0};
        c.links.push_back(LinkRec{"ln", 1, uint64_t(i), 10, 10, 1});
        c.files.push_back(FileRec{"big" + std::to_string(i), 2000000, 2000000, 7, 8});
        c.skipped.push_back(SkipSample{"/home/fuzz/x", "permission"});
        c.marker = i % 2 ? "Cargo.toml" : "";
        for (int j = 0; j < 3; ++j) {
            Node g;
            g.name = "g" + std::to_string(j);
            g.all_files.push_back(FileRec{"f", 1, 1, 1, 1});
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

// A decoded variant must be exactly what its leading bytes encode.
void check_variant(const std::string& bytes) {
    check_decoders_agree(bytes);
    std::optional<CacheBody> got = bincode::decode(bytes);
    if (!got) return;
    std::string again = bincode::encode(*got);
    ASSERT_LE(again.size(), bytes.size());
    ASSERT_EQ(bytes.compare(0, again.size(), again), 0);
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
    const std::string base = bincode::encode(real_body());
    ASSERT_TRUE(bincode::decode(base));
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
            std::string again = bincode::encode(*got);
            EXPECT_EQ(s.compare(0, again.size(), again), 0);
        }
    }
    EXPECT_LT(loaded, 400);  // truncated variants never load
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace bwcore
