#include <gtest/gtest.h>

#include "ListKeys.hpp"

namespace virirado {
namespace {

using Kind = ListIntent::Kind;

VadeRow row(std::string id) {
    VadeRow r;
    r.id = std::move(id);
    r.name = r.id;
    r.size = 10;
    return r;
}

// caches (c1, c2), sims (s1), empty (no rows), in this order.
struct Keys {
    std::vector<VadeRow> caches{row("c1"), row("c2")};
    std::vector<VadeRow> sims{row("s1")};
    std::vector<TreeGroup> groups{
        {"caches", "Caches", refsOf(caches), ""},
        {"sims", "Simulators", refsOf(sims), ""},
        {"empty", "Empty", {}, ""},
    };
    std::set<std::string> expanded;
    bool forceOpen = false;

    ListIntent press(ListKey key, std::optional<std::string> selection) const {
        const auto lines = listLines(groups, forceOpen, expanded);
        return listKeyIntent(key, {groups, lines, selection, forceOpen, expanded});
    }
    ListIntent select(const std::string& id) const { return {Kind::select, id, nullptr, 0}; }
};

TEST(ListKeys, EmptyListDoesNothing) {
    std::vector<TreeGroup> none;
    std::vector<ListLine> lines;
    std::set<std::string> expanded;
    for (const std::optional<std::string>& sel :
         {std::optional<std::string>(), std::optional<std::string>("a")}) {
        for (ListKey key :
             {ListKey::up, ListKey::down, ListKey::left, ListKey::right, ListKey::space}) {
            EXPECT_EQ(listKeyIntent(key, {none, lines, sel, false, expanded}).kind, Kind::none);
        }
    }
}

TEST(ListKeys, UpAndDownWalkTheVisibleLines) {
    Keys k;
    k.expanded = {"caches"};
    // No selection, or one that names no line: the first line, whatever the step.
    for (const auto& sel : {std::optional<std::string>(), std::optional<std::string>("fresh")}) {
        EXPECT_EQ(k.press(ListKey::up, sel), k.select("group:caches"));
        EXPECT_EQ(k.press(ListKey::down, sel), k.select("group:caches"));
    }
    // Down from an open group enters its rows; from a folded one, the next group.
    EXPECT_EQ(k.press(ListKey::down, "group:caches"), k.select("c1"));
    EXPECT_EQ(k.press(ListKey::down, "c2"), k.select("group:sims"));
    EXPECT_EQ(k.press(ListKey::down, "group:sims"), k.select("group:empty"));
    EXPECT_EQ(k.press(ListKey::up, "group:sims"), k.select("c2"));
    // No wrap-around: the ends select themselves again.
    EXPECT_EQ(k.press(ListKey::down, "group:empty"), k.select("group:empty"));
    EXPECT_EQ(k.press(ListKey::up, "group:caches"), k.select("group:caches"));
    // A row of a folded group is no line: treated as no selection.
    EXPECT_EQ(k.press(ListKey::down, "s1"), k.select("group:caches"));
}

TEST(ListKeys, LeftGoesToTheGroupThenFolds) {
    Keys k;
    k.expanded = {"caches"};
    // From a row to its group line; the group stays open.
    EXPECT_EQ(k.press(ListKey::left, "c2"), k.select("group:caches"));
    EXPECT_EQ(k.press(ListKey::left, "group:caches"), (ListIntent{Kind::fold, "", nullptr, 0}));
    // Folded already: nothing.
    EXPECT_EQ(k.press(ListKey::left, "group:sims").kind, Kind::none);
    // A row hidden in a folded group still finds its group.
    EXPECT_EQ(k.press(ListKey::left, "s1"), k.select("group:sims"));
    EXPECT_EQ(k.press(ListKey::left, std::nullopt).kind, Kind::none);
    EXPECT_EQ(k.press(ListKey::left, "other").kind, Kind::none);

    k.forceOpen = true;
    EXPECT_EQ(k.press(ListKey::left, "group:caches").kind, Kind::none);
    EXPECT_EQ(k.press(ListKey::left, "c1"), k.select("group:caches"));
}

TEST(ListKeys, RightOpensThenEntersTheGroup) {
    Keys k;
    EXPECT_EQ(k.press(ListKey::right, "group:sims"), (ListIntent{Kind::open, "", nullptr, 1}));
    k.expanded = {"sims", "empty"};
    EXPECT_EQ(k.press(ListKey::right, "group:sims"), k.select("s1"));
    EXPECT_EQ(k.press(ListKey::right, "s1").kind, Kind::none);
    // Open but without rows: nothing.
    EXPECT_EQ(k.press(ListKey::right, "group:empty").kind, Kind::none);
    EXPECT_EQ(k.press(ListKey::right, std::nullopt).kind, Kind::none);

    // Forced open: straight to the first row, never an open request.
    k.expanded.clear();
    k.forceOpen = true;
    EXPECT_EQ(k.press(ListKey::right, "group:caches"), k.select("c1"));
    EXPECT_EQ(k.press(ListKey::right, "group:empty").kind, Kind::none);
}

TEST(ListKeys, SpaceTicksTheRowOrTheGroup) {
    Keys k;
    k.expanded = {"caches"};
    EXPECT_EQ(k.press(ListKey::space, "group:sims"), (ListIntent{Kind::tickGroup, "", nullptr, 1}));
    EXPECT_EQ(k.press(ListKey::space, "c2"), (ListIntent{Kind::tickRow, "", &k.caches[1], 0}));
    // A row of a folded group is ticked too; untickable rows are passed on.
    k.sims[0].tickable = false;
    EXPECT_EQ(k.press(ListKey::space, "s1"), (ListIntent{Kind::tickRow, "", &k.sims[0], 1}));
    EXPECT_EQ(k.press(ListKey::space, "fresh").kind, Kind::none);
    EXPECT_EQ(k.press(ListKey::space, std::nullopt).kind, Kind::none);
}

}  // namespace
}  // namespace virirado
