#include "CleanReport.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>

namespace virirado {
namespace {

using Clock = CleanProgress::Clock;

CleanProgress run(int64_t count, int64_t bytes, bool dry = false) {
    return CleanProgress(count, bytes, dry, Clock::time_point(std::chrono::seconds(1000)));
}

TEST(CleanReport, TitlesByPhaseErrorAndDryRun) {
    CleanProgress real = run(2, 10);
    CleanProgress dry = run(2, 10, true);
    EXPECT_EQ(progressTitle(real), "Checking\u2026");
    EXPECT_EQ(progressTitle(dry), "Checking\u2026");
    real.startDeleting();
    dry.startDeleting();
    EXPECT_EQ(progressTitle(real), "Deleting\u2026");
    EXPECT_EQ(progressTitle(dry), "Dry run\u2026");

    CleanProgress done = real;
    done.finish({{"a", 5, true, ""}, {"b", 5, true, ""}});
    EXPECT_EQ(progressTitle(done), "Done");
    CleanProgress dryDone = dry;
    dryDone.finish({});
    EXPECT_EQ(progressTitle(dryDone), "Dry run done");
    // A run that stopped reads so, dry run or not.
    dry.fail("The engine stopped.");
    EXPECT_EQ(progressTitle(dry), "Stopped");
    real.fail("The engine stopped.");
    EXPECT_EQ(progressTitle(real), "Stopped");
}

TEST(CleanReport, CountsLineNeverPassesTheTotal) {
    CleanProgress p = run(3, 3'000'000'000);
    EXPECT_EQ(countsLine(p), "0 of 3 \u00B7 0 B of 3.0 GB");
    p.itemStarted("a");
    EXPECT_EQ(itemNumber(p), 1);
    p.itemFinished("a", 1'000'000'000, true, "");
    p.itemStarted("b");
    EXPECT_EQ(countsLine(p), "2 of 3 \u00B7 1.0 GB of 3.0 GB");
    p.itemFinished("b", 1'000'000'000, true, "");
    p.itemFinished("c", 1'000'000'000, true, "");
    p.current = "c";  // the engine named the last item again
    EXPECT_EQ(countsLine(p), "3 of 3 \u00B7 3.0 GB of 3.0 GB");

    CleanProgress empty = run(0, 0);
    empty.current = "x";
    EXPECT_EQ(itemNumber(empty), 0);
}

TEST(CleanReport, CurrentLine) {
    CleanProgress p = run(2, 10);
    EXPECT_EQ(currentLine(p), "Re-checking each item");
    p.startDeleting();
    EXPECT_EQ(currentLine(p), " ");
    p.itemStarted("DerivedData");
    EXPECT_EQ(currentLine(p), "DerivedData");
}

TEST(CleanReport, BarFraction) {
    CleanProgress p = run(4, 0);
    p.startDeleting();
    p.itemFinished("a", 0, true, "");
    EXPECT_DOUBLE_EQ(barFraction(p), 0.25);  // no bytes: by items
    CleanProgress bytes = run(4, 1000);
    bytes.itemFinished("a", 250, true, "");
    bytes.itemFinished("b", 5000, true, "");
    EXPECT_DOUBLE_EQ(barFraction(bytes), 1.0);  // capped
    EXPECT_DOUBLE_EQ(barFraction(run(0, 0)), 0.0);
    CleanProgress finished = run(0, 0);
    finished.finish({});
    EXPECT_DOUBLE_EQ(barFraction(finished), 1.0);
    EXPECT_TRUE(barIndeterminate(run(1, 1)));
    EXPECT_FALSE(barIndeterminate(p));
}

TEST(CleanReport, IndeterminateBarMovesOnlyWithMotion) {
    const auto still = indeterminateSpan(12.3, false);
    EXPECT_EQ(still, indeterminateSpan(99.9, false));
    EXPECT_NE(indeterminateSpan(0.4, true), indeterminateSpan(1.2, true));
    for (double t : {0.0, 0.1, 0.79, 1.59, 1e9, -3.0}) {
        const auto [from, to] = indeterminateSpan(t, true);
        EXPECT_GE(from, 0.0) << t;
        EXPECT_LE(to, 1.0) << t;
        EXPECT_LE(from, to) << t;
    }
    EXPECT_EQ(indeterminateSpan(std::nan(""), true), still);
}

TEST(CleanReport, ElapsedText) {
    EXPECT_EQ(elapsedText(1000, 1000), "0:00");
    EXPECT_EQ(elapsedText(1000, 1075), "1:15");
    EXPECT_EQ(elapsedText(1000, 1075.99), "1:15");
    EXPECT_EQ(elapsedText(1000, 4600), "60:00");
    EXPECT_EQ(elapsedText(1000, 990), "0:00");
    EXPECT_EQ(elapsedText(1000, 999.5), "0:00");
    EXPECT_EQ(elapsedText(0, std::numeric_limits<double>::infinity()), "0:00");
    EXPECT_EQ(elapsedText(0, 1e300), "153722867280912930:07");

    const CleanProgress p = run(1, 1);
    EXPECT_DOUBLE_EQ(startedSeconds(p), 1000.0);
}

TEST(CleanReport, ElapsedTicksOnWholeSeconds) {
    EXPECT_EQ(msToNextSecond(1000, 1000), 1000);
    EXPECT_EQ(msToNextSecond(1000, 1000.25), 750);
    EXPECT_EQ(msToNextSecond(1000, 999.5), 1000);  // capped: checked again a second on
    EXPECT_EQ(msToNextSecond(1000, 999.75), 1000);
    EXPECT_EQ(msToNextSecond(1000, 1000.9999), 1);
    EXPECT_EQ(msToNextSecond(0, std::nan("")), 1000);
}

TEST(CleanReport, ResultLines) {
    CleanProgress p = run(5, 100);
    p.finish({{"a", 40, true, ""}, {"b", 20, true, ""}, {"c", 30, false, "in use"}});
    EXPECT_EQ(resultHeadline(p), "Freed 60 B \u00B7 2 deleted \u00B7 1 failed");
    EXPECT_EQ(notTriedLine(p), "2 not tried");
    EXPECT_EQ(trashNote(p, 1), "Empty the Trash to free what went there.");
    EXPECT_EQ(trashNote(p, 0), std::nullopt);
    EXPECT_EQ(errorLine(p), std::nullopt);
    EXPECT_TRUE(showsLog(p));
    EXPECT_TRUE(showsDone(p));

    // Items went to the Trash but none was deleted: no note.
    CleanProgress none = run(1, 10);
    none.finish({{"a", 10, false, "denied"}});
    EXPECT_EQ(trashNote(none, 1), std::nullopt);
    EXPECT_EQ(notTriedLine(none), std::nullopt);

    CleanProgress dry = run(2, 100, true);
    dry.finish({{"a", 40, true, ""}, {"b", 60, true, ""}});
    EXPECT_EQ(resultHeadline(dry), "Would free 100 B \u00B7 2 items");
    EXPECT_FALSE(showsLog(dry));
    EXPECT_TRUE(showsDone(dry));

    // A real clean the engine reported as a dry run reads as one throughout: the
    // list would have sent items to the Trash, but nothing went there.
    CleanProgress reportedDry = run(2, 100);
    reportedDry.startDeleting();
    reportedDry.finish({{"a", 40, true, "dry run"}, {"b", 60, true, "dry run"}}, true);
    EXPECT_EQ(progressTitle(reportedDry), "Dry run done");
    EXPECT_EQ(resultHeadline(reportedDry), "Would free 100 B \u00B7 2 items");
    EXPECT_EQ(trashNote(reportedDry, 2), std::nullopt);
    EXPECT_FALSE(showsLog(reportedDry));

    CleanProgress stopped = run(3, 30);
    stopped.startDeleting();
    stopped.itemFinished("a", 10, true, "");
    stopped.fail("The engine stopped.");
    EXPECT_EQ(errorLine(stopped), "The engine stopped.");
    EXPECT_EQ(notTriedLine(stopped), "2 not tried");

    CleanProgress running = run(1, 1);
    EXPECT_FALSE(showsLog(running));
    EXPECT_FALSE(showsDone(running));
}

TEST(CleanReport, FailureListHeight) {
    EXPECT_EQ(failureListHeight(0), 0);
    EXPECT_EQ(failureListHeight(1), 26);
    EXPECT_EQ(failureListHeight(4), 92);
    EXPECT_EQ(failureListHeight(5), 110);
    EXPECT_EQ(failureListHeight(SIZE_MAX), 110);
}

}  // namespace
}  // namespace virirado
