#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "Clock.hpp"
#include "Settled.hpp"
#include "Timeline.hpp"

namespace virirado {
namespace {

using testing::kHangMs;

double square(double x) {
    return x * x;
}

// A clock that stands until the test moves it; frame time from a round start,
// so moments add up exactly.
struct Stage {
    FixedClock clock{1'000'000.0, 1000.0};
    QObject owner;

    void advance(double seconds) { clock.set(clock.now() + seconds, clock.frameTime() + seconds); }
};

// The frames drawn so far, as values.
std::vector<double> framesOf(const QSignalSpy& spy) {
    std::vector<double> out;
    for (const QList<QVariant>& args : spy)
        out.push_back(args.at(0).toDouble());
    return out;
}

TEST(Timeline, ItsValueIsTheClocksNotTheTimers) {
    Stage s;
    Timeline line(s.clock, 1.0, square, &s.owner);
    QSignalSpy frames(&line, &Timeline::frame);
    QSignalSpy finished(&line, &Timeline::finished);
    line.start();
    EXPECT_EQ(framesOf(frames), std::vector<double>{0});
    EXPECT_TRUE(line.running());
    EXPECT_EQ(line.value(), 0);

    // Frames come while it runs, but the clock stands: each shows the same moment.
    ASSERT_TRUE(frames.wait(kHangMs));
    ASSERT_TRUE(frames.wait(kHangMs));
    for (double v : framesOf(frames))
        EXPECT_EQ(v, 0);
    s.advance(0.5);
    EXPECT_EQ(line.value(), 0.25);
    EXPECT_EQ(line.fraction(), 0.5);
    ASSERT_TRUE(frames.wait(kHangMs));
    EXPECT_EQ(framesOf(frames).back(), 0.25);
    EXPECT_EQ(finished.count(), 0);

    // Past its end: done at once, and its next frame is its last.
    s.advance(5);
    EXPECT_FALSE(line.running());
    EXPECT_EQ(line.value(), 1);
    ASSERT_TRUE(finished.wait(kHangMs));
    EXPECT_EQ(framesOf(frames).back(), 1);
    // Nothing is left to draw: no timer of it runs.
    EXPECT_TRUE(virirado::testing::noTimerRuns(&line));
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(line.value(), 1);
}

TEST(Timeline, StopHoldsWhereItIsAndFinishJumpsToTheEnd) {
    Stage s;
    Timeline line(s.clock, 2.0, square, &s.owner);
    QSignalSpy frames(&line, &Timeline::frame);
    QSignalSpy finished(&line, &Timeline::finished);
    // Never started (reduce motion on), it holds no timer.
    EXPECT_TRUE(line.findChildren<QTimer*>().empty());
    EXPECT_EQ(line.value(), 1);
    line.start();
    s.advance(1);
    line.stop();
    s.advance(10);
    EXPECT_FALSE(line.running());
    EXPECT_EQ(line.value(), 0.25);
    // A stopped change is not finished, and finishing it does nothing.
    line.finish();
    EXPECT_EQ(finished.count(), 0);
    EXPECT_EQ(line.value(), 0.25);

    // Started again it begins anew, and finishing it draws the end at once.
    line.start();
    EXPECT_EQ(line.value(), 0);
    line.finish();
    EXPECT_EQ(line.value(), 1);
    EXPECT_EQ(framesOf(frames).back(), 1);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_TRUE(virirado::testing::noTimerRuns(&line));
}

TEST(Timeline, AClockSetBackGoesOnFromWhereItWas) {
    Stage s;
    Timeline line(s.clock, 1.0, square, &s.owner);
    QSignalSpy frames(&line, &Timeline::frame);
    line.start();
    s.advance(0.5);
    ASSERT_TRUE(QTest::qWaitFor([&] { return framesOf(frames).back() == 0.25; }, kHangMs));
    // The wall clock goes back an hour: the change neither restarts nor waits
    // an hour, it goes on from the half it had shown.
    s.advance(-3600);
    ASSERT_TRUE(frames.wait(kHangMs));
    EXPECT_EQ(framesOf(frames).back(), 0.25);
    EXPECT_TRUE(line.running());
    s.advance(0.25);
    EXPECT_EQ(line.fraction(), 0.75);
    s.advance(0.25);
    EXPECT_FALSE(line.running());
}

}  // namespace
}  // namespace virirado
