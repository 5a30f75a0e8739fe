#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "DazuLayout.hpp"

namespace virirado::dazu {
namespace {

VadePiece piece(std::string id, int64_t weight, VadeRole role = VadeRole::pebble,
                int64_t listed = -1) {
    VadePiece p;
    p.id = std::move(id);
    p.weight = weight;
    p.listed = listed < 0 ? weight : listed;
    p.role = role;
    return p;
}

// A frame time at which sin(1.85 t) is exactly `s`.
double sweepAt(double s) {
    return std::asin(s) / 1.85;
}

TEST(DazuSegments, WidthsAreSharesOfTheWeight) {
    EXPECT_TRUE(segmentFrames({}, 800).empty());
    EXPECT_TRUE(segmentFrames({piece("a", 0), piece("b", -5)}, 800).empty());

    const auto one = segmentFrames({piece("a", 0), piece("b", 7)}, 640);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].index, 1u);
    EXPECT_DOUBLE_EQ(one[0].width, 640);

    // A negative weight is left out and never shifts the others.
    const auto frames = segmentFrames(
        {piece("other", 3000), piece("neg", -1000), piece("tiny", 1), piece("fresh", 6999)}, 1000);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].index, 0u);
    EXPECT_EQ(frames[1].index, 2u);
    EXPECT_EQ(frames[2].index, 3u);
    EXPECT_DOUBLE_EQ(frames[0].width, 300);
    // No minimum and no rounding: a tiny piece gets a sub-point segment.
    EXPECT_DOUBLE_EQ(frames[1].width, 0.1);
    EXPECT_DOUBLE_EQ(frames[0].width + frames[1].width + frames[2].width, 1000);

    // Weights near the 64-bit limit still share the bar.
    const int64_t big = std::numeric_limits<int64_t>::max();
    const auto huge = segmentFrames({piece("a", big), piece("b", big)}, 100);
    ASSERT_EQ(huge.size(), 2u);
    EXPECT_DOUBLE_EQ(huge[0].width, 50);
    // A width that is no number draws nothing wide.
    EXPECT_DOUBLE_EQ(segmentFrames({piece("a", 1)}, NAN)[0].width, 0);
}

TEST(DazuSegments, SeparatorRingAndFill) {
    EXPECT_DOUBLE_EQ(separatorWidth(VadeRole::pebble, 3), 1);
    EXPECT_DOUBLE_EQ(separatorWidth(VadeRole::clean, 6), 1.5);
    EXPECT_DOUBLE_EQ(separatorWidth(VadeRole::base, 400), 1.5);
    EXPECT_DOUBLE_EQ(separatorWidth(VadeRole::pebble, 0.3), 0.1);
    EXPECT_DOUBLE_EQ(separatorWidth(VadeRole::water, 400), 0);

    const VadePiece kept = piece("row1", 5, VadeRole::pebble);
    const VadePiece clean = piece("row2", 5, VadeRole::clean);
    const VadePiece fresh = piece("fresh", 5, VadeRole::water);
    const VadePiece other = piece("other", 5, VadeRole::base);
    EXPECT_TRUE(segmentRing(kept, std::string("row1"), false));
    EXPECT_TRUE(segmentRing(clean, std::string("row2"), false));
    EXPECT_FALSE(segmentRing(kept, std::string("row1"), true));
    EXPECT_FALSE(segmentRing(kept, std::string("row2"), false));
    EXPECT_FALSE(segmentRing(kept, std::nullopt, false));
    EXPECT_FALSE(segmentRing(fresh, std::string("fresh"), false));
    EXPECT_FALSE(segmentRing(other, std::string("other"), false));

    EXPECT_STREQ(segmentFill(VadeRole::clean).fill.pick(false), "#FF7A2F");
    EXPECT_STREQ(segmentFill(VadeRole::base).fill.pick(true), "#1C3D5E");
    EXPECT_STREQ(segmentFill(VadeRole::pebble).fill.pick(false), "#BFEEF4");
    const SegmentFill water = segmentFill(VadeRole::water);
    ASSERT_TRUE(water.fillEnd.has_value());
    EXPECT_STREQ(water.fill.pick(true), "#0E7F90");
    EXPECT_STREQ(water.fillEnd->pick(false), "#5CCFDD");

    // While the selection moves from row1 to row2, row1's border fades as row2's
    // comes up; a piece the selection neither left nor reached shows none.
    const std::optional<std::string> from("row1");
    const std::optional<std::string> to("row2");
    EXPECT_DOUBLE_EQ(segmentRingWeight(kept, from, to, 0.25, false), 0.75);
    EXPECT_DOUBLE_EQ(segmentRingWeight(clean, from, to, 0.25, false), 0.25);
    EXPECT_DOUBLE_EQ(segmentRingWeight(clean, to, to, 0.25, false), 1);
    EXPECT_DOUBLE_EQ(segmentRingWeight(kept, std::nullopt, to, 0.5, false), 0);
    EXPECT_DOUBLE_EQ(segmentRingWeight(clean, std::nullopt, to, 2, false), 1);
    EXPECT_DOUBLE_EQ(segmentRingWeight(clean, std::nullopt, to, NAN, false), 1);
    // Open, no border at all.
    EXPECT_DOUBLE_EQ(segmentRingWeight(clean, from, to, 0.5, true), 0);
}

