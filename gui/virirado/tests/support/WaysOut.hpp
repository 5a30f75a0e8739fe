// What every way out of a clean that never ends must come to: the wait line
// on the sheet first, then the window gone in time, the engine and everything
// it started ended, its one row logged as "unknown".
#pragma once

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <functional>
#include <string>
#include <vector>

#include "OneRowClean.hpp"
#include "Processes.hpp"

namespace virirado::testing::hostile {

inline constexpr int kWithin = 3000;
inline const std::string kWaitLine = "Closes when done \u00B7 close again to stop now";

// `clock` started when the way out was asked for.
inline void expectEndedAtOnce(HostileWindow& w, const QElapsedTimer& clock,
                              const std::vector<pid_t>& pids) {
    ASSERT_FALSE(pids.empty());
    ASSERT_TRUE(w.waitFor([&] { return !w.window->isVisible(); }, kWithin));
    EXPECT_LT(clock.elapsed(), kWithin);
    EXPECT_FALSE(w.client().engineRunning());
    EXPECT_EQ(logLines(w.home, "unknown"), 1) << deletionLogs(w.home);
    EXPECT_TRUE(testing::allEnd(pids, pids.front(), kWithin - static_cast<int>(clock.elapsed())));
}

// Takes `wayOut` (the second close, a signal) against an engine with one
// helper of its own, and checks that both and the window end in time.
inline void expectWayOutEndsAtOnce(HostileWindow& w, const std::function<void()>& wayOut) {
    const std::vector<pid_t> pids = enginePids(w);
    ASSERT_EQ(pids.size(), 2u);
    QElapsedTimer clock;
    clock.start();
    wayOut();
    expectEndedAtOnce(w, clock, pids);
}

}  // namespace virirado::testing::hostile
