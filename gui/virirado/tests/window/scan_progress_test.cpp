#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ScanProgress.hpp"

namespace virirado {
namespace {

TEST(ScanProgress, PercentIsWholeAndSafeForAnyNumber) {
    EXPECT_EQ(wholePercent(62.5), 63);
    EXPECT_EQ(wholePercent(3.6), 4);
    EXPECT_EQ(wholePercent(0.49), 0);
    EXPECT_EQ(wholePercent(-0.5), -1);
    EXPECT_EQ(wholePercent(120), 120);
    // The engine's figure is unchecked JSON.
    EXPECT_EQ(wholePercent(std::nan("")), 0);
    EXPECT_EQ(wholePercent(INFINITY), 0);
    EXPECT_EQ(wholePercent(-INFINITY), 0);
    EXPECT_EQ(wholePercent(1e300), 1'000'000'000);
    EXPECT_EQ(wholePercent(-1e300), -1'000'000'000);
    EXPECT_EQ(wholePercent(std::numeric_limits<double>::max()), 1'000'000'000);
}

TEST(ScanProgress, ProgressLabel) {
    EXPECT_EQ(progressLabel(62.5, std::nullopt), "63% \u00B7 estimating");
    EXPECT_EQ(progressLabel(10, 4.4), "10% \u00B7 about 4s left");
    EXPECT_EQ(progressLabel(3.6, std::nullopt), "4% \u00B7 estimating");
    EXPECT_EQ(progressLabel(50, 0), "50% \u00B7 almost done");
    EXPECT_EQ(progressLabel(50, -2), "50% \u00B7 almost done");
    EXPECT_EQ(progressLabel(50, 0.3), "50% \u00B7 about 1s left");
    EXPECT_EQ(progressLabel(50, 150), "50% \u00B7 about 3 min left");
    EXPECT_EQ(progressLabel(120, 150), "120% \u00B7 about 3 min left");
    EXPECT_EQ(progressLabel(std::nan(""), 1e300), "0% \u00B7 estimating");
    EXPECT_EQ(progressLabel(1e20, INFINITY), "1000000000% \u00B7 estimating");
}

TEST(ScanProgress, FillWidthAtItsBounds) {
    // 4 % of 280 is 11.2, raised to the 12-point minimum.
    EXPECT_DOUBLE_EQ(scanBarFill(0, 280), 12);
    EXPECT_DOUBLE_EQ(scanBarFill(3.9, 280), 12);
    EXPECT_DOUBLE_EQ(scanBarFill(4, 280), 12);
    EXPECT_DOUBLE_EQ(scanBarFill(4, 400), 16);
    EXPECT_DOUBLE_EQ(scanBarFill(3.9, 400), 16);
    EXPECT_DOUBLE_EQ(scanBarFill(50, 280), 140);
    EXPECT_DOUBLE_EQ(scanBarFill(120, 280), 280);
    EXPECT_DOUBLE_EQ(scanBarFill(2, 220), 12);
    EXPECT_DOUBLE_EQ(scanBarFill(-30, 280), 12);
    EXPECT_DOUBLE_EQ(scanBarFill(std::nan(""), 280), 12);
    EXPECT_DOUBLE_EQ(scanBarFill(std::nan(""), 1000), 40);
    EXPECT_DOUBLE_EQ(scanBarFill(INFINITY, 280), 280);
    EXPECT_DOUBLE_EQ(scanBarFill(50, std::nan("")), 12);
}

TEST(ScanProgress, ShimmerSweepsAcrossTheFill) {
    // sin(2.8 t) = 0 at t = 0: the band sits half way.
    EXPECT_DOUBLE_EQ(shimmerOffset(140, 0), (140 - 24) * 0.5 - 12);
    const double top = M_PI / 2 / 2.8;
    EXPECT_NEAR(shimmerOffset(140, top), 140 - 24 - 12, 1e-9);
    EXPECT_NEAR(shimmerOffset(140, -top), -12, 1e-9);
    // A fill narrower than the band still moves by one point.
    EXPECT_NEAR(shimmerOffset(12, top), 1 - 12, 1e-9);
    EXPECT_DOUBLE_EQ(shimmerOffset(140, INFINITY), (140 - 24) * 0.5 - 12);
}

TEST(ScanProgress, RingsGrowAndFadeAThirdApart) {
    // 0.65 t = 1 at t = 1 / 0.65: ring 0 starts again, ring 1 a third in.
    const double t = 1 / 0.65;
    const ScanRing first = scanRing(0, t);
    EXPECT_NEAR(first.phase, 0, 1e-9);
    EXPECT_NEAR(first.diameter, 26, 1e-6);
    EXPECT_NEAR(first.opacity, 0.42, 1e-9);

    const ScanRing second = scanRing(1, t);
    EXPECT_NEAR(second.phase, 0.33, 1e-9);
    EXPECT_NEAR(second.diameter, 26 + 52 * 0.33, 1e-9);
    EXPECT_NEAR(second.opacity, 0.42 * 0.67, 1e-9);

    const ScanRing third = scanRing(2, t + 0.5 / 0.65);
    EXPECT_NEAR(third.phase, 0.16, 1e-9);

    // Near the end of its cycle the ring is almost 78 points and almost gone.
    const ScanRing late = scanRing(0, 0.99 / 0.65);
    EXPECT_NEAR(late.diameter, 26 + 52 * 0.99, 1e-6);
    EXPECT_NEAR(late.opacity, 0.42 * 0.01, 1e-9);

    for (double bad : {std::nan(""), double{INFINITY}, -double{INFINITY}}) {
        const ScanRing r = scanRing(1, bad);
        EXPECT_GE(r.phase, 0);
        EXPECT_LT(r.phase, 1);
    }
    const ScanRing before2001 = scanRing(0, -0.2 / 0.65);
    EXPECT_NEAR(before2001.phase, 0.8, 1e-9);
}

TEST(ScanProgress, RecentPlacesNewestFirstWithoutTheCurrentOne) {
    using List = std::vector<std::string>;
    EXPECT_EQ(recentPlaces({"a", "b", "c", "d"}), (List{"c", "b"}));
    EXPECT_EQ(recentPlaces({"a", "b", "c"}), (List{"b", "a"}));
    EXPECT_EQ(recentPlaces({"a", "b"}), (List{"a"}));
    EXPECT_EQ(recentPlaces({"a"}), List{});
    EXPECT_EQ(recentPlaces({}), List{});
}

}  // namespace
}  // namespace virirado
