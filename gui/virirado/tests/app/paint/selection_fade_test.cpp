#include <gtest/gtest.h>

#include "Clock.hpp"
#include "Motion.hpp"
#include "SelectionFade.hpp"
#include "Timeline.hpp"

namespace virirado {
namespace {

// A clock that stands until the test moves it.
struct Stage {
    FixedClock clock{1'000'000.0, 1000.0};
    QObject owner;

    void advance(double seconds) { clock.set(clock.now() + seconds, clock.frameTime() + seconds); }
};

TEST(SelectionFade, MovesOverTheClockFromTheStrongerHighlight) {
    Stage s;
    int drawn = 0;
    SelectionFade fade(s.clock, &s.owner, [&] { ++drawn; });
    fade.setMotion(true);
    // The first selection ever shown comes at once.
    fade.moveTo("a");
    EXPECT_EQ(fade.weight("a"), 1);
    EXPECT_FALSE(fade.running());

    fade.moveTo("b");
    EXPECT_TRUE(fade.running());
    EXPECT_GT(drawn, 0);
    EXPECT_EQ(fade.weight("a"), 1);
    EXPECT_EQ(fade.weight("b"), 0);
    s.advance(kSelectionSeconds / 2);
    EXPECT_DOUBLE_EQ(fade.weight("b"), easeOut(0.5));
    EXPECT_DOUBLE_EQ(fade.weight("a"), 1 - easeOut(0.5));

    // Past half the way "b" is the stronger: a move to "c" fades from "b".
    fade.moveTo("c");
    EXPECT_EQ(fade.from(), "b");
    EXPECT_EQ(fade.weight("b"), 1);
    EXPECT_EQ(fade.weight("a"), 0);
    // Early on "c" is still the weaker: a move to "d" fades from "b" again.
    s.advance(kSelectionSeconds / 10);
    ASSERT_LT(fade.progress(), 0.5);
    fade.moveTo("d");
    EXPECT_EQ(fade.from(), "b");
    s.advance(kSelectionSeconds);
    EXPECT_FALSE(fade.running());
    EXPECT_EQ(fade.weight("d"), 1);
    EXPECT_EQ(fade.weight("b"), 0);
}

TEST(SelectionFade, MotionOffShowsAtOnceAndKeepsNoTimeline) {
    Stage s;
    SelectionFade fade(s.clock, &s.owner, {});
    fade.setMotion(true);
    fade.moveTo("a");
    fade.moveTo("b");
    EXPECT_EQ(fade.findChildren<Timeline*>().size(), 1);
    fade.setMotion(false);
    EXPECT_TRUE(fade.findChildren<Timeline*>().empty());
    EXPECT_FALSE(fade.running());
    EXPECT_EQ(fade.weight("b"), 1);
    EXPECT_EQ(fade.weight("a"), 0);
    fade.moveTo("c");
    EXPECT_EQ(fade.weight("c"), 1);
    EXPECT_TRUE(fade.findChildren<Timeline*>().empty());
}

}  // namespace
}  // namespace virirado
