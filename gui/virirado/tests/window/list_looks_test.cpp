#include <gtest/gtest.h>

#include <functional>

#include "Format.hpp"
#include "ListLooks.hpp"
#include "ListPaneFace.hpp"

namespace virirado {
namespace {

VadeRow row(std::string safety, bool tickable, std::string blocked = "") {
    VadeRow r;
    r.id = "r";
    r.name = "Row";
    r.size = 9000;
    r.safety = std::move(safety);
    r.tickable = tickable;
    r.blocked = std::move(blocked);
    r.action = "trash";
    return r;
}

TEST(ListLooks, BadgeWordsTonesAndTips) {
    // The blocked reason wins over everything and is the tip.
    const Badge blocked = badgeOf(row("safe", false, "iCloud is syncing"));
    EXPECT_EQ(blocked.word, "BLOCKED");
    // A screen reader gets the word as written: a voice may spell out capitals.
    EXPECT_EQ(blocked.spoken, "Blocked");
    EXPECT_EQ(blocked.tone, BadgeTone::blocked);
    EXPECT_EQ(blocked.tip, "iCloud is syncing");

    const Badge lookOnly = badgeOf(row("safe", false));
    EXPECT_EQ(lookOnly.word, "LOOK ONLY");
    EXPECT_EQ(lookOnly.spoken, "Look only");
    EXPECT_EQ(lookOnly.tip, "Look only");

    const Badge check = badgeOf(row("review", true));
    EXPECT_EQ(check.word, "CHECK");
    EXPECT_EQ(check.tone, BadgeTone::check);
    EXPECT_EQ(check.tip, "Goes to Trash");

    VadeRow safe = row("safe", true);
    safe.action = "rm";
    EXPECT_EQ(badgeOf(safe).word, "SAFE");
    EXPECT_EQ(badgeOf(safe).tip, "Removed \u00B7 rebuildable");

    EXPECT_EQ(badgeOf(row("info", true)).word, "INFO");
    EXPECT_EQ(badgeOf(row("info", true)).tip, "Look only");
    // Any other tier shows itself, upper-cased, also beyond ASCII.
    const Badge odd = badgeOf(row("d\u00E9j\u00E0", true));
    EXPECT_EQ(odd.word, "D\u00C9J\u00C0");
    EXPECT_EQ(odd.spoken, "d\u00E9j\u00E0");
    EXPECT_EQ(odd.tone, BadgeTone::neutral);
    EXPECT_EQ(badgeOf(row("", true)).word, "");
}

TEST(ListLooks, BadgeColours) {
    EXPECT_EQ(badgeText(BadgeTone::blocked), (TintPair{{"#FFFFFF"}, {"#E6F1F8"}}));
    EXPECT_EQ(badgeFill(BadgeTone::blocked), (TintPair{{"#0F2A47"}, {"#1C3D5E"}}));
    EXPECT_EQ(badgeText(BadgeTone::check), (TintPair{{"#B8440C"}, {"#FFD2B3"}}));
    EXPECT_EQ(badgeFill(BadgeTone::check), (TintPair{{"#FFE3D1"}, {"#FF7A2F", 0.24}}));
    EXPECT_EQ(badgeText(BadgeTone::safe), (TintPair{{"#0E7F90"}, {"#BFEEF4"}}));
    EXPECT_EQ(badgeFill(BadgeTone::safe), (TintPair{{"#BFEEF4"}, {"#19B5C9", 0.22}}));
    // Look only and the neutral tiers: the quiet text on itself at 0.16.
    for (BadgeTone tone : {BadgeTone::lookOnly, BadgeTone::neutral}) {
        EXPECT_EQ(badgeText(tone), (TintPair{{"#4F6B82"}, {"#9DB7CC"}}));
        EXPECT_EQ(badgeFill(tone), (TintPair{{"#4F6B82", 0.16}, {"#9DB7CC", 0.16}}));
    }
    EXPECT_EQ(badgeFill(BadgeTone::check).of(true).opacity, 0.24);
}

TEST(ListLooks, GetsBackFigures) {
    VadeRow r = row("safe", true);
    r.size = 0;
    r.realistic = 0;
    EXPECT_EQ(rowFigure(r), (Figure{"\u2014", true}));
    r.size = -5;
    r.realistic = -1;
    EXPECT_EQ(rowFigure(r), (Figure{"\u2014", true}));
    r.size = 5000;
    r.realistic = 0;
    EXPECT_EQ(rowFigure(r), (Figure{finderSize(5000), false}));
    r.size = 9000;
    r.realistic = 3000;
    EXPECT_EQ(rowFigure(r), (Figure{finderSize(3000), false}));
    // A realistic size without a listed one still counts.
    r.size = 0;
    EXPECT_EQ(rowFigure(r), (Figure{finderSize(3000), false}));

    VadeRow zero = row("safe", true);
    zero.size = 0;
    EXPECT_EQ(groupFigure({"k", "K", {&zero}, ""}), (Figure{"\u2014", false}));
    EXPECT_EQ(groupFigure({"k", "K", {}, ""}), (Figure{"\u2014", false}));
    VadeRow a = row("safe", true);
    a.realistic = 5;
    a.size = 900;
    EXPECT_EQ(groupFigure({"k", "K", {&a, &zero}, ""}).text, "5 B");
}

TEST(ListLooks, TickControls) {
    VadeRow r = row("safe", true);
    EXPECT_EQ(rowTick(r), (TickLook{false, false, true, "Keep it", "Keep"}));
    r.ticked = true;
    EXPECT_EQ(rowTick(r), (TickLook{true, false, true, "Clean it", "Clean"}));
    EXPECT_EQ(rowTick(row("safe", false, "in use")).tip, "in use");
    EXPECT_FALSE(rowTick(row("safe", false, "in use")).enabled);
    EXPECT_EQ(rowTick(row("safe", false)).tip, "Look only");

    VadeRow locked = row("info", false);
    VadeRow lockedTicked = locked;
    lockedTicked.ticked = true;
    // No tickable row: dimmed, disabled, and a ticked untickable row never counts.
    EXPECT_EQ(groupTick({"k", "K", {&locked, &lockedTicked}, ""}),
              (TickLook{false, false, false, "None ticked", "Tick the Safe ones"}));

    VadeRow on = row("safe", true);
    on.ticked = true;
    VadeRow off = row("safe", true);
    EXPECT_EQ(groupTick({"k", "K", {&on, &locked}, ""}),
              (TickLook{true, false, true, "All ticked", "Untick all"}));
    EXPECT_EQ(groupTick({"k", "K", {&on, &off}, ""}),
              (TickLook{false, true, true, "Some ticked", "Untick all"}));
}

TEST(ListLooks, SpokenLines) {
    VadeRow a = row("safe", true);
    a.name = "Homebrew cache";
    a.size = 2'800'000'000;
    EXPECT_EQ(childLineSpoken(a), "Homebrew cache, gets back 2.8 GB, Keep it");
    a.ticked = true;
    EXPECT_EQ(childLineSpoken(a), "Homebrew cache, gets back 2.8 GB, Clean it");
    EXPECT_EQ(groupLineSpoken({"caches", "Caches", {&a, &a}, ""}, true),
              "Caches, 2 items, gets back 5.6 GB, open");
    EXPECT_EQ(groupLineSpoken({"caches", "Caches", {}, ""}, false),
              "Caches, 0 items, gets back 0 B, closed");
}

// A refresh words only the rows and groups that spokenAlike calls different:
// two it calls alike must give a tool the same words, and the ones that differ
// only in what the words leave out are alike, so they cost no words.
TEST(ListLooks, SpokenAlikeOnlyWhenTheWordsAgree) {
    auto rowWords = [](const VadeRow& r) {
        const TickLook t = rowTick(r);
        return childLineSpoken(r) + "|" + badgeOf(r).spoken + "|" + t.spoken +
               (t.enabled ? "|on" : "|off");
    };
    VadeRow a = row("safe", true);
    a.name = "Homebrew cache";
    a.size = 2'800'000'000;
    struct RowEdit {
        std::function<void(VadeRow&)> edit;
        bool saysTheSame;
    };
    const std::vector<RowEdit> rowEdits{
        {[](VadeRow& r) { r.ticked = true; }, false},
        {[](VadeRow& r) { r.tickable = false; }, false},
        {[](VadeRow& r) { r.name = "Chrome caches"; }, false},
        {[](VadeRow& r) { r.size = 3'000'000'000; }, false},
        {[](VadeRow& r) { r.realistic = 1'000'000'000; }, false},
        // The same bytes given back another way.
        {[](VadeRow& r) { r.realistic = 2'800'000'000; }, true},
        {[](VadeRow& r) { r.path = "/elsewhere"; }, true},
        // The badge is read with the line.
        {[](VadeRow& r) { r.safety = "review"; }, false},
        {[](VadeRow& r) { r.blocked = "in use"; }, false},
    };
    for (std::size_t i = 0; i < rowEdits.size(); ++i) {
        VadeRow b = a;
        rowEdits[i].edit(b);
        ASSERT_EQ(rowWords(a) == rowWords(b), rowEdits[i].saysTheSame) << "row edit " << i;
        EXPECT_EQ(spokenAlike(a, b), rowEdits[i].saysTheSame) << "row edit " << i;
    }

    auto groupWords = [](const TreeGroup& g, bool open) {
        const TickLook t = groupTick(g);
        return groupLineSpoken(g, open) + "|" + t.spoken + (t.enabled ? "|on" : "|off");
    };
    VadeRow b = row("safe", true);
    b.size = 1'000'000'000;
    VadeRow ticked = a;
    ticked.ticked = true;
    VadeRow lockedA = a;
    lockedA.tickable = false;
    VadeRow lockedB = b;
    lockedB.tickable = false;
    VadeRow bigger = b;
    bigger.size = 1'500'000'000;
    VadeRow renamed = b;
    renamed.name = "Elsewhere";
    const TreeGroup g{"caches", "Caches", {&a, &b}, ""};
    struct Variant {
        TreeGroup group;
        bool open;
        bool saysTheSame;
    };
    const std::vector<Variant> variants{
        {g, false, false},
        {{"caches", "Caches", {&a, &b, &b}, ""}, true, false},
        {{"caches", "Caches", {&ticked, &b}, ""}, true, false},
        {{"caches", "Caches", {&a, &bigger}, ""}, true, false},
        {{"caches", "Caches & temp", {&a, &b}, ""}, true, false},
        // Nothing tickable any more: the same "None ticked", now disabled.
        {{"caches", "Caches", {&lockedA, &lockedB}, ""}, true, false},
        // What the group's line does not say.
        {{"caches", "Caches", {&a, &renamed}, ""}, true, true},
        {{"caches", "Caches", {&a, &b}, "doc"}, true, true},
    };
    for (std::size_t i = 0; i < variants.size(); ++i) {
        const Variant& v = variants[i];
        ASSERT_EQ(groupWords(g, true) == groupWords(v.group, v.open), v.saysTheSame)
            << "group variant " << i;
        EXPECT_EQ(spokenAlike(g, true, v.group, v.open), v.saysTheSame) << "group variant " << i;
    }
}

TEST(ListPaneFace, FacesAndEmptyTextsInOrder) {
    using durozizo::VadeScope;
    EXPECT_EQ(listFace(true, true), ListFace::list);
    EXPECT_EQ(listFace(true, false), ListFace::list);
    EXPECT_EQ(listFace(false, true), ListFace::scanning);
    EXPECT_EQ(listFace(false, false), ListFace::empty);

    const std::string ready = "Click Start scan when you are ready. Scanning only reads.";
    // A query is asked about before the scope, the scope before the scan.
    EXPECT_EQ(emptyTexts(" ", VadeScope::caches, true),
              (EmptyTexts{"No matches", "Try fewer words.", false}));
    EXPECT_EQ(emptyTexts("", VadeScope::caches, true),
              (EmptyTexts{"Nothing in Caches & temp", "Try Everything.", false}));
    EXPECT_EQ(emptyTexts("", VadeScope::network, false),
              (EmptyTexts{"Nothing in Network", "Try Everything.", true}));
    EXPECT_EQ(emptyTexts("", VadeScope::everything, true),
              (EmptyTexts{"Nothing in the tank", ready, false}));
    EXPECT_EQ(emptyTexts("", VadeScope::everything, false),
              (EmptyTexts{"Ready to scan", ready, true}));
}

}  // namespace
}  // namespace virirado
