#include <gtest/gtest.h>

#include <QTest>
#include <cmath>

#include "Clock.hpp"
#include "FrameTicker.hpp"
#include "PulsingDot.hpp"

namespace virirado {
namespace {

TEST(PulsingDot, PhaseBreathesBetweenZeroAndOne) {
    // (sin(4.2 t) + 1) / 2: half way at 0, full at a quarter turn, none at three.
    EXPECT_DOUBLE_EQ(pulsePhase(0), 0.5);
    EXPECT_NEAR(pulsePhase(M_PI / 2 / 4.2), 1, 1e-12);
    EXPECT_NEAR(pulsePhase(3 * M_PI / 2 / 4.2), 0, 1e-12);
    EXPECT_NEAR(pulsePhase(2 * M_PI / 4.2 + 0.1), pulsePhase(0.1), 1e-9);
    for (double t : {794'059'200.35, -3.0, 12.5}) {
        EXPECT_GE(pulsePhase(t), 0);
        EXPECT_LE(pulsePhase(t), 1);
    }
}

TEST(PulsingDot, StillDotIsSevenPointsAndTheBreathingOneFourteen) {
    FixedClock clock(0, 0);
    PulsingDot dot(clock, Qt::red);
    EXPECT_EQ(dot.size(), QSize(7, 7));
    dot.show();
    EXPECT_EQ(dot.findChild<FrameTicker*>()->hasTimer(), false);

    dot.setReduceMotion(false);
    EXPECT_EQ(dot.size(), QSize(14, 14));
    EXPECT_TRUE(dot.findChild<FrameTicker*>()->running());

    // The halo is drawn only with motion: the corner of the core's square stays clear.
    const QImage moving = dot.grab().toImage();
    EXPECT_GT(moving.pixelColor(7, 2).alpha(), 0);
    dot.setReduceMotion(true);
    EXPECT_EQ(dot.size(), QSize(7, 7));
    EXPECT_FALSE(dot.findChild<FrameTicker*>()->hasTimer());
    const QImage still = dot.grab().toImage();
    EXPECT_EQ(still.pixelColor(3, 3), QColor(Qt::red));
}

}  // namespace
}  // namespace virirado
