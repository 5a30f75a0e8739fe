// What the scanning pane and the summary bar's scan summary show of a running
// scan: the percent and time left, the scan bar's fill and shimmer, the rings
// behind the mascot, and the places scanned just before the current one. The
// engine's numbers arrive unchecked, so every figure here is safe for any
// double it sends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace virirado {

// The percent as a whole number, rounded half away from zero. A percent that is
// no number or infinite reads 0; anything beyond a billion either way is held
// there, so no value ever reaches an integer conversion out of range. Values
// over 100 stay as they are ("120%").
int64_t wholePercent(double pct);

// "<percent>% · <time left>", for example "63% · estimating".
std::string progressLabel(double pct, std::optional<double> eta);

// The scan bar's fill width on a track `trackWidth` wide: the percent's share
// from 4 on (at most the whole track), a 4 % sliver below that or for no number,
// and never narrower than 12 points.
double scanBarFill(double pct, double trackWidth);

// The shimmer band's offset from the fill's leading edge at frame time t: it
// sweeps between -12 and max(fill - 24, 1) - 12.
double shimmerOffset(double fillWidth, double t);
inline constexpr double kShimmerWidth = 48;

// One of the three rings behind the scanning mascot at frame time t.
struct ScanRing {
    // Where the ring is in its cycle, from 0 up to (not including) 1.
    double phase = 0;
    // The circle's diameter, from 26 to 78 points, and its opacity, from 0.42
    // down to 0, as it grows.
    double diameter = 26;
    double opacity = 0.42;
};
ScanRing scanRing(int index, double t);

// The places scanned just before the current one (the last of `scanPlaces`),
// newest first, at most two.
std::vector<std::string> recentPlaces(const std::vector<std::string>& scanPlaces);

}  // namespace virirado