TEST(DazuSegments, FishRestsOnlyOnFreeSpaceWhileFolded) {
    const std::vector<VadePiece> pieces{piece("other", 10, VadeRole::base),
                                        piece("fresh", 10, VadeRole::water)};
    const auto frames = segmentFrames(pieces, 500);
    const auto fish = restingFish(pieces, frames, false, false, 500, 26);
    ASSERT_TRUE(fish.has_value());
    EXPECT_EQ(*fish, (PlotPoint{478, 13}));
    EXPECT_FALSE(restingFish(pieces, frames, true, false, 500, 26));
    EXPECT_FALSE(restingFish(pieces, frames, false, true, 500, 26));
    EXPECT_FALSE(restingFish(pieces, {}, false, false, 500, 26));

    // No free space: the water piece has no weight and no frame.
    const std::vector<VadePiece> full{piece("other", 10, VadeRole::base),
                                      piece("fresh", 0, VadeRole::water)};
    EXPECT_FALSE(restingFish(full, segmentFrames(full, 500), false, false, 500, 26));
}

TEST(DazuOverlay, SweepBandAndFish) {
    EXPECT_DOUBLE_EQ(sweepBandWidth(100, false), 120);
    EXPECT_DOUBLE_EQ(sweepBandWidth(100, true), 40);
    EXPECT_DOUBLE_EQ(sweepBandWidth(1000, false), 280);
    EXPECT_DOUBLE_EQ(sweepBandWidth(1000, true), 280);

    // The band's centre travels between the two edges.
    EXPECT_NEAR(sweepBandX(1000, sweepAt(-1), false), -140, 1e-9);
    EXPECT_NEAR(sweepBandX(1000, sweepAt(1), false), 860, 1e-9);
    EXPECT_NEAR(sweepBandX(1000, 0, true), 360, 1e-9);

    // No progress yet: the fish follows the sweep between 12% and 88%.
    EXPECT_NEAR(fishFraction(0, sweepAt(-1)), 0.12, 1e-9);
    EXPECT_NEAR(fishFraction(2, sweepAt(1)), 0.88, 1e-9);
    EXPECT_NEAR(fishFraction(1, 0), 0.5, 1e-9);
    EXPECT_DOUBLE_EQ(fishFraction(2.5, 0), 0.08);
    EXPECT_DOUBLE_EQ(fishFraction(50, 0), 0.5);
    EXPECT_DOUBLE_EQ(fishFraction(95, 0), 0.92);
    EXPECT_DOUBLE_EQ(fishFraction(1e300, 0), 0.92);
    // A percent that is no number counts as none yet.
    EXPECT_NEAR(fishFraction(NAN, 0), 0.5, 1e-9);
    EXPECT_NEAR(fishFraction(-INFINITY, 0), 0.5, 1e-9);

    // Wobble at its top: sin(5.2 t) = 1.
    const double t = std::numbers::pi / 2 / 5.2;
    const SwimmingFish fish = swimmingFish(1000, 26, 50, t);
    EXPECT_NEAR(fish.centre.x, 500, 1e-9);
    EXPECT_NEAR(fish.centre.y, 13 + 1.8, 1e-9);
    EXPECT_NEAR(fish.angleDegrees, 3.2, 1e-9);
    EXPECT_NEAR(fish.wakeCentre.x, 476, 1e-9);
    EXPECT_NEAR(fish.wakeCentre.y, fish.centre.y, 1e-9);
    // Near the leading edge the wake stays 18 points in.
    EXPECT_DOUBLE_EQ(swimmingFish(100, 26, 10, 0).wakeCentre.x, 18);
}

