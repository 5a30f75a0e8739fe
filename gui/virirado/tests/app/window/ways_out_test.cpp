// Every way out of the app against an engine that will not finish: the sheet's
// close button, logout's SIGTERM, and an engine that ignores SIGTERM and leaves
// a helper holding its output. Each must end the app within seconds, log what
// the clean may have removed, and leave no process of the engine behind.
#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QTest>

#include "HostileWindow.hpp"
#include "OneRowClean.hpp"
#include "Processes.hpp"

namespace virirado {
namespace {

using namespace testing::hostile;
using testing::allEnd;

constexpr int kWithin = 3000;

// An engine that ignores SIGTERM and has a helper holding its output.
const std::string kStubborn = "ignore-term\nspawn-child\n";

TEST(WaysOut, AStubbornEngineAndItsHelperEndWithTheApp) {
    // It stopped reading and ignores SIGTERM: neither a closed input nor a
    // terminate ends it, and its helper keeps its output open.
    HostileWindow w(kStubborn + "stall 60000\n");
    ASSERT_TRUE(w.waitFor([&] { return enginePids(w).size() == 2; }, 10000));
    const std::vector<pid_t> pids = enginePids(w);

    QElapsedTimer clock;
    clock.start();
    QTest::keyClick(w.window.get(), Qt::Key_Q, Qt::ControlModifier);
    ASSERT_TRUE(w.waitFor([&] { return !w.window->isVisible(); }, kWithin));
    // As the app ends: the window, then the engine client with its engine.
    w.window.reset();
    w.object.reset();
    EXPECT_LT(clock.elapsed(), kWithin);
    EXPECT_TRUE(allEnd(pids, pids.front(), kWithin - static_cast<int>(clock.elapsed())));
}

TEST(WaysOut, HelpersOfAnEngineThatEndedAreEndedToo) {
    HostileWindow w("spawn-child\nexit 3\n");
    ASSERT_TRUE(w.waitFor([&] { return !w.client().engineRunning(); }, 10000));
    const std::vector<pid_t> pids = enginePids(w);
    ASSERT_EQ(pids.size(), 2u);
    EXPECT_TRUE(allEnd(pids, pids.front(), kWithin));
}

}  // namespace
}  // namespace virirado
