#include <gtest/gtest.h>

#include <string>

#include "bincode.hpp"
#include "cache_check.hpp"
#include "cache_sample.hpp"

namespace bwcore {
namespace {

using bwtest::sample_body;

// Known answers of XXH64 with seed 0, and the same value however the input is cut up.
TEST(CacheCodec, ChecksumIsXxh64InAnyPieces) {
    EXPECT_EQ(cache_check::checksum(""), 0xef46db3751d8e999ULL);
    EXPECT_EQ(cache_check::checksum("a"), 0xd24ec4f1a98c6e5bULL);
    EXPECT_EQ(cache_check::checksum("abc"), 0x44bc2cf5ad770999ULL);
    EXPECT_EQ(cache_check::checksum("0123456789abcdef0123456789abcdef!"), 0x8afff4daac4e677eULL);
    std::string long_input;
    for (int r = 0; r < 4; ++r)
        for (int i = 0; i < 256; ++i)
            long_input.push_back(static_cast<char>(i));
    long_input += "xyz";
    EXPECT_EQ(cache_check::checksum(long_input), 0xe146cb31b65bc21aULL);
    for (std::size_t a = 0; a < 80; a += 3) {
        for (std::size_t b = a; b < 200; b += 7) {
            cache_check::Sum s;
            s.add(std::string_view(long_input).substr(0, a));
            s.add(std::string_view(long_input).substr(a, b - a));
            s.add(std::string_view(long_input).substr(b));
            ASSERT_EQ(s.value(), 0xe146cb31b65bc21aULL) << a << " " << b;
        }
    }
}

// Each folder's numbers must agree with its records; a file whose checksum is right but whose
// tree does not add up (a writer's fault, or damage the checksum missed) is not used.
TEST(CacheCodec, NumbersThatDoNotAddUpAreRefused) {
    const CacheBody good = sample_body();
    ASSERT_TRUE(bincode::decode(bincode::encode(good)));
    auto refused = [&](auto change) {
        CacheBody b = good;
        change(b.node, b.node.children[0].children[0]);
        return !bincode::decode(bincode::encode(b)).has_value();
    };
    // No folder stores a folder count: a folder counts itself when the tree is settled.
    EXPECT_TRUE(refused([](Node& r, Node&) { r.own.dirs = 1; }));
    EXPECT_TRUE(refused([](Node&, Node& g) { g.own.dirs = 175921860444163ULL; }));
    // One sample for each of the first four skips.
    EXPECT_TRUE(refused([](Node& r, Node&) { r.own.skipped = 1; }));
    EXPECT_TRUE(refused([](Node& r, Node&) { r.own.skipped = 9; }));
    EXPECT_TRUE(refused([](Node&, Node& g) { g.own.skipped = 1; }));
    EXPECT_TRUE(refused([](Node& r, Node&) {
        r.own.skipped = 5;
        r.skipped.resize(5, SkipSample{"/r/z", "protected"});
    }));
    EXPECT_FALSE(refused([](Node& r, Node&) {
        r.own.skipped = 1000;
        r.skipped.resize(4, SkipSample{"/r/z", "protected"});
    }));
    // A folder that keeps every file: its own totals are their sums.
    EXPECT_TRUE(refused([](Node& r, Node&) { r.own.files += 1; }));
    EXPECT_TRUE(refused([](Node& r, Node&) { r.own.files -= 1; }));
    EXPECT_TRUE(refused([](Node& r, Node&) { r.own.alloc += 4096; }));
    EXPECT_TRUE(refused([](Node& r, Node&) { r.own.logical -= 1; }));
    EXPECT_TRUE(refused([](Node& r, Node&) { r.own.mtime = 1; }));
    EXPECT_TRUE(refused([](Node& r, Node&) { r.all_files[0].alloc = 1ULL << 40; }));
    EXPECT_TRUE(refused([](Node& r, Node&) { r.all_files.pop_back(); }));
    EXPECT_FALSE(refused([](Node& r, Node&) { r.own.mtime += 1; }));  // a file since changed
    // Otherwise they hold at least every big file with one link.
    EXPECT_TRUE(refused([](Node&, Node& g) { g.own.alloc = 8; }));
    EXPECT_TRUE(refused([](Node&, Node& g) { g.own.files = 0; }));
    EXPECT_TRUE(refused([](Node&, Node& g) { g.own.logical = 0; }));
    EXPECT_TRUE(refused([](Node&, Node& g) { g.own.mtime = 8; }));
    EXPECT_TRUE(refused([](Node&, Node& g) { g.files[0].alloc = 1ULL << 50; }));
    EXPECT_FALSE(refused([](Node&, Node& g) { g.own.alloc = 1ULL << 50; }));
    // A hard-linked big file is recorded as its link is.
    EXPECT_TRUE(refused([](Node& r, Node&) { r.files[1].alloc = 6; }));
    EXPECT_TRUE(refused([](Node& r, Node&) { r.files[1].ino = 5; }));
    EXPECT_TRUE(refused([](Node& r, Node&) { r.links[0].mtime = 70; }));
    // The same among many links, found through their sorted names.
    EXPECT_FALSE(refused([](Node& r, Node&) {
        for (int i = 0; i < 40; ++i)
            r.links.push_back(LinkRec{"l" + std::to_string(i), 1, uint64_t(i), 1, 1, 1});
        r.files.push_back(FileRec{"l17", 1, 1, 1, 17});
    }));
    EXPECT_TRUE(refused([](Node& r, Node&) {
        for (int i = 0; i < 40; ++i)
            r.links.push_back(LinkRec{"l" + std::to_string(i), 1, uint64_t(i), 1, 1, 1});
        r.files.push_back(FileRec{"l17", 1, 1, 1, 18});
    }));
}

// Every stored name is joined to its folder's path by a later scan: a name that is not a single
// entry of the folder would lead it elsewhere, so the file is not used. The top folder's own
// name is never joined (it is "" for "/").
TEST(CacheCodec, NamesThatAreNotOneEntryAreRefused) {
    const CacheBody good = sample_body();
    ASSERT_TRUE(bincode::decode(bincode::encode(good)));
    auto refused = [&](auto change) {
        CacheBody b = good;
        change(b.node, b.node.children[0]);
        return !bincode::decode(bincode::encode(b)).has_value();
    };
    for (std::string bad :
         {std::string(""), std::string("."), std::string(".."), std::string("../../../../etc"),
          std::string("a/b"), std::string("/"), std::string("kid/"), std::string("a\0b", 3)}) {
        EXPECT_TRUE(refused([&](Node&, Node& kid) { kid.name = bad; })) << bad;
        EXPECT_TRUE(refused([&](Node&, Node& kid) { kid.children[0].name = bad; })) << bad;
        EXPECT_TRUE(refused([&](Node& r, Node&) { r.links[0].name = bad; })) << bad;
        EXPECT_TRUE(refused([&](Node& r, Node&) { r.all_files[0].name = bad; })) << bad;
        EXPECT_TRUE(refused([&](Node&, Node& kid) { kid.children[0].files[0].name = bad; })) << bad;
    }
    // Names a folder listing can give, dots and all.
    for (std::string fine : {"...", ".hidden", "a..b", "x.", "\\", " "})
        EXPECT_FALSE(refused([&](Node&, Node& kid) { kid.name = fine; })) << fine;
    // Whatever the top folder is called.
    for (std::string top : {"", "/", "/home/u", "..", "/x/"})
        EXPECT_FALSE(refused([&](Node& r, Node&) { r.name = top; })) << top;
}

}  // namespace
}  // namespace bwcore
