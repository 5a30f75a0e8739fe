// What every way out of a clean that never ends must come to: the wait line
// on the sheet first, then the window gone, the engine and everything it
// started ended, its one row logged as "unknown". How fast is measured by
// bench/window/ways_out_bench.cpp; a bound here only catches a hang.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "OneRowClean.hpp"
#include "Processes.hpp"
#include "Settled.hpp"

namespace virirado::testing::hostile {

inline const std::string kWaitLine = "Closes when done \u00B7 close again to stop now";

// Takes `wayOut` (the second close, a signal) against an engine with one
// helper of its own, and checks that both and the window end.
inline void expectWayOutEndsAtOnce(HostileWindow& w, const std::function<void()>& wayOut) {
    const std::vector<pid_t> pids = enginePids(w);
    ASSERT_EQ(pids.size(), 2u);
    // The engine's group is not named after it: read it while it runs.
    const pid_t group = testing::groupOf(pids.front());
    ASSERT_GT(group, 0);
    wayOut();
    // The clean never ends: only ending the engine closes the window.
    ASSERT_TRUE(w.waitFor([&] { return !w.window->isVisible(); }, kHangMs));
    EXPECT_FALSE(w.client().engineRunning());
    EXPECT_EQ(logLines(w.home, "unknown"), 1) << deletionLogs(w.home);
    EXPECT_TRUE(testing::allEnd(pids, group, kHangMs));
}

}  // namespace virirado::testing::hostile
