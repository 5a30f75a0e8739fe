// Every way out of the app against an engine that will not finish: the sheet's
// close button, logout's SIGTERM, and an engine that ignores SIGTERM and leaves
// a helper holding its output. Each must end the app within seconds, log what
// the clean may have removed, and leave no process of the engine behind.
#include <gtest/gtest.h>
#include <signal.h>

#include <QTest>

#include "ConfirmSheet.hpp"
#include "HostileWindow.hpp"
#include "OneRowClean.hpp"
#include "Processes.hpp"
#include "QuitSignals.hpp"
#include "WaysOut.hpp"

namespace virirado {
namespace {

using namespace testing::hostile;
using testing::allEnd;
using testing::kHangMs;

// An engine that ignores SIGTERM and has a helper holding its output.
const std::string kStubborn = "ignore-term\nspawn-child\n";

TEST(WaysOut, TheSheetsCloseButtonWaitsOnceThenEndsAHungClean) {
    ScratchRow d("vsheetclose");
    HostileWindow w(kStubborn + hungCleanOf(d));
    ConfirmSheet* sheet = startClean(w);
    ASSERT_NE(sheet, nullptr) << w.state().banner.value_or("no banner");
    EXPECT_EQ(stopLineOf(sheet), "Can't stop mid-clean");

    // The window manager's close on the sheet: the window waits and says so.
    sheet->close();
    ASSERT_TRUE(w.waitFor([&] { return stopLineOf(sheet).toStdString() == kWaitLine; }, kHangMs))
        << stopLineOf(sheet).toStdString();
    EXPECT_TRUE(w.window->isVisible());
    EXPECT_TRUE(w.client().engineRunning());
    EXPECT_EQ(deletionLogs(w.home), "");

    // Again: the engine, and the helper it started, are ended at once.
    expectWayOutEndsAtOnce(w, [&] { sheet->close(); });
}

TEST(WaysOut, LogoutDuringAHungCleanLogsItsRowAndEndsTheApp) {
    ScratchRow d("vsigterm");
    HostileWindow w(kStubborn + hungCleanOf(d));
    QuitSignals quit([&] { w.content->endNow(); });
    ASSERT_TRUE(quit.catching());
    ConfirmSheet* sheet = startClean(w);
    ASSERT_NE(sheet, nullptr) << w.state().banner.value_or("no banner");

    // No first close to wait on: logout does not wait for the clean.
    expectWayOutEndsAtOnce(w, [] { ASSERT_EQ(::raise(SIGTERM), 0); });
}

TEST(WaysOut, AStubbornEngineAndItsHelperEndWithTheApp) {
    // It stopped reading and ignores SIGTERM: neither a closed input nor a
    // terminate ends it, and its helper keeps its output open.
    HostileWindow w(kStubborn + "stall " + std::to_string(kHangMs) + "\n");
    ASSERT_TRUE(w.waitFor([&] { return enginePids(w).size() == 2; }, kHangMs));
    const std::vector<pid_t> pids = enginePids(w);
    const pid_t group = testing::groupOf(pids.front());
    ASSERT_GT(group, 0);

    QTest::keyClick(w.window.get(), Qt::Key_Q, Qt::ControlModifier);
    ASSERT_TRUE(w.waitFor([&] { return !w.window->isVisible(); }, kHangMs));
    // As the app ends: the window, then the engine client with its engine.
    w.window.reset();
    w.object.reset();
    EXPECT_TRUE(allEnd(pids, group, kHangMs));
}

TEST(WaysOut, HelpersOfAnEngineThatEndedAreEndedToo) {
    HostileWindow w("spawn-child\non scan\nexit 3\n");
    ASSERT_TRUE(w.waitFor([&] { return enginePids(w).size() == 2; }, kHangMs));
    const std::vector<pid_t> pids = enginePids(w);
    const pid_t group = testing::groupOf(pids.front());
    ASSERT_GT(group, 0);
    w.content->model().scan();
    ASSERT_TRUE(w.waitFor([&] { return !w.client().engineRunning(); }, kHangMs));
    EXPECT_TRUE(allEnd(pids, group, kHangMs));
}

// Catches the signal in this test process; the handler that was there before
// is put back afterwards.
volatile sig_atomic_t earlier = 0;
void countEarlier(int) {
    earlier = earlier + 1;
}

TEST(QuitSignals, LogoutHangupAndInterruptEachCallBackOnTheMainThread) {
    struct sigaction mine {};
    mine.sa_handler = countEarlier;
    sigemptyset(&mine.sa_mask);
    struct sigaction before[3];
    const int kinds[3] = {SIGTERM, SIGHUP, SIGINT};
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(::sigaction(kinds[i], &mine, &before[i]), 0);
    {
        int calls = 0;
        QuitSignals quit([&] { ++calls; });
        ASSERT_TRUE(quit.catching());
        // Only one at a time: a second would steal the first one's pipe.
        QuitSignals second([] {});
        EXPECT_FALSE(second.catching());
        for (int i = 0; i < 3; ++i) {
            ASSERT_EQ(::raise(kinds[i]), 0);
            // Nothing is done inside the handler itself.
            EXPECT_EQ(calls, i);
            EXPECT_TRUE(QTest::qWaitFor([&] { return calls == i + 1; }, kHangMs)) << kinds[i];
        }
        EXPECT_EQ(earlier, 0);
    }
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(::raise(kinds[i]), 0);
    EXPECT_EQ(earlier, 3);
    for (int i = 0; i < 3; ++i)
        ::sigaction(kinds[i], &before[i], nullptr);
}

TEST(QuitSignals, ASignalIgnoredAtStartStaysIgnoredAndTheOthersStillCount) {
    // Started under nohup: a hangup is ignored before the app begins.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    struct sigaction before {};
    ASSERT_EQ(::sigaction(SIGHUP, &ignore, &before), 0);
    const auto hangupIgnored = [] {
        struct sigaction now {};
        return ::sigaction(SIGHUP, nullptr, &now) == 0 && (now.sa_flags & SA_SIGINFO) == 0 &&
               now.sa_handler == SIG_IGN;
    };
    {
        int calls = 0;
        QuitSignals quit([&] { ++calls; });
        ASSERT_TRUE(quit.catching());
        EXPECT_TRUE(hangupIgnored());
        // Still ignored: this process goes on, and nothing is asked of it.
        ASSERT_EQ(::raise(SIGHUP), 0);
        // Logout still is a quit.
        ASSERT_EQ(::raise(SIGTERM), 0);
        EXPECT_TRUE(QTest::qWaitFor([&] { return calls == 1; }, kHangMs));
    }
    // Nothing of ours is left in its place either.
    EXPECT_TRUE(hangupIgnored());
    ::sigaction(SIGHUP, &before, nullptr);
}

}  // namespace
}  // namespace virirado
