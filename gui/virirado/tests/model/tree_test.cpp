#include <gtest/gtest.h>

#include "Tree.hpp"

using virirado::ItemRecord;
using virirado::makeTree;
using virirado::TreeNode;

namespace {

ItemRecord rec(std::string id, std::string category, int64_t size, int64_t realistic = 0) {
    ItemRecord r;
    r.id = r.label = std::move(id);
    r.category = std::move(category);
    r.size = size;
    r.realisticSize = realistic;
    return r;
}

std::vector<std::string> childIds(const TreeNode& n) {
    std::vector<std::string> ids;
    for (const auto& c : n.children.value_or(std::vector<TreeNode>{}))
        ids.push_back(c.id);
    return ids;
}

const TreeNode& child(const TreeNode& n, const std::string& id) {
    for (const auto& c : *n.children) {
        if (c.id == id) return c;
    }
    throw std::runtime_error("no child " + id);
}

}  // namespace

TEST(DisplayTree, GroupsComeInCategoryOrderThenByKey) {
    const auto root = makeTree(
        {rec("v", "vms", 1), rec("d", "downloads", 1), rec("z", "zeta", 1), rec("c", "caches", 1),
         rec("e", "", 1), rec("a", "alpha", 1), rec("r", "derived", 1)},
        {}, 0, 0, "");
    EXPECT_EQ(childIds(root),
              (std::vector<std::string>{"cat:caches", "cat:derived", "cat:downloads",
                                        "cat:", "cat:alpha", "cat:vms", "cat:zeta"}));
    EXPECT_EQ(child(root, "cat:").name, "Item");
    EXPECT_EQ(child(root, "cat:vms").name, "vms");
    EXPECT_EQ(child(root, "cat:derived").name, "DerivedData");
    EXPECT_EQ(root.name, "This disk");
    EXPECT_EQ(root.size, 7);
    EXPECT_EQ(virirado::categoryTitle("CACHES"), "CACHES");
    EXPECT_EQ(virirado::categoryTitle("fresh"), "Fresh water");
}

TEST(DisplayTree, FreshAndOtherShareTheDisk) {
    auto root = makeTree({rec("a", "caches", 50, 20), rec("b", "logs", 40, 5)}, {}, 30, 100, "Mac");
    EXPECT_EQ(childIds(root),
              (std::vector<std::string>{"fresh", "other", "cat:caches", "cat:logs"}));
    EXPECT_EQ(child(root, "fresh").size, 30);
    EXPECT_EQ(child(root, "other").size, 0);
    EXPECT_EQ(child(root, "other").why, "On the disk, and not in this cleanup list");
    EXPECT_EQ(root.size, 100);
    EXPECT_EQ(root.realisticSize, 30 + 0 + 25);
    EXPECT_EQ(root.name, "Mac");

    root = makeTree({rec("a", "caches", 40)}, {}, -5, 100, "");
    EXPECT_EQ(child(root, "fresh").size, 0);
    EXPECT_EQ(child(root, "other").size, 60);
}

TEST(DisplayTree, TickStatesRollUpToGroups) {
    auto info = rec("i", "caches", 1);
    info.safety = "info";
    auto blocked = rec("b", "caches", 1);
    blocked.blocked = "in use";
    auto lookOnly = rec("l", "caches", 1);
    lookOnly.action = "info";
    auto kept = rec("k", "caches", 1);
    kept.deletable = false;
    auto root = makeTree({info, blocked, lookOnly, kept}, {"i", "b"}, 0, 0, "");
    const auto& untickable = child(root, "cat:caches");
    EXPECT_TRUE(child(untickable, "i").ticked);
    for (const auto& item : *untickable.children)
        EXPECT_FALSE(item.tickable) << item.id;
    EXPECT_FALSE(untickable.tickable || untickable.ticked || untickable.mixed);

    const std::vector<ItemRecord> three{rec("a", "logs", 1), rec("b", "logs", 1),
                                        rec("c", "logs", 1)};
    auto some = child(makeTree(three, {"a"}, 0, 0, ""), "cat:logs");
    EXPECT_TRUE(some.tickable && !some.ticked && some.mixed);
    auto all = child(makeTree(three, {"a", "b", "c"}, 0, 0, ""), "cat:logs");
    EXPECT_TRUE(all.ticked && !all.mixed);
    auto none = child(makeTree(three, {}, 0, 0, ""), "cat:logs");
    EXPECT_TRUE(!none.ticked && !none.mixed && none.tickable);

    root = makeTree(three, {"a", "b", "c"}, 0, 0, "");
    EXPECT_FALSE(root.ticked || root.tickable || root.mixed);
    EXPECT_EQ(virirado::itemTargets(root).size(), 3u);
}

