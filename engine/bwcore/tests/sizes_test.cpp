#include <gtest/gtest.h>

#include "fixture.hpp"
#include "scan.hpp"
#include "sizes.hpp"
#include "tree.hpp"
#include "views.hpp"

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

// Where the system refuses to list a folder inside, the row says it is partial and why; the
// same from a scanned tree. Skips by choice (a rule, another device) leave it complete.
TEST(Sizes, AFolderThatCannotBeListedMakesTheRowPartial) {
    bwtest::Fixture fx;
    ASSERT_TRUE(fx.make_dir("a"));
    ASSERT_TRUE(fx.write_file("a/f", 5000));
    EXPECT_EQ(sizes::measure(fx.path("a"), std::nullopt, Rules::defaults(), false)["partial"],
              false);
    json row;
    {
        bwtest::NoFreeDescriptors shut;  // opening the folder fails
        row = sizes::measure(fx.path("a"), std::nullopt, Rules::defaults(), false);
    }
    EXPECT_EQ(row["partial"], true);
    EXPECT_EQ(row["root_blocked"], "");
    EXPECT_EQ(row["skipped"], json::array({json::array({fx.path("a"), "error"})}));

    auto failed = [](std::string name, std::string path, std::string reason) {
        Node n;
        n.name = std::move(name);
        n.own.skipped = 1;
        n.skipped = {SkipSample{std::move(path), std::move(reason)}};
        return n;
    };
    Node top;
    top.name = "r";
    top.children.push_back(failed("x", "/r/x", "permission"));
    top.children.push_back(failed("y", "/r/y/z", "other-device"));  // an entry of y
    Node deep = failed("z", "/r/w/v/z", "Input/output error");
    Node w;
    w.name = "w";
    Node v;
    v.name = "v";
    v.children.push_back(std::move(deep));
    w.children.push_back(std::move(v));
    top.children.push_back(std::move(w));
    EXPECT_EQ(sizes::from_tree("/r", top)["partial"], true);
    EXPECT_EQ(sizes::from_tree("/r/x", top.children[0])["partial"], true);
    EXPECT_EQ(sizes::from_tree("/r/y", top.children[1])["partial"], false);
    EXPECT_EQ(sizes::from_tree("/r/w", top.children[2])["partial"], true);
    top.children.erase(top.children.begin());
    EXPECT_EQ(sizes::from_tree("/r", top)["partial"], true);  // still /r/w/v/z
    top.children.pop_back();
    EXPECT_EQ(sizes::from_tree("/r", top)["partial"], false);
    EXPECT_EQ(sizes::from_tree("/", top)["partial"], false);
}

}  // namespace
}  // namespace bwcore
