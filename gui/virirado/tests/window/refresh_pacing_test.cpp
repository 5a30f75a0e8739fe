#include <gtest/gtest.h>

#include "RefreshPacing.hpp"

using virirado::RefreshPacing;

// The wait after a refresh grows with what the refresh cost, so the share of
// time spent refreshing stays the same as the list grows; it never drops below
// the shortest wait, and a change that comes late enough refreshes at once.
TEST(RefreshPacing, WaitFollowsTheLastRefreshCost) {
    RefreshPacing pacing;
    EXPECT_EQ(pacing.delay(5.0), 0.0);

    pacing.refreshed(10.0, 10.01);  // cheap: the shortest wait applies
    EXPECT_NEAR(pacing.delay(10.01), RefreshPacing::kShortest, 1e-9);
    EXPECT_NEAR(pacing.delay(10.06), RefreshPacing::kShortest - 0.05, 1e-9);
    EXPECT_EQ(pacing.delay(10.2), 0.0);

    pacing.refreshed(20.0, 20.5);  // a long list: wait four times as long
    EXPECT_NEAR(pacing.delay(20.5), 2.0, 1e-9);
    EXPECT_NEAR(pacing.delay(21.5), 1.0, 1e-9);
    EXPECT_EQ(pacing.delay(22.5), 0.0);

    // Refreshing takes at most a fifth of the time whatever each refresh costs.
    for (const double cost : {0.001, 0.03, 0.4, 3.0}) {
        RefreshPacing p;
        double now = 0;
        double refreshing = 0;
        for (int i = 0; i < 50; ++i) {
            now += p.delay(now);
            p.refreshed(now, now + cost);
            now += cost;
            refreshing += cost;
        }
        EXPECT_LE(refreshing / now, 1.0 / (1.0 + RefreshPacing::kCostTimes) + 0.01) << cost;
    }

    // A clock that went back gives no negative cost.
    pacing.refreshed(30.0, 29.0);
    EXPECT_NEAR(pacing.delay(29.0), RefreshPacing::kShortest, 1e-9);
}
