#include <gtest/gtest.h>

#include "CleanupLines.hpp"

namespace virirado {
namespace {

VadeRow row(std::string id, int64_t size) {
    VadeRow r;
    r.id = std::move(id);
    r.name = r.id;
    r.size = size;
    return r;
}

struct ThreeGroups {
    std::vector<VadeRow> caches{row("c1", 300), row("c2", 200)};
    std::vector<VadeRow> sims{row("s1", 100)};
    std::vector<TreeGroup> groups{
        {"caches", "Caches", refsOf(caches), ""},
        {"sims", "Simulators", refsOf(sims), ""},
        {"empty", "Empty", {}, ""},
    };

    std::vector<std::string> ids(bool forceOpen, const std::set<std::string>& expanded) const {
        std::vector<std::string> out;
        for (const ListLine& line : listLines(groups, forceOpen, expanded))
            out.push_back(lineId(line, groups));
        return out;
    }
};

TEST(CleanupLines, FoldedOpenAndForcedOpenGroups) {
    ThreeGroups t;
    using V = std::vector<std::string>;
    EXPECT_EQ(t.ids(false, {}), (V{"group:caches", "group:sims", "group:empty"}));
    EXPECT_EQ(t.ids(false, {"caches"}),
              (V{"group:caches", "c1", "c2", "group:sims", "group:empty"}));
    // A key that names no group opens nothing.
    EXPECT_EQ(t.ids(false, {"sims", "gone"}),
              (V{"group:caches", "group:sims", "s1", "group:empty"}));
    // A query forces every group open, whatever is saved.
    EXPECT_EQ(t.ids(true, {}), (V{"group:caches", "c1", "c2", "group:sims", "s1", "group:empty"}));

    const auto lines = listLines(t.groups, true, {});
    EXPECT_FALSE(lines[1].last);
    EXPECT_TRUE(lines[2].last);
    EXPECT_TRUE(lines[4].last);
    EXPECT_EQ(lines[4].group, 1u);
    EXPECT_EQ(lines[4].row, &t.sims[0]);

    EXPECT_TRUE(listLines({}, true, {"x"}).empty());
}

TEST(CleanupLines, FindingLinesAndGroups) {
    ThreeGroups t;
    const auto folded = listLines(t.groups, false, {});
    EXPECT_EQ(lineIndex(folded, t.groups, "group:sims"), 1u);
    // A row of a folded group has no line, but still has its group.
    EXPECT_EQ(lineIndex(folded, t.groups, "s1"), std::nullopt);
    EXPECT_EQ(groupOf(t.groups, "s1"), 1u);
    EXPECT_EQ(groupOf(t.groups, "group:empty"), 2u);
    EXPECT_EQ(groupOf(t.groups, "fresh"), std::nullopt);
    EXPECT_EQ(groupOf(t.groups, "group:"), std::nullopt);

    // A row whose id looks like a group id is still found as a row.
    std::vector<VadeRow> odd{row("group:sims", 5)};
    std::vector<TreeGroup> groups{{"x", "X", refsOf(odd), ""}, {"sims", "S", {}, ""}};
    const auto lines = listLines(groups, true, {});
    EXPECT_EQ(lineIndex(lines, groups, "group:sims"), 2u);
    EXPECT_EQ(groupOf(groups, "group:sims"), 0u);

    EXPECT_EQ(toggledOpen({"a", "b"}, "a"), (std::set<std::string>{"b"}));
    EXPECT_EQ(toggledOpen({"b"}, "a"), (std::set<std::string>{"a", "b"}));
}

TEST(CleanupLines, GroupMenuActsOnTheFirstRowsFolder) {
    EXPECT_EQ(parentFolder("/a/b/c"), "/a/b");
    EXPECT_EQ(parentFolder("/a/b/"), "/a");
    EXPECT_EQ(parentFolder("/a"), "/");
    EXPECT_EQ(parentFolder("/"), "/");
    EXPECT_EQ(parentFolder("~/Downloads/x.dmg"), "~/Downloads");
    EXPECT_EQ(parentFolder("~"), "");
    EXPECT_EQ(parentFolder("name"), "");
    EXPECT_EQ(parentFolder("//a"), "/");

    VadeRow none = row("n", 1);
    VadeRow blank = row("b", 1);
    blank.path = "";
    VadeRow first = row("f", 1);
    first.path = "/home/al/Library/Caches/Homebrew";
    VadeRow second = row("s", 1);
    second.path = "/elsewhere/x";
    EXPECT_EQ(groupMenuPath({"k", "K", {&none, &blank, &first, &second}, ""}),
              "/home/al/Library/Caches");
    EXPECT_EQ(groupMenuPath({"k", "K", {&none, &blank}, ""}), std::nullopt);
}

TEST(CleanupLines, VerticalLayout) {
    ThreeGroups t;
    const auto lines = listLines(t.groups, false, {"caches"});
    const ListLayout layout(lines);
    ASSERT_EQ(layout.size(), 5u);
    EXPECT_EQ(layout.top(1), 40);
    EXPECT_EQ(layout.height(1), 34);
    EXPECT_EQ(layout.top(3), 108);
    EXPECT_EQ(layout.total(), 40 + 34 + 34 + 40 + 40);

    EXPECT_EQ(layout.lineAt(0), 0u);
    EXPECT_EQ(layout.lineAt(39.9), 0u);
    EXPECT_EQ(layout.lineAt(40), 1u);
    EXPECT_EQ(layout.lineAt(187.9), 4u);
    EXPECT_EQ(layout.lineAt(188), std::nullopt);
    EXPECT_EQ(layout.lineAt(-1), std::nullopt);

    using P = std::pair<std::size_t, std::size_t>;
    EXPECT_EQ(layout.visible(0, 40), (P{0, 1}));
    EXPECT_EQ(layout.visible(39, 2), (P{0, 2}));
    EXPECT_EQ(layout.visible(50, 60), (P{1, 4}));
    EXPECT_EQ(layout.visible(500, 60), (P{5, 5}));
    EXPECT_EQ(layout.visible(0, 0), (P{0, 0}));
    EXPECT_EQ(ListLayout().visible(0, 100), (P{0, 0}));

    // Nearest edge: up to the top, down to the bottom, unchanged when shown.
    EXPECT_EQ(layout.offsetShowing(1, 60, 50), 40);
    EXPECT_EQ(layout.offsetShowing(4, 0, 100), 188 - 100);
    EXPECT_EQ(layout.offsetShowing(2, 40, 100), 40);
    EXPECT_EQ(layout.offsetShowing(9, 17, 100), 17);
    // A view lower than the line shows the line's top.
    EXPECT_EQ(layout.offsetShowing(3, 0, 20), 108);
}

TEST(CleanupLines, ChildLineParts) {
    const ChildGeometry g = childGeometry(600, 120, 40);
    EXPECT_EQ(g.tick.x, 600 - 10 - 26);
    EXPECT_EQ(g.tick.w, 26);
    EXPECT_EQ(g.button.x, 12);
    EXPECT_EQ(g.button.right(), g.tick.x - 8);
    EXPECT_EQ(g.figure.right(), g.button.right());
    EXPECT_EQ(g.figure.w, 86);
    EXPECT_EQ(g.guide.x, 12);
    EXPECT_EQ(g.guide.w, 22);
    EXPECT_EQ(g.name.x, 42);
    EXPECT_EQ(g.name.w, 120);
    EXPECT_EQ(g.badge.x, 42 + 120 + 8);

    // Too little room: the name gives way, the badge keeps its size and the
    // least spacer stays between badge and figure.
    const ChildGeometry narrow = childGeometry(300, 500, 40);
    EXPECT_EQ(narrow.badge.w, 40);
    EXPECT_EQ(narrow.badge.right() + 8 + 8 + 8, narrow.figure.x);
    EXPECT_LT(narrow.name.w, 500);
    // Narrower than the fixed parts: nothing negative.
    const ChildGeometry tiny = childGeometry(100, 50, 40);
    EXPECT_EQ(tiny.name.w, 0);
    EXPECT_GE(tiny.button.w, 0);
}

TEST(CleanupLines, GroupLineParts) {
    const GroupGeometry with = groupGeometry(600, true, 100, 24);
    EXPECT_EQ(with.button.x, 10);
    EXPECT_EQ(with.tick.x, 600 - 10 - 26);
    EXPECT_EQ(with.chevron.w, 14);
    EXPECT_EQ(with.symbol.x, 10 + 14 + 8);
    EXPECT_EQ(with.symbol.w, 16);
    EXPECT_EQ(with.title.x, 32 + 16 + 8);
    EXPECT_EQ(with.count.x, with.title.right() + 8);
    EXPECT_EQ(with.figure.right(), with.tick.x - 8);
    // The figure column lines up with the child lines' and the caption's.
    EXPECT_EQ(with.figure.x, childGeometry(600, 10, 10).figure.x);

    const GroupGeometry without = groupGeometry(600, false, 100, 24);
    EXPECT_EQ(without.symbol.w, 0);
    EXPECT_EQ(without.title.x, 32);
    EXPECT_LT(groupGeometry(250, false, 400, 24).title.w, 400);
}

}  // namespace
}  // namespace virirado
