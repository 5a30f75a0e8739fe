#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "SnapshotPlan.hpp"

namespace virirado {
namespace {

using Kind = SnapshotAction::Kind;

std::vector<std::string> pictures(const std::vector<SnapshotAction>& plan) {
    std::vector<std::string> out;
    for (const SnapshotAction& a : plan) {
        if (a.kind == Kind::capture || a.kind == Kind::captureSheet ||
            a.kind == Kind::captureWindow) {
            out.push_back(a.path);
        }
    }
    return out;
}

double totalWait(const std::vector<SnapshotAction>& plan) {
    return std::accumulate(plan.begin(), plan.end(), 0.0,
                           [](double s, const SnapshotAction& a) { return s + a.wait; });
}

const std::vector<std::string> kStates{"checking", "progress", "result"};

TEST(SnapshotPlan, DemoRunTakesTwentyPicturesInOrder) {
    const auto plan = snapshotPlan("/o/p", false, true, kStates);
    const std::vector<std::string> expected{
        "/o/p-light.png",          "/o/p-dark.png",           "/o/p-types-light.png",
        "/o/p-types-dark.png",     "/o/p-map-light.png",      "/o/p-map-dark.png",
        "/o/p-scanning-light.png", "/o/p-scanning-dark.png",  "/o/p-scan-hero-light.png",
        "/o/p-scan-hero-dark.png", "/o/p-confirm-light.png",  "/o/p-window-light.png",
        "/o/p-confirm-dark.png",   "/o/p-window-dark.png",    "/o/p-checking-light.png",
        "/o/p-checking-dark.png",  "/o/p-progress-light.png", "/o/p-progress-dark.png",
        "/o/p-result-light.png",   "/o/p-result-dark.png"};
    EXPECT_EQ(pictures(plan), expected);
    EXPECT_EQ(plan.back().kind, Kind::quit);
    EXPECT_EQ(plan[plan.size() - 2].kind, Kind::finish);
    EXPECT_NEAR(totalWait(plan), 23.8, 1e-9);
}

TEST(SnapshotPlan, QuickDemoStopsAfterTheScanHero) {
    const auto plan = snapshotPlan("p", true, true, kStates);
    const auto shots = pictures(plan);
    ASSERT_EQ(shots.size(), 8u);
    EXPECT_EQ(shots.front(), "p-light.png");
    EXPECT_EQ(shots.back(), "p-scan-hero-dark.png");
    EXPECT_EQ(plan.back().kind, Kind::quit);
    EXPECT_TRUE(std::none_of(plan.begin(), plan.end(),
                             [](const SnapshotAction& a) { return a.kind == Kind::showPreview; }));
    // The root comes back before the run ends, so the window is left whole.
    EXPECT_EQ(plan[plan.size() - 2].kind, Kind::restoreRoot);
    EXPECT_NEAR(totalWait(plan), 4.8, 1e-9);
}

TEST(SnapshotPlan, ScanRunTakesItsStepsAndQuits) {
    const auto normal = pictures(snapshotPlan("s", false, false, kStates));
    EXPECT_EQ(normal, (std::vector<std::string>{"s-everything.png", "s-biggest.png",
                                                "s-developer.png", "s-search-size-kind.png",
                                                "s-search-name.png", "s-everything-dark.png"}));
    EXPECT_EQ(pictures(snapshotPlan("s", true, false, kStates)).size(), 2u);
}

TEST(SnapshotPlan, NoCleanStatesStillClearsAndQuits) {
    const auto plan = snapshotPlan("p", false, true, {});
    EXPECT_EQ(pictures(plan).size(), 14u);
    EXPECT_EQ(plan[plan.size() - 2].kind, Kind::finish);
}

TEST(SnapshotPlan, EachStepPicturesItsOwnAppearance) {
    const auto plan = snapshotPlan("p", false, true, kStates);
    bool dark = false;
    for (const SnapshotAction& a : plan) {
        if (a.kind == Kind::appearance) dark = a.dark;
        if (a.kind != Kind::capture && a.kind != Kind::captureSheet &&
            a.kind != Kind::captureWindow) {
            continue;
        }
        const bool namedDark = a.path.find("dark") != std::string::npos;
        EXPECT_EQ(dark, namedDark) << a.path;
    }
}

}  // namespace
}  // namespace virirado