TEST(DazuOverlay, StaticBlock) {
    EXPECT_DOUBLE_EQ(staticBlockWidth(1000, 0), 80);
    EXPECT_DOUBLE_EQ(staticBlockWidth(1000, 7.9), 80);
    EXPECT_DOUBLE_EQ(staticBlockWidth(300, 5), 36);
    EXPECT_DOUBLE_EQ(staticBlockWidth(1000, 8), 80);
    EXPECT_DOUBLE_EQ(staticBlockWidth(1000, 62), 620);
    EXPECT_DOUBLE_EQ(staticBlockWidth(1000, 100), 1000);
    EXPECT_DOUBLE_EQ(staticBlockWidth(1000, 250), 1000);
    EXPECT_DOUBLE_EQ(staticBlockWidth(1000, NAN), 80);
    EXPECT_DOUBLE_EQ(staticBlockWidth(1000, INFINITY), 80);
}

TEST(DazuOverlay, WaveLinesAndTexture) {
    const auto line = waveLine(1, 20, 40, 0);
    // The start, then x = 0, 5, 10, 15, 20.
    ASSERT_EQ(line.size(), 6u);
    EXPECT_EQ(line[0], (PlotPoint{0, 20}));
    EXPECT_NEAR(line[1].y, 20 + 2.2 * std::sin(1.3), 1e-12);
    EXPECT_DOUBLE_EQ(line.back().x, 20);
    EXPECT_NEAR(line.back().y, 20 + 2.2 * std::sin(1.3 + 20.0 / 16), 1e-12);
    EXPECT_DOUBLE_EQ(waveLine(0, 20, 40, 0)[0].y, 10);
    EXPECT_DOUBLE_EQ(waveLine(2, 20, 40, 0)[0].y, 30);
    EXPECT_EQ(waveLine(0, 19.9, 40, 0).size(), 5u);
    // The line moves with time.
    EXPECT_NE(waveLine(0, 20, 40, 0)[2].y, waveLine(0, 20, 40, 0.3)[2].y);

    const auto light = waterTexture(13, 26, false);
    ASSERT_EQ(light.size(), 3u);
    ASSERT_EQ(light[0].size(), 4u);  // start, x = 0, 6, 12
    EXPECT_DOUBLE_EQ(light[2][0].y, 26 * (0.22 + 0.32));
    EXPECT_NEAR(light[1][2].y, 26 * 0.38 + 1.8 * std::sin(6.0 / 18 + 1), 1e-12);
    const auto dark = waterTexture(13, 26, true);
    ASSERT_EQ(dark.size(), 5u);
    EXPECT_NEAR(dark[4][1].y, 26 * (0.22 + 0.64) + 2.5 * std::sin(4.0), 1e-12);
}