TEST(DisplayTree, MembersAndDates) {
    auto r = rec("r", "sims", 10);
    r.kind = "sim-runtime";
    r.modified = 100;
    auto m = rec("m", "", 7, 2);
    m.members = {rec("deep", "", 1)};
    auto typed = rec("t", "", 3);
    typed.kind = "cache";
    r.members = {m, typed};
    auto older = rec("o", "sims", 1);
    older.modified = 50;
    auto root = makeTree({r, older, rec("u", "logs", 1)}, {}, 0, 0, "");
    const auto& item = child(child(root, "cat:sims"), "r");
    ASSERT_EQ(item.children->size(), 2u);
    const auto& member = item.children->front();
    EXPECT_EQ(member.kind, "sim-runtime");
    EXPECT_EQ(member.realisticSize, 7);
    EXPECT_EQ(member.safety, "info");
    EXPECT_FALSE(member.children);
    EXPECT_EQ(member.parentID, "r");
    EXPECT_EQ(item.children->back().kind, "cache");
    EXPECT_EQ(child(root, "cat:sims").modified, 100.0);
    EXPECT_FALSE(child(root, "cat:logs").modified);
    EXPECT_EQ(child(root, "cat:sims").size, 11);  // members are not counted again
}

TEST(DisplayTree, HugeSizesSaturateInsteadOfWrapping) {
    auto root =
        makeTree({rec("a", "caches", INT64_MAX, INT64_MAX), rec("b", "caches", INT64_MAX, 1)}, {},
                 INT64_MAX, INT64_MAX, "");
    EXPECT_EQ(child(root, "cat:caches").size, INT64_MAX);
    EXPECT_EQ(child(root, "cat:caches").realisticSize, INT64_MAX);
    EXPECT_EQ(child(root, "other").size, 0);
    EXPECT_EQ(child(root, "fresh").size, INT64_MAX);
    EXPECT_EQ(root.realisticSize, INT64_MAX);
}

// A tree grown a few records at a time must be the tree made of all of them at
// once: groups appearing in their order, sums, dates, tick states and the
// made-up nodes, with and without a disk size.
TEST(DisplayTree, GrowingEqualsMakingAtOnce) {
    const char* const categories[] = {"logs", "zeta", "caches", "apps", "alpha", "temp", "trash"};
    const char* const safeties[] = {"safe", "review", "info", "safe"};
    std::vector<ItemRecord> all;
    std::set<std::string> ticked;
    uint64_t seed = 12345;
    auto next = [&seed] {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        return seed;
    };
    for (int i = 0; i < 400; ++i) {
        const uint64_t h = next();
        ItemRecord r = rec("r" + std::to_string(i), categories[h % 7],
                           h % 11 == 0 ? INT64_MAX / 3 : static_cast<int64_t>(h % 5000),
                           static_cast<int64_t>((h >> 8) % 3000));
        r.safety = safeties[(h >> 16) % 4];
        r.deletable = (h >> 20) % 9 != 0;
        r.fileCount = static_cast<int64_t>((h >> 24) % 50);
        if ((h >> 30) % 3 == 0) r.modified = static_cast<double>((h >> 32) % 100000);
        if ((h >> 34) % 5 == 0) {
            ItemRecord m = rec(r.id + "/m", "", 3);
            r.members.push_back(m);
        }
        if ((h >> 40) % 3 != 0) ticked.insert(r.id);
        all.push_back(std::move(r));
    }
    for (const auto& [free, total] :
         {std::pair<int64_t, int64_t>{300, 900'000}, {0, 0}, {INT64_MAX, INT64_MAX}}) {
        std::vector<ItemRecord> records;
        std::optional<TreeNode> grown;
        for (std::size_t at = 0; at < all.size();) {
            const std::size_t from = records.size();
            const std::size_t step = 1 + next() % 37;
            for (; at < all.size() && records.size() < from + step; ++at)
                records.push_back(all[at]);
            if (!grown) {
                grown = makeTree(records, ticked, free, total, "Mac");
            } else {
                virirado::appendToTree(*grown, records, from, ticked, free, total);
            }
            ASSERT_EQ(*grown, makeTree(records, ticked, free, total, "Mac"))
                << records.size() << " records, disk " << total;
        }
    }
    // A tree of no records yet takes its first ones too.
    TreeNode empty = makeTree({}, {}, 5, 100, "");
    virirado::appendToTree(empty, all, 0, ticked, 5, 100);
    EXPECT_EQ(empty, makeTree(all, ticked, 5, 100, ""));
}
