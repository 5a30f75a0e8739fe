#include <gtest/gtest.h>

#include "RowGroups.hpp"

namespace virirado {
namespace {

VadeRow row(std::string id, std::string category, int64_t size, int64_t realistic = 0) {
    VadeRow r;
    r.id = std::move(id);
    r.name = r.id;
    r.category = std::move(category);
    r.size = size;
    r.realistic = realistic;
    r.tickable = true;
    r.safety = "safe";
    return r;
}

VadeRow named(std::string name, std::string category = "caches", std::string kind = "") {
    VadeRow r = row("x", std::move(category), 1);
    r.name = std::move(name);
    r.kind = std::move(kind);
    return r;
}

TEST(RowGroups, KeysAndTitles) {
    VadeRow download = row("d", "downloads", 10);
    download.kind = "download";
    download.ext = "pdf";
    EXPECT_EQ(groupKey(download), "type:documents");
    EXPECT_EQ(groupTitle("type:documents"), "PDFs & documents");
    EXPECT_EQ(groupSymbol("type:documents"), "doc.text");

    VadeRow folder = download;
    folder.kind = "download-folder";
    EXPECT_EQ(groupKey(folder), "downloads");
    EXPECT_EQ(groupSymbol("downloads"), "");

    EXPECT_EQ(groupTitle("runtimes"), "Simulator runtimes");
    EXPECT_EQ(groupTitle("vms"), "Virtual machines");
    EXPECT_EQ(groupTitle("Vms"), "Vms");
    EXPECT_EQ(groupTitle("cloud"), "Cloud");
    EXPECT_EQ(groupTitle(""), "Item");
    EXPECT_EQ(groupTitle("type:xyz"), "Type:xyz");
    EXPECT_EQ(groupTitle("derived"), "DerivedData");
    EXPECT_EQ(groupTitle("\u00E9t\u00E9"), "\u00C9t\u00E9");
}

TEST(RowGroups, KindTitles) {
    VadeRow r = row("a", "sims", 1);
    r.kind = "rustup-toolchain";
    EXPECT_EQ(kindTitle(r), "Rust toolchain");
    // Grouped by file type, yet without a title of its own.
    r.kind = "duplicate";
    EXPECT_EQ(kindTitle(r), "Simulators");
    r.kind = "unknown-kind";
    r.category = "mystery";
    EXPECT_EQ(kindTitle(r), "mystery");
}

TEST(RowGroups, ShortNames) {
    EXPECT_EQ(shortName(named("DerivedData \u00B7 MyApp-abcdefghijklmnop", "derived")), "MyApp");
    EXPECT_EQ(shortName(named("Big file: a.b")), "a.b");
    EXPECT_EQ(shortName(named("Big file: ab")), "Big file: ab");
    EXPECT_EQ(shortName(named("Report (2).pdf")), "Report");
    EXPECT_EQ(shortName(named("(old) notes")), "(old) notes");
    EXPECT_EQ(shortName(named("backup-0123456789ab")), "backup");
    EXPECT_EQ(shortName(named("backup-0123456789a")), "backup-0123456789a");
    EXPECT_EQ(shortName(named("backup_0123456789abXYZ")), "backup");
    EXPECT_EQ(shortName(named(" \u00B7 :- -")), " \u00B7 :- -");
    EXPECT_EQ(shortName(named("simulator runtime: iOS 17", "sims")), "iOS 17");
    EXPECT_EQ(shortName(named("Simulator runtime iOS 26.4 (23E244, used 1 d ago)", "sims")),
              "iOS 26.4");
    // Several prefixes come off one after another.
    EXPECT_EQ(shortName(named("Dev build: Big file \u00B7 thing", "caches", "devbuild")), "thing");
    // A prefix that would leave fewer than three characters stays.
    EXPECT_EQ(shortName(named("Caches: ab", "caches")), "Caches: ab");
    EXPECT_EQ(shortName(named("caches: abc", "caches")), "abc");
}

TEST(RowGroups, TickStateAndSums) {
    VadeRow a = row("a", "c", 900, 5);
    VadeRow b = row("b", "c", 100, 0);
    VadeRow c = row("c", "c", 50, -3);
    c.tickable = false;
    c.ticked = true;
    const auto groups = vadeGroups({&a, &b, &c});
    ASSERT_EQ(groups.size(), 1u);
    const TreeGroup& g = groups[0];
    EXPECT_EQ(g.id(), "group:c");
    EXPECT_EQ(g.back(), 5 + 100 + 50);
    EXPECT_EQ(g.tickedCount(), 1);
    EXPECT_EQ(g.tickedBack(), 50);
    // The only ticked row cannot be ticked now: the group reads as not ticked.
    EXPECT_EQ(g.state(), TreeGroup::State::none);
    a.ticked = true;
    EXPECT_EQ(vadeGroups({&a, &b, &c})[0].state(), TreeGroup::State::partial);
    b.ticked = true;
    EXPECT_EQ(vadeGroups({&a, &b, &c})[0].state(), TreeGroup::State::all);

    c.tickable = false;
    const auto lone = vadeGroups({&c});
    EXPECT_TRUE(lone[0].tickable().empty());
    EXPECT_EQ(lone[0].state(), TreeGroup::State::none);
    EXPECT_TRUE(vadeGroups({}).empty());
}

TEST(RowGroups, OrderOfRowsAndGroups) {
    VadeRow small = row("small", "b", 10);
    VadeRow big = row("big", "b", 5, 40);
    VadeRow sameBackBiggerSize = row("same", "b", 500, 40);
    VadeRow tieA = row("tie-a", "b", 7);
    VadeRow tieB = row("tie-b", "b", 7);
    const auto groups = vadeGroups({&small, &big, &tieA, &sameBackBiggerSize, &tieB});
    std::vector<std::string> order;
    for (const VadeRow* r : groups[0].rows)
        order.push_back(r->id);
    EXPECT_EQ(order, (std::vector<std::string>{"same", "big", "small", "tie-a", "tie-b"}));

    // Equal back: the larger size sum first; equal in both: by key.
    VadeRow x1 = row("x1", "x", 100);
    VadeRow y1 = row("y1", "y", 10, 100);
    VadeRow z1 = row("z1", "z", 100);
    const auto ordered = vadeGroups({&y1, &z1, &x1});
    ASSERT_EQ(ordered.size(), 3u);
    EXPECT_EQ(ordered[0].key, "x");
    EXPECT_EQ(ordered[1].key, "z");
    EXPECT_EQ(ordered[2].key, "y");
}

TEST(RowGroups, EqualityComparesRowsByValue) {
    VadeRow a = row("a", "c", 1);
    VadeRow copy = a;
    EXPECT_EQ(vadeGroups({&a}), vadeGroups({&copy}));
    copy.ticked = true;
    EXPECT_NE(vadeGroups({&a}), vadeGroups({&copy}));
}

}  // namespace
}  // namespace virirado
