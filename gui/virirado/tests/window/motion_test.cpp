#include <gtest/gtest.h>

#include <cmath>

#include "Motion.hpp"

namespace virirado {
namespace {

VadePiece piece(std::string id) {
    VadePiece p;
    p.id = std::move(id);
    p.weight = 1;
    return p;
}

std::vector<std::string> ids(const std::vector<MorphSegment>& segments) {
    std::vector<std::string> out;
    for (const MorphSegment& s : segments)
        out.push_back(s.piece.id);
    return out;
}

double total(const std::vector<MorphSegment>& segments, double progress) {
    double sum = 0;
    for (const MorphSegment& s : segments)
        sum += s.at(progress);
    return sum;
}

TEST(Spring, StartsAtZeroSettlesAtOneAndOvershootsLittle) {
    EXPECT_EQ(springProgress(0, 0.34, 0.85), 0);
    EXPECT_EQ(springProgress(-1, 0.34, 0.85), 0);
    const double settle = springSettleTime(0.34, 0.85);
    EXPECT_GT(settle, 0.3);
    EXPECT_LT(settle, 0.6);
    EXPECT_NEAR(springProgress(settle, 0.34, 0.85), 1, 1e-3);
    double peak = 0;
    for (double t = 0; t < 1; t += 0.001)
        peak = std::max(peak, springProgress(t, 0.34, 0.85));
    EXPECT_GT(peak, 1);
    EXPECT_LT(peak, 1.01);
    // Critically damped: never past the target.
    for (double t = 0; t < 1; t += 0.01)
        EXPECT_LE(springProgress(t, 0.3, 1), 1);
    // No response: there at once.
    EXPECT_EQ(springProgress(0.1, 0, 0.85), 1);
    EXPECT_EQ(springProgress(NAN, 0.3, 0.85), 0);
}

TEST(SelectionEase, StartsFastAndSlowsIntoPlace) {
    EXPECT_EQ(easeOut(0), 0);
    EXPECT_EQ(easeOut(1), 1);
    EXPECT_EQ(easeOut(-1), 0);
    EXPECT_EQ(easeOut(2), 1);
    EXPECT_EQ(easeOut(NAN), 0);
    // Ahead of a straight line all the way, and rising.
    double last = 0;
    for (double x = 0.05; x < 1; x += 0.05) {
        const double y = easeOut(x);
        EXPECT_GT(y, x) << x;
        EXPECT_GT(y, last) << x;
        last = y;
    }
    // Halfway through the time, more than two thirds of the way is done; the
    // last stretch goes slowest.
    EXPECT_NEAR(easeOut(0.5), 0.6846, 2e-3);
    EXPECT_GT(easeOut(0.9) - easeOut(0.8), 0);
    EXPECT_LT(easeOut(0.9) - easeOut(0.8), easeOut(0.2) - easeOut(0.1));
    EXPECT_DOUBLE_EQ(kSelectionSeconds, 0.12);
}

TEST(FrameClock, IntervalsKeepUnderTheirCap) {
    EXPECT_EQ(frameIntervalMs(60), 17);
    EXPECT_EQ(frameIntervalMs(30), 34);
    EXPECT_EQ(frameIntervalMs(24), 42);
    EXPECT_EQ(frameIntervalMs(20), 50);
    for (int fps = 1; fps <= 240; ++fps) {
        const int ms = frameIntervalMs(fps);
        EXPECT_LE(1000.0 / ms, fps) << fps;
        // And no slower than needed: one millisecond less would break the cap.
        if (ms > 1) {
            EXPECT_GT(1000.0 / (ms - 1), fps) << fps;
        }
    }
    EXPECT_EQ(frameIntervalMs(0), 1000);
    EXPECT_EQ(frameIntervalMs(-5), 1000);
    EXPECT_EQ(frameIntervalMs(5000), 1);
}

TEST(SegmentMorph, PiecesGrowShrinkAndKeepTheirPlace) {
    const std::vector<TargetShare> before{
        {piece("other"), 0.5}, {piece("a"), 0.2}, {piece("b"), 0.1}, {piece("fresh"), 0.2}};
    const auto shown = settledSegments(before);
    EXPECT_DOUBLE_EQ(total(shown, 1), 1);

    // "a" is cleaned away, "c" arrives.
    const std::vector<TargetShare> after{
        {piece("other"), 0.5}, {piece("b"), 0.1}, {piece("c"), 0.2}, {piece("fresh"), 0.2}};
    const auto morph = morphSegments(shown, 1, after);
    EXPECT_EQ(ids(morph), (std::vector<std::string>{"other", "a", "b", "c", "fresh"}));
    EXPECT_DOUBLE_EQ(morph[1].from, 0.2);
    EXPECT_DOUBLE_EQ(morph[1].to, 0);
    EXPECT_DOUBLE_EQ(morph[3].from, 0);
    EXPECT_DOUBLE_EQ(morph[3].to, 0.2);
    // The bar stays full all the way.
    for (double e : {0.0, 0.25, 0.5, 1.0})
        EXPECT_DOUBLE_EQ(total(morph, e), 1);

    // A change while another runs starts from what is on screen.
    const std::vector<TargetShare> again{{piece("other"), 0.6}, {piece("fresh"), 0.4}};
    const auto second = morphSegments(morph, 0.5, again);
    EXPECT_EQ(ids(second), (std::vector<std::string>{"other", "a", "b", "c", "fresh"}));
    EXPECT_DOUBLE_EQ(second[0].from, 0.5);
    EXPECT_DOUBLE_EQ(second[1].from, 0.1);
    EXPECT_DOUBLE_EQ(second[3].from, 0.1);
    EXPECT_DOUBLE_EQ(total(second, 0), 1);
    EXPECT_DOUBLE_EQ(total(second, 1), 1);

    // A leaver before every kept piece stays in front; one already gone is dropped.
    const auto lead = morphSegments(settledSegments({{piece("x"), 0.5}, {piece("fresh"), 0.5}}), 1,
                                    {{piece("fresh"), 1}});
    EXPECT_EQ(ids(lead), (std::vector<std::string>{"x", "fresh"}));
    const auto gone = morphSegments(lead, 1, {{piece("fresh"), 1}});
    EXPECT_EQ(ids(gone), (std::vector<std::string>{"fresh"}));
}

}  // namespace
}  // namespace virirado
