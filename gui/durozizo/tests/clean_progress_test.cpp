#include "CleanProgress.hpp"

#include <gtest/gtest.h>

#include "Numeric.hpp"

namespace durozizo {
namespace {

using Phase = CleanProgress::Phase;

const CleanProgress::Clock::time_point kStart{std::chrono::seconds(1'700'000'000)};

CleanProgress progress(int64_t count, int64_t bytes) {
    return CleanProgress(count, bytes, false, kStart);
}

TEST(CleanProgress, StartsChecking) {
    const CleanProgress p(3, 300, true, kStart);
    EXPECT_EQ(p.phase, Phase::checking);
    EXPECT_TRUE(p.dryRun);
    EXPECT_TRUE(p.isRunning());
    EXPECT_EQ(p.fraction(), 0.0);
    EXPECT_EQ(p.started, kStart);
}

TEST(CleanProgress, Transitions) {
    CleanProgress p = progress(3, 300);
    p.startDeleting();
    EXPECT_EQ(p.phase, Phase::deleting);

    CleanProgress q = progress(3, 300);
    q.itemStarted("a");
    EXPECT_EQ(q.phase, Phase::deleting);
    EXPECT_EQ(q.current, "a");
    q.itemFinished("a", 100, true, "");
    EXPECT_EQ(q.current, "a");  // stays until the next item or the end
    q.itemFinished("b", 50, false, "busy");
    EXPECT_EQ(q.doneCount, 2);
    EXPECT_EQ(q.doneBytes, 150);
    EXPECT_EQ(q.freedBytes, 100);
    EXPECT_EQ(q.deletedCount, 1);
    ASSERT_EQ(q.failures.size(), 1u);
    EXPECT_EQ(q.failures[0], (CleanProgress::Failure{"b", "busy"}));
    EXPECT_DOUBLE_EQ(q.fraction(), 0.5);

    CleanProgress r = progress(1, 0);
    r.itemFinished("x", 0, true, "");
    EXPECT_EQ(r.phase, Phase::deleting);
}

TEST(CleanProgress, FractionFallsBackToCountsAndIsCapped) {
    CleanProgress p = progress(0, 0);
    EXPECT_EQ(p.fraction(), 0.0);
    p.finish({});
    EXPECT_EQ(p.fraction(), 1.0);

    CleanProgress byCount = progress(4, 0);
    byCount.itemFinished("a", 0, true, "");
    EXPECT_DOUBLE_EQ(byCount.fraction(), 0.25);

    CleanProgress over = progress(2, 10);
    for (int i = 0; i < 5; ++i)
        over.itemFinished("x", 10, true, "");
    EXPECT_EQ(over.doneCount, 2);
    EXPECT_EQ(over.doneBytes, 50);
    EXPECT_EQ(over.fraction(), 1.0);
}

TEST(CleanProgress, NegativeAndHugeByteCounts) {
    CleanProgress p = progress(5, 100);
    p.itemFinished("neg", -40, true, "");
    EXPECT_EQ(p.doneCount, 1);
    EXPECT_EQ(p.deletedCount, 1);
    EXPECT_EQ(p.doneBytes, 0);
    EXPECT_EQ(p.freedBytes, 0);
    p.itemFinished("huge", kInt64Max, true, "");
    p.itemFinished("huge", kInt64Max, true, "");
    EXPECT_EQ(p.doneBytes, kInt64Max);
    EXPECT_EQ(p.freedBytes, kInt64Max);
    EXPECT_EQ(p.fraction(), 1.0);

    CleanProgress all = progress(kInt64Max, kInt64Max);
    all.finish({{"a", kInt64Max, true, ""}, {"b", kInt64Max, false, "no"}, {"c", -1, true, ""}});
    EXPECT_EQ(all.freedBytes, kInt64Max);
    EXPECT_EQ(all.doneBytes, kInt64Max);
    EXPECT_EQ(all.notTried, kInt64Max - 3);
}

TEST(CleanProgress, FinishReplacesRunningCounts) {
    CleanProgress p = progress(4, 400);
    p.itemStarted("a");
    p.itemFinished("a", 100, false, "early failure");
    p.finish({{"a", 100, true, ""}, {"b", -5, false, "locked"}, {"c", 30, true, ""}});
    EXPECT_EQ(p.phase, Phase::finished);
    EXPECT_FALSE(p.isRunning());
    EXPECT_EQ(p.deletedCount, 2);
    EXPECT_EQ(p.freedBytes, 130);
    EXPECT_EQ(p.doneCount, 3);
    EXPECT_EQ(p.doneBytes, 130);
    EXPECT_EQ(p.notTried, 1);
    EXPECT_FALSE(p.current);
    ASSERT_EQ(p.failures.size(), 1u);
    EXPECT_EQ(p.failures[0], (CleanProgress::Failure{"b", "locked"}));

    CleanProgress more = progress(1, 10);
    more.finish({{"a", 1, true, ""}, {"b", 1, true, ""}});
    EXPECT_EQ(more.notTried, 0);
}

TEST(CleanProgress, AReportOfADryRunReadsAsOneButKeepsTheRunsFlag) {
    CleanProgress p = progress(2, 200);
    p.startDeleting();
    p.finish({{"a", 100, true, "dry run"}, {"b", 100, true, "dry run"}}, true);
    EXPECT_TRUE(p.readsDry());
    // Made as a real clean: what follows it is decided by that, not the report.
    EXPECT_FALSE(p.dryRun);
    EXPECT_EQ(p.deletedCount, 2);  // read as "2 items" that would go
    EXPECT_EQ(p.freedBytes, 200);

    // A run asked for as dry stays one whatever the report says.
    CleanProgress asked(1, 10, true, kStart);
    asked.finish({{"a", 10, true, ""}});
    EXPECT_TRUE(asked.dryRun);
    EXPECT_TRUE(asked.readsDry());

    // A finished run is final: a late report cannot turn it into a dry one.
    CleanProgress real = progress(1, 10);
    real.finish({{"a", 10, true, ""}});
    real.finish({{"a", 10, true, ""}}, true);
    EXPECT_FALSE(real.readsDry());
}

TEST(CleanProgress, OnlyARunAnErrorEndedTakesALateReport) {
    // The engine failed the run, then reported what it had done after all.
    CleanProgress p = progress(2, 200);
    p.itemFinished("a", 100, true, "");
    p.fail("Disk hiccup.");
    ASSERT_EQ(p.notTried, 1);
    p.finishAfterError({{"a", 100, true, ""}, {"b", 50, false, "busy"}});
    EXPECT_EQ(p.phase, Phase::finished);
    EXPECT_FALSE(p.error);
    EXPECT_EQ(p.deletedCount, 1);
    EXPECT_EQ(p.freedBytes, 100);
    EXPECT_EQ(p.notTried, 0);
    ASSERT_EQ(p.failures.size(), 1u);
    EXPECT_EQ(p.failures[0], (CleanProgress::Failure{"b", "busy"}));
    // Once taken, the report is final too.
    const CleanProgress settled = p;
    p.finishAfterError({});
    EXPECT_EQ(p, settled);

    // A run that is going, or that its report already finished, is left alone.
    CleanProgress going = progress(1, 10);
    going.finishAfterError({{"a", 10, true, ""}});
    EXPECT_EQ(going.phase, Phase::checking);
    CleanProgress done = progress(1, 10);
    done.finish({});
    const CleanProgress frozen = done;
    done.finishAfterError({{"a", 10, true, ""}});
    EXPECT_EQ(done, frozen);
}

TEST(CleanProgress, FailKeepsWhatWasReported) {
    CleanProgress p = progress(5, 500);
    p.itemStarted("a");
    p.itemFinished("a", 100, false, "denied");
    p.itemFinished("b", 100, true, "");
    p.itemStarted("c");
    p.fail("The engine stopped.");
    EXPECT_EQ(p.phase, Phase::finished);
    EXPECT_EQ(p.error, "The engine stopped.");
    EXPECT_FALSE(p.current);
    EXPECT_EQ(p.notTried, 3);
    EXPECT_EQ(p.failures.size(), 1u);
    EXPECT_EQ(p.doneBytes, 200);
}

TEST(CleanProgress, FinishedIsFinal) {
    CleanProgress p = progress(3, 300);
    p.finish({{"a", 100, true, ""}});
    const CleanProgress frozen = p;
    p.startDeleting();
    p.itemStarted("b");
    p.itemFinished("b", 100, false, "x");
    p.finish({});
    p.fail("late");
    EXPECT_EQ(p, frozen);
    EXPECT_FALSE(p.error);

    CleanProgress failed = progress(3, 300);
    failed.fail("first");
    failed.fail("second");
    EXPECT_EQ(failed.error, "first");
}

SearchItem row(int64_t size, std::optional<int64_t> realistic, bool ticked, bool tickable,
               std::string action = "trash") {
    return SearchItem("id", "n", "", size, realistic, "k", "c", "", std::nullopt, "safe",
                      std::move(action), ticked, tickable, "");
}

TEST(HonestTotals, SumsTickedAndTickable) {
    EXPECT_EQ(HonestTotals::of({}), HonestTotals{});
    const HonestTotals t = HonestTotals::of({
        row(100, 40, true, true), row(50, 0, true, false, "rm"),  // realistic 0 gives back its size
        row(70, std::nullopt, false, true),
        row(30, -1, true, true, "Trash"),  // action compared exactly
    });
    EXPECT_EQ(t.tickedCount, 3);
    EXPECT_EQ(t.tickedBack, 40 + 50 + 30);
    EXPECT_EQ(t.tickedListed, 100 + 50 + 30);
    EXPECT_EQ(t.trashCount, 1);
    EXPECT_EQ(t.removeCount, 2);
    EXPECT_EQ(t.cleanableBack, 40 + 70 + 30);
    EXPECT_EQ(std::hash<HonestTotals>{}(t), std::hash<HonestTotals>{}(HonestTotals(t)));
}

TEST(HonestTotals, SumsSaturate) {
    const HonestTotals t = HonestTotals::of(
        {row(kInt64Max, kInt64Max, true, true), row(kInt64Max, kInt64Max, true, true)});
    EXPECT_EQ(t.tickedBack, kInt64Max);
    EXPECT_EQ(t.tickedListed, kInt64Max);
    EXPECT_EQ(t.cleanableBack, kInt64Max);
    const HonestTotals low =
        HonestTotals::of({row(kInt64Min, 0, true, true), row(kInt64Min, 0, true, true)});
    EXPECT_EQ(low.tickedListed, kInt64Min);
}

TEST(HonestTotals, ListedOverstatesAtItsBound) {
    auto overstates = [](int64_t back, int64_t listed) {
        HonestTotals t;
        t.tickedBack = back;
        t.tickedListed = listed;
        return t.listedOverstates();
    };
    EXPECT_FALSE(overstates(0, 0));
    EXPECT_FALSE(overstates(100, 105));
    EXPECT_TRUE(overstates(100, 106));
    EXPECT_TRUE(overstates(0, 1));
    EXPECT_FALSE(overstates(106, 100));
    // The difference exceeds the 64-bit range and must not wrap negative.
    EXPECT_TRUE(overstates(kInt64Min, kInt64Max));
    EXPECT_FALSE(overstates(kInt64Max - 1, kInt64Max));
}

}  // namespace
}  // namespace durozizo
