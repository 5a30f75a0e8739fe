#include <gtest/gtest.h>

#include <algorithm>

#include "RecordingEngine.hpp"
#include "WindowModel.hpp"

namespace virirado {
namespace {

using durozizo::VadeScope;
using testing::RecordingEngine;

ItemRecord record(std::string id, std::string category, int64_t size, std::string safety = "safe",
                  bool ticked = false, std::string kind = "") {
    ItemRecord r;
    r.id = id;
    r.label = std::move(id);
    r.category = std::move(category);
    r.size = size;
    r.safety = std::move(safety);
    r.ticked = ticked;
    r.kind = std::move(kind);
    r.action = "rm";
    return r;
}

struct Window {
    RecordingEngine engine;
    MemoryStore settings;
    FixedClock clock{1'800'000'000, 800'000'000};
    WindowModel model;
    int changes = 0;

    explicit Window(bool snapshot = false) : model(engine, settings, clock, snapshot, "/home/u") {
        engine.onChanged = [this] { model.engineChanged(); };
        model.setOnChanged([this] { ++changes; });
    }
    void load(std::vector<ItemRecord> records, int64_t free = 100, int64_t total = 10'000) {
        engine.load(std::move(records), free, total);
    }
    std::vector<std::string> visibleIds() const {
        std::vector<std::string> out;
        for (const VadeRow* r : model.visibleRows())
            out.push_back(r->id);
        return out;
    }
    const VadeRow& row(const std::string& id) const { return *model.rows()->find(id); }
};

std::vector<ItemRecord> sample() {
    return {record("c1", "caches", 500), record("c2", "caches", 300, "review"),
            record("s1", "sims", 2000, "review"), record("s2", "sims", 100, "review"),
            record("b1", "browsers", 50, "safe", true)};
}

TEST(WindowModelDerived, BeforeAnyResult) {
    Window w;
    w.engine.value.totalBytes = 1000;
    w.engine.value.freeBytes = 300;
    EXPECT_TRUE(w.model.rows()->rows.empty());
    EXPECT_TRUE(w.model.visibleRows().empty());
    EXPECT_EQ(w.model.totals().tickedCount, 0);
    EXPECT_EQ(w.model.otherBytes(), 700);
    for (const VadePiece& p : w.model.pieces())
        EXPECT_TRUE(p.id == "other" || p.id == "fresh") << p.id;
}

TEST(WindowModelDerived, QueryNarrowsOnlyTheVisibleRows) {
    Window w;
    w.load(sample());
    const auto pieces = w.model.pieces();
    const auto totals = w.model.totals();
    w.model.setQuery("nothing-matches-this");
    EXPECT_TRUE(w.model.visibleRows().empty());
    EXPECT_EQ(w.model.rows()->rows.size(), 5u);
    EXPECT_EQ(w.model.pieces(), pieces);
    EXPECT_EQ(w.model.totals(), totals);
    EXPECT_EQ(totals.tickedCount, 1);
    EXPECT_EQ(totals.tickedBack, 50);
}

TEST(WindowModelDerived, VisibleRowsFollowTheSearchOrder) {
    Window w;
    w.load(sample());
    EXPECT_EQ(w.visibleIds(), (std::vector<std::string>{"s1", "c1", "c2", "s2", "b1"}));
}

TEST(WindowModelDerived, OtherBytesNeverNegative) {
    Window w;
    w.load(sample(), 9'900, 10'000);
    EXPECT_EQ(w.model.otherBytes(), 0);
    w.load(sample(), 1'000, 10'000);
    EXPECT_EQ(w.model.otherBytes(), 10'000 - 1'000 - 2'950);
}

// The pieces, totals and other bytes are kept between keys; every read must
// still equal what all rows and the disk give now: after a tick, a new result,
// new disk figures without a new tree, and whatever the query and scope.
TEST(WindowModelDerived, FiguresOfAllRowsFollowRowsAndDiskNotTheQuery) {
    Window w;
    const auto expectCurrent = [&w](const std::string& when) {
        const EngineState& s = w.engine.state();
        int64_t listed = 0;
        for (const ItemRecord& r : w.engine.records())
            listed += r.size;
        const int64_t other = std::max<int64_t>(0, s.totalBytes - s.freeBytes - listed);
        const auto store = w.model.rows();
        const auto pieces = vadePieces(store->rows, other, s.freeBytes, s.totalBytes);
        const auto totals = durozizo::HonestTotals::of(store->items);
        EXPECT_EQ(w.model.otherBytes(), other) << when;
        EXPECT_EQ(w.model.pieces(), pieces) << when;
        EXPECT_EQ(w.model.totals(), totals) << when;
        const WindowView v = w.model.view();
        EXPECT_EQ(v.otherBytes, other) << when;
        EXPECT_EQ(v.pieces, pieces) << when;
        EXPECT_EQ(v.totals, totals) << when;
    };
    w.load(sample());
    expectCurrent("loaded");
    w.model.setQuery("c");
    w.model.setScope(VadeScope::caches);
    expectCurrent("query and scope");
    w.model.toggle(w.row("c1"));
    expectCurrent("ticked");
    EXPECT_EQ(w.model.totals().tickedCount, 2);
    w.engine.value.freeBytes = 4'000;
    expectCurrent("less free space");
    w.engine.value.totalBytes = 20'000;
    expectCurrent("a larger disk");
    auto bigger = sample();
    bigger[0].size = 5'000;
    w.load(bigger, 4'000, 20'000);
    expectCurrent("a new result");
    EXPECT_EQ(w.model.otherBytes(), 20'000 - 4'000 - 7'450);
}

TEST(WindowModelDerived, SelectedGroupHiddenByTheQueryKeepsAllItsRows) {
    Window w;
    w.load(sample());
    w.model.select("group:sims");
    w.model.setQuery("c1");
    ASSERT_TRUE(w.model.selectedGroup());
    EXPECT_EQ(w.model.selectedGroup()->rows.size(), 2u);
    EXPECT_EQ(w.model.selectedRow(), nullptr);
    const WindowView v = w.model.view();
    ASSERT_TRUE(v.selectedGroup);
    EXPECT_EQ(v.selectedGroup->rows.size(), 2u);

    w.model.select("fresh");
    EXPECT_EQ(w.model.selectedRow(), nullptr);
    EXPECT_FALSE(w.model.selectedGroup());
}

TEST(WindowModelSelect, OpensTheGroupAndWidensScopeThenQuery) {
    Window w;
    w.load(sample());
    w.model.setExpanded({});
    w.model.setScope(VadeScope::biggest);
    w.model.setQuery("c1");
    w.model.select("s1");
    EXPECT_EQ(w.model.selection(), "s1");
    EXPECT_TRUE(w.model.expanded().contains("sims"));
    EXPECT_EQ(w.model.scope(), VadeScope::everything);
    EXPECT_EQ(w.model.query(), "");

    // A query that still shows the row stays.
    w.model.setQuery("s1");
    w.model.select("s1");
    EXPECT_EQ(w.model.query(), "s1");

    // "fresh" changes nothing but the selection.
    const auto expanded = w.model.expanded();
    w.model.setScope(VadeScope::caches);
    w.model.select("fresh");
    EXPECT_EQ(w.model.selection(), "fresh");
    EXPECT_EQ(w.model.scope(), VadeScope::caches);
    EXPECT_EQ(w.model.expanded(), expanded);
}

TEST(WindowModelTicking, ToggleRules) {
    Window w;
    w.load(sample());
    VadeRow locked = w.row("c1");
    locked.tickable = false;
    w.model.setSelection("b1");
    w.model.toggle(locked);
    EXPECT_EQ(w.model.selection(), "b1");
    EXPECT_TRUE(w.engine.calls.empty());

    w.model.toggle(w.row("c1"));
    EXPECT_EQ(w.engine.calls.back(), "tick c1");
    EXPECT_EQ(w.model.selection(), "c1");

    w.model.toggle(w.row("c2"));
    ASSERT_TRUE(w.model.checkFirst());
    EXPECT_EQ(w.model.checkFirst()->id, "c2");
    EXPECT_EQ(w.engine.calls.size(), 1u);

    // A ticked review row is unticked at once, no sheet.
    w.model.keepCheckFirst();
    w.engine.tick({"c2"});
    w.model.toggle(w.row("c2"));
    EXPECT_EQ(w.engine.calls.back(), "untick c2");
    EXPECT_FALSE(w.model.checkFirst());
}

TEST(WindowModelTicking, GroupRules) {
    Window w;
    w.load(sample());
    auto group = [&](const std::string& key) {
        for (const TreeGroup& g : vadeGroups(w.model.visibleRows())) {
            if (g.key == key) return g;
        }
        return TreeGroup{};
    };
    // Review rows are left out of a group tick.
    w.model.tickGroup(group("caches"));
    EXPECT_EQ(w.engine.calls.back(), "tick c1");
    EXPECT_EQ(w.model.selection(), "group:caches");

    // All review: the first tickable row asks first, and is selected.
    w.model.tickGroup(group("sims"));
    ASSERT_TRUE(w.model.checkFirst());
    EXPECT_EQ(w.model.checkFirst()->id, "s1");
    EXPECT_EQ(w.model.selection(), "s1");
    w.model.keepCheckFirst();

    // One ticked among several: untick it, tick nothing.
    const std::size_t before = w.engine.calls.size();
    w.model.tickGroup(group("caches"));
    EXPECT_EQ(w.engine.calls.size(), before + 1);
    EXPECT_EQ(w.engine.calls.back(), "untick c1");
}

TEST(WindowModelTicking, QuickDeleteRequestsOnlyForRowsThatMayGo) {
    Window w;
    w.load(sample());
    VadeRow blocked = w.row("c1");
    blocked.blocked = "in use";
    w.model.quickDelete(blocked);
    VadeRow locked = w.row("c1");
    locked.tickable = false;
    w.model.quickDelete(locked);
    EXPECT_FALSE(w.model.quickDeleteFirst());

    w.model.setSelection("b1");
    w.model.quickDelete(w.row("c1"));
    ASSERT_TRUE(w.model.quickDeleteFirst());
    EXPECT_EQ(w.model.selection(), "b1");
    EXPECT_TRUE(w.engine.calls.empty());
}

TEST(WindowModelSheets, CallbackOrder) {
    Window w;
    w.load(sample());
    std::vector<std::string> seen;
    w.model.setOnChanged([&] {
        seen.push_back(w.model.checkFirst() || w.model.quickDeleteFirst() ? "open" : "closed");
    });
    w.engine.onChanged = [&] { seen.push_back("engine"); };

    w.model.toggle(w.row("c2"));
    seen.clear();
    w.model.cleanCheckFirst();
    // The tick reaches the engine while the sheet is still up.
    EXPECT_EQ(seen, (std::vector<std::string>{"engine", "closed"}));
    EXPECT_EQ(w.engine.calls.back(), "tick c2");

    w.model.quickDelete(w.row("c1"));
    seen.clear();
    w.model.continueQuickDelete();
    EXPECT_EQ(seen, (std::vector<std::string>{"closed"}));
    EXPECT_EQ(w.engine.calls.back(), "quick c1");
}

TEST(WindowModelSheets, ACloseDuringACleanWaitsOnceThenEndsTheEngine) {
    Window w;
    w.load(sample());
    EXPECT_TRUE(w.model.askToClose());
    EXPECT_FALSE(w.model.view().closeWaiting);

    w.engine.value.cleanProgress.emplace(1, 10, false, durozizo::CleanProgress::Clock::now());
    w.engine.value.cleanProgress->startDeleting();
    EXPECT_FALSE(w.model.askToClose());
    EXPECT_TRUE(w.model.view().closeWaiting);
    EXPECT_FALSE(w.model.closeNoLongerWaits());
    EXPECT_EQ(std::count(w.engine.calls.begin(), w.engine.calls.end(), "end engine"), 0);
    // Asked again: the engine stopped answering, it is ended and the window goes.
    EXPECT_TRUE(w.model.askToClose());
    EXPECT_EQ(w.engine.calls.back(), "end engine");

    // A close that waited happens once the result has come.
    Window later;
    later.load(sample());
    later.engine.value.cleanProgress.emplace(1, 10, false, durozizo::CleanProgress::Clock::now());
    EXPECT_FALSE(later.model.askToClose());
    later.engine.value.cleanProgress->finish({});
    EXPECT_TRUE(later.model.closeNoLongerWaits());
    EXPECT_FALSE(later.model.closeNoLongerWaits());
    EXPECT_EQ(std::count(later.engine.calls.begin(), later.engine.calls.end(), "end engine"), 0);
}

int endings(const Window& w) {
    return static_cast<int>(std::count(w.engine.calls.begin(), w.engine.calls.end(), "end engine"));
}

// A clean of one row: being re-checked, or deleting.
void cleanUnderWay(Window& w, bool rechecking) {
    w.load(sample());
    w.engine.value.cleanProgress.emplace(1, 10, false, durozizo::CleanProgress::Clock::now());
    w.engine.value.verifying = rechecking;
    if (!rechecking) w.engine.value.cleanProgress->startDeleting();
}

TEST(WindowModelSheets, TheSheetsCloseButtonDuringACleanIsTheWindowsClose) {
    Window idle;
    idle.load(sample());
    EXPECT_EQ(idle.model.answerSheetClose(), SheetCloseAnswer::backOut);

    for (bool rechecking : {true, false}) {
        Window w;
        cleanUnderWay(w, rechecking);
        // Each close of the sheet is a close of the window: the first waits and
        // says so, the second ends the engine.
        ASSERT_EQ(w.model.answerSheetClose(), SheetCloseAnswer::closeWindow) << rechecking;
        EXPECT_FALSE(w.model.askToClose());
        EXPECT_TRUE(w.model.view().closeWaiting);
        ASSERT_EQ(w.model.answerSheetClose(), SheetCloseAnswer::closeWindow) << rechecking;
        EXPECT_EQ(endings(w), 0);
        EXPECT_TRUE(w.model.askToClose());
        EXPECT_EQ(endings(w), 1);
        EXPECT_EQ(w.engine.calls.back(), "end engine");
    }

    // Once the result is in, the sheet's close is its own again (Done).
    Window done;
    cleanUnderWay(done, false);
    done.engine.value.cleanProgress->finish({});
    EXPECT_EQ(done.model.answerSheetClose(), SheetCloseAnswer::backOut);
}

TEST(WindowModelSheets, EndingNowIsAQuitAskedTwice) {
    // No clean: nothing is cut short, so the engine is left to end with the app.
    Window idle;
    idle.load(sample());
    idle.model.endNow();
    EXPECT_TRUE(idle.model.askToClose());
    EXPECT_EQ(endings(idle), 0);

    // During the re-check or the clean the engine is ended at once, and no
    // close waits any more, though the run may still read as running.
    for (bool rechecking : {true, false}) {
        Window w;
        cleanUnderWay(w, rechecking);
        w.model.endNow();
        EXPECT_EQ(endings(w), 1) << rechecking;
        EXPECT_TRUE(w.model.askToClose());
        EXPECT_TRUE(w.model.askToClose());
        EXPECT_EQ(endings(w), 1) << rechecking;
    }

    // After a close that already waits, and asked for twice: one ending.
    Window waiting;
    cleanUnderWay(waiting, false);
    EXPECT_FALSE(waiting.model.askToClose());
    waiting.model.endNow();
    waiting.model.endNow();
    EXPECT_EQ(endings(waiting), 1);
    EXPECT_TRUE(waiting.model.askToClose());
}

TEST(WindowModelExpanded, FirstLaunchOpensTheFirstTwoGroupsAndTickedOnes) {
    Window w;
    w.load(sample());
    EXPECT_EQ(w.model.expanded(), (std::set<std::string>{"sims", "caches", "browsers"}));
    EXPECT_EQ(w.settings.text("treeOpen"), "browsers,caches,sims");
    EXPECT_EQ(w.settings.flag("treeOpenSaved"), true);
    // The first visible row is selected after the result arrives.
    EXPECT_EQ(w.model.selection(), "s1");
}

TEST(WindowModelExpanded, LaterLaunchRestoresWhatWasSavedEvenNothing) {
    Window w;
    w.settings.setText("treeOpen", "");
    w.settings.setFlag("treeOpenSaved", true);
    w.load(sample());
    EXPECT_TRUE(w.model.expanded().empty());

    Window v;
    v.settings.setText("treeOpen", ",sims,,gone,");
    v.settings.setFlag("treeOpenSaved", true);
    v.load(sample());
    EXPECT_EQ(v.model.expanded(), (std::set<std::string>{"gone", "sims"}));
}

TEST(WindowModelExpanded, SnapshotModeNeverReadsOrWrites) {
    Window w(true);
    w.settings.setText("treeOpen", "browsers");
    w.settings.setFlag("treeOpenSaved", true);
    const int writes = w.settings.writes();
    w.load(sample());
    EXPECT_EQ(w.model.expanded(), (std::set<std::string>{"sims", "caches", "browsers"}));
    w.model.setExpanded({"caches"});
    EXPECT_EQ(w.settings.writes(), writes);
}

TEST(WindowModelGenerations, SelectionSurvivesOnlyWhatStillResolves) {
    Window w;
    w.load(sample());
    w.model.select("c2");
    auto records = sample();
    records.erase(records.begin() + 1);
    w.load(records);
    EXPECT_EQ(w.model.selection(), "s1");

    w.model.select("other");
    w.load(sample());
    EXPECT_EQ(w.model.selection(), "other");

    w.model.select("group:caches");
    w.load(sample());
    EXPECT_EQ(w.model.selection(), "group:caches");
}

TEST(WindowModelGenerations, MilestonesOnGenerationAndScanningOnly) {
    Window w;
    int milestones = 0;
    w.model.setOnEngineMilestone([&] { ++milestones; });
    w.engine.announce();
    EXPECT_EQ(milestones, 0);
    w.engine.value.scanning = true;
    w.engine.announce();
    EXPECT_EQ(milestones, 1);
    w.engine.value.scanning = false;
    w.engine.load(sample(), 1, 10'000);
    EXPECT_EQ(milestones, 3);
}

}  // namespace
}  // namespace virirado
