#include <gtest/gtest.h>

#include "fixture.hpp"
#include "scan.hpp"
#include "sizes.hpp"
#include "tree.hpp"
#include "views.hpp"
#include "walk.hpp"

namespace bwcore {
namespace {

using json = nlohmann::json;

TEST(Sizes, PathWithNulNeverReachesTheDisk) {
    // Cut at the NUL, this would measure the root of the file system.
    std::string path("/\0nothing", 9);
    json row = sizes::measure(path, std::nullopt, Rules::defaults(), false);
    EXPECT_EQ(row["root_blocked"], "error");
    EXPECT_EQ(row["allocated"], 0);
    EXPECT_EQ(row["skipped"], json::array({json::array({path, "error"})}));
}

TEST(Sizes, HardLinksInsideTheFolderCountOnceOutsideInFull) {
    bwtest::Fixture fx;
    ASSERT_TRUE(fx.make_dir("in"));
    ASSERT_TRUE(fx.make_dir("out"));
    ASSERT_TRUE(fx.write_file("in/a", 200000));
    ASSERT_TRUE(fx.hard_link("in/a", "in/b"));
    ASSERT_TRUE(fx.hard_link("in/a", "out/c"));
    auto rows = sizes::measure_many({fx.path("in"), fx.path("out")}, std::nullopt,
                                    Rules::defaults(), 2, false);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["files"], 1);
    EXPECT_GE(rows[0]["logical"].get<uint64_t>(), 200000u);
    EXPECT_LT(rows[0]["logical"].get<uint64_t>(), 400000u);
    EXPECT_EQ(rows[1]["files"], 1);

    // From a scanned tree the same rule holds: the other folder's name does not hide the file.
    walk::Counters counters;
    ScanOptions opt(fx.root());
    opt.use_cache = false;
    opt.fsevents = false;
    opt.cache_dir = fx.path("cache-unused");
    auto result = scan::scan(opt, counters, [](std::string_view, const json&) {});
    ASSERT_TRUE(result.ok());
    const Node* out = scan::find(result->node, result->root, fx.path("out"));
    ASSERT_NE(out, nullptr);
    json row = sizes::from_tree(fx.path("out"), *out);
    EXPECT_EQ(row["files"], 1);
    EXPECT_EQ(row["dirs"], 1);
    EXPECT_EQ(row["root_blocked"], "");
    EXPECT_EQ(sizes::from_tree(fx.root(), result->node)["files"], 1);
}

TEST(Sizes, RowsKeepInputOrderAndUseTheRowKeys) {
    bwtest::Fixture fx;
    std::vector<std::string> paths;
    for (int i = 0; i < 40; ++i) {
        std::string name = "f" + std::to_string(i);
        ASSERT_TRUE(fx.write_file(name, static_cast<uint64_t>(i)));
        paths.push_back(fx.path(name));
    }
    auto rows = sizes::measure_many(paths, std::nullopt, Rules::defaults(), 8, false);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(rows[i]["path"], paths[i]);
        EXPECT_EQ(rows[i]["logical"], i);
    }
    json row = sizes::out("p", Agg{}, "", json::array());
    for (const char* k : {"allocated", "dataless", "dirs", "files", "logical", "mtime", "partial",
                          "path", "protected", "root_blocked", "skipped", "skipped_count"})
        EXPECT_TRUE(row.contains(k)) << k;
    EXPECT_EQ(row.size(), 12u);
}

// A folder whose path is longer than the kernel takes whole is measured as du measures it, and
// so is a path given that long; the row is complete.
TEST(Sizes, PathsPastTheLimitAreMeasuredLikeDu) {
    bwtest::Fixture fx;
    ASSERT_TRUE(fx.make_dir("long"));
    ASSERT_TRUE(fx.chain("long", 40, 250, 70000));  // about 10,000 bytes of path
    std::string deep = fx.path("long");
    for (int i = 0; i < 20; ++i)
        deep += "/" + std::string(250, 'n');
    for (bool generic : {false, true}) {
        auto rows = sizes::measure_many({fx.path("long"), deep, deep + "/f"}, std::nullopt,
                                        Rules::defaults(), 2, generic);
        EXPECT_EQ(rows[0]["allocated"], bwtest::du_bytes(fx.path("long"))) << generic;
        EXPECT_EQ(rows[0]["files"], 40);
        EXPECT_EQ(rows[0]["dirs"], 41);
        EXPECT_EQ(rows[0]["partial"], false);
        EXPECT_EQ(rows[0]["skipped"], json::array());
        EXPECT_EQ(rows[1]["files"], 21);  // its own file and the 20 below
        EXPECT_EQ(rows[1]["root_blocked"], "");
        EXPECT_EQ(rows[1]["path"], deep);
        EXPECT_EQ(rows[2]["files"], 1);
        EXPECT_EQ(rows[2]["logical"], 70000);
    }
    EXPECT_TRUE(fx.remove_chain("long"));
}

// A folder that cannot be listed is a skip like any other: counted and sampled, with the row
// still whole ("partial" false), whether it is the measured folder itself, one below it (here too
// deep to walk into) or met in a scanned tree.
TEST(Sizes, AFolderThatCannotBeListedIsASkipNotAPartialRow) {
    bwtest::Fixture fx;
    ASSERT_TRUE(fx.make_dir("a"));
    ASSERT_TRUE(fx.write_file("a/f", 5000));
    json row;
    {
        bwtest::NoFreeDescriptors shut;  // opening the folder fails
        row = sizes::measure(fx.path("a"), std::nullopt, Rules::defaults(), false);
    }
    EXPECT_EQ(row["partial"], false);
    EXPECT_EQ(row["root_blocked"], "");
    EXPECT_EQ(row["skipped_count"], 1);
    EXPECT_EQ(row["skipped"], json::array({json::array({fx.path("a"), "error"})}));

    ASSERT_TRUE(fx.make_dir("d"));
    ASSERT_TRUE(fx.chain("d", walk::MAX_LEVELS + 10, 1, 0));
    auto check = [](const json& r, const char* how) {
        EXPECT_EQ(r["partial"], false) << how;
        EXPECT_EQ(r["root_blocked"], "") << how;
        EXPECT_EQ(r["skipped_count"], 1) << how;
        ASSERT_EQ(r["skipped"].size(), 1u) << how;
        EXPECT_EQ(r["skipped"][0][1], std::string(walk::TOO_DEEP)) << how;
    };
    check(sizes::measure_many({fx.path("d")}, std::nullopt, Rules::defaults(), 2, false)[0],
          "measured");

    walk::Counters counters;
    ScanOptions opt(fx.path("d"));
    opt.use_cache = false;
    opt.fsevents = false;
    opt.cache_dir = fx.path("cache-unused");
    auto result = scan::scan(opt, counters, [](std::string_view, const json&) {});
    ASSERT_TRUE(result.ok());
    check(sizes::from_tree(fx.path("d"), result->node), "tree");
    const Node* below = scan::find(result->node, result->root, fx.path("d/n"));
    ASSERT_NE(below, nullptr);
    check(sizes::from_tree(fx.path("d/n"), *below), "tree below");
    EXPECT_TRUE(fx.remove_chain("d"));
}

}  // namespace
}  // namespace bwcore