TEST(DazuLegend, FiguresByRole) {
    const std::vector<VadePiece> pieces{
        piece("other", 100, VadeRole::base, 150), piece("a", 10, VadeRole::clean, 12),
        piece("b", 20, VadeRole::pebble, 25),     piece("c", 5, VadeRole::pebble, 6),
        piece("fresh", 50, VadeRole::water, 60),
    };
    EXPECT_EQ(legendFigures(pieces, 777), (LegendFigures{150, 777, 31, 60}));
    // "Back" is the figure handed in, even with no ticked piece; nothing at all
    // shows zeros.
    EXPECT_EQ(legendFigures({}, 5), (LegendFigures{0, 5, 0, 0}));
    const int64_t max = std::numeric_limits<int64_t>::max();
    EXPECT_EQ(
        legendFigures({piece("x", 1, VadeRole::pebble, max), piece("y", 1, VadeRole::pebble, 9)}, 0)
            .kept,
        max);

    // Each item reads its word and the figure it shows.
    std::vector<std::string> names;
    for (const LegendEntry& e : legendEntries(LegendFigures{150, 1'200'000'000, 31, 0}))
        names.push_back(legendEntryName(e));
    EXPECT_EQ(names, (std::vector<std::string>{"Other, 150 B", "Back, 1.2 GB", "Kept, 31 B",
                                               "Free, 0 B"}));

    EXPECT_EQ(scanningLine("", "/home/ann"), "Scanning tank\u2026");
    EXPECT_EQ(scanningLine("~/Library", "/home/ann"), "~/Library");
    // The home is written "~", as in the summary bar, only where a folder name ends.
    EXPECT_EQ(scanningLine("/home/ann/.cache/pip", "/home/ann"), "~/.cache/pip");
    EXPECT_EQ(scanningLine("/home/ann", "/home/ann/"), "~");
    EXPECT_EQ(scanningLine("/home/anna/x", "/home/ann"), "/home/anna/x");
    EXPECT_EQ(scanningLine("/srv/data", "/home/ann"), "/srv/data");
}

TEST(DazuHeader, CountsEveryRowAndAddsTheLargerFigure) {
    std::vector<VadeRow> rows(4);
    rows[0].size = 900;
    rows[0].realistic = 300;  // 900
    rows[1].size = 100;
    rows[1].realistic = 2000;  // 2000
    rows[2].size = 0;          // counted, adds nothing
    rows[3].size = 50;
    rows[3].realistic = 0;  // 50
    const RowRefs refs = refsOf(rows);
    EXPECT_EQ(headerListedSum(refs), 2950);
    EXPECT_EQ(headerCount(refs), "4 items (3.0 KB)");
    EXPECT_EQ(headerCount({}), "0 items (0 B)");
    // Read as one heading, as it is drawn.
    EXPECT_EQ(headerHeading(headerCount(refs)), "LARGEST FILES \u00B7 4 items (3.0 KB)");
}

TEST(DazuCard, LooksAndToggle) {
    const CardLook folded = cardLook(false, false, false);
    EXPECT_EQ(folded.radius, 13);
    EXPECT_STREQ(folded.fill.pick(false), "#E8F7F9");
    EXPECT_EQ(folded.borderOpacity, 0.45);
    EXPECT_EQ(folded.shadowRadius, 20);
    EXPECT_EQ(folded.shadowOffsetY, 2);
    const CardLook hover = cardLook(false, true, false);
    EXPECT_STREQ(hover.border.pick(false), "#19B5C9");
    EXPECT_EQ(hover.borderWidth, 1.5);
    EXPECT_EQ(hover.borderOpacity, 0.75);
    EXPECT_EQ(hover.shadowRadius, 24);
    // Open: no hover border.
    const CardLook open = cardLook(true, true, false);
    EXPECT_EQ(open.radius, 16);
    EXPECT_STREQ(open.border.pick(false), "#E3E9EF");
    EXPECT_EQ(open.borderOpacity, 1);
    EXPECT_EQ(open.shadowRadius, 14);
    EXPECT_EQ(open.shadowOpacity, 0.08);
    EXPECT_EQ(open.shadowOffsetY, 5);
    const CardLook openDark = cardLook(true, false, true);
    EXPECT_EQ(openDark.shadowRadius, 22);
    EXPECT_EQ(openDark.shadowOpacity, 0.18);
    EXPECT_EQ(openDark.shadowOffsetY, 0);
    EXPECT_STREQ(openDark.shadow.pick(true), "#19B5C9");
    EXPECT_EQ(cardLook(false, false, true).shadowRadius, 20);

    EXPECT_EQ(toggleTarget(std::nullopt, false), std::optional<bool>(true));
    EXPECT_EQ(toggleTarget(std::nullopt, true), std::optional<bool>(false));
    EXPECT_EQ(toggleTarget(true, false), std::optional<bool>(true));
    // The legend's hint never folds.
    EXPECT_EQ(toggleTarget(true, true), std::nullopt);

    EXPECT_EQ(stripHelp(true), "Click to fold back to the Dazu bar");
    EXPECT_EQ(stripHelp(false), "Click to expand the largest files map");
    EXPECT_EQ(stripAccessibleName(true), "Collapse largest files map");
    EXPECT_EQ(stripAccessibleName(false), "Expand largest files map");
}

}  // namespace
}  // namespace virirado::dazu
