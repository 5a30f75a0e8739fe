// The bar's two animated changes as plain values: a damped spring's progress, and
// the segments morphing from the widths on screen to new ones, piece by piece.
#pragma once

#include <string>
#include <vector>

#include "Rows.hpp"

namespace virirado {

// A critically-or-less damped spring released from 0 towards 1: its position
// `seconds` after release. `response` is the undamped period in seconds,
// `damping` the damping fraction (below 1 it overshoots a little).
double springProgress(double seconds, double response, double damping);

// How long the spring takes to settle within a thousandth of its target.
double springSettleTime(double response, double damping);

// How long a change of the selection takes to show, and its ease-out curve: the
// cubic Bézier through (0, 0), (0, 0), (0.58, 1), (1, 1), fast at first and
// slowing into place. `fraction` is the share of the time gone (0 to 1); the
// result is the share of the way done.
inline constexpr double kSelectionSeconds = 0.12;
double easeOut(double fraction);

// The whole milliseconds between two frames of a clock that may draw at most
// `framesPerSecond` times a second: rounded up, so the cap holds (60 gives 17,
// not 16, which would be 62.5 a second). At least 1.
int frameIntervalMs(int framesPerSecond);

// One segment while the widths change: the piece it draws and its share of the
// bar's width before and after. A new piece grows from 0; a piece that went
// away shrinks to 0 and is dropped when the change ends.
struct MorphSegment {
    VadePiece piece;
    double from = 0;
    double to = 0;

    double at(double progress) const { return from + (to - from) * progress; }
    bool operator==(const MorphSegment&) const = default;
};

// The morph from what is on screen (`shown`, at its current progress) to the
// target shares, in the target's order; pieces that went away keep their place
// after the piece that came before them.
struct TargetShare {
    VadePiece piece;
    double share = 0;
};
std::vector<MorphSegment> morphSegments(const std::vector<MorphSegment>& shown, double progress,
                                        const std::vector<TargetShare>& target);

// The finished state: every target piece at its share, nothing else.
std::vector<MorphSegment> settledSegments(const std::vector<TargetShare>& target);

}  // namespace virirado
