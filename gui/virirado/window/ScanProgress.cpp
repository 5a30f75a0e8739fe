#include "ScanProgress.hpp"

#include <algorithm>
#include <cmath>

#include "Format.hpp"

namespace virirado {

namespace {

// Far beyond any real percent, and well inside what a 64-bit integer holds.
constexpr double kPercentLimit = 1e9;

}  // namespace

int64_t wholePercent(double pct) {
    if (!std::isfinite(pct)) return 0;
    const double held = std::clamp(pct, -kPercentLimit, kPercentLimit);
    return static_cast<int64_t>(std::round(held));
}

std::string progressLabel(double pct, std::optional<double> eta) {
    return std::to_string(wholePercent(pct)) + "% \u00B7 " + vadeEta(eta);
}

double scanBarFill(double pct, double trackWidth) {
    const double share = pct >= 4 ? std::min(pct, 100.0) / 100.0 : 0.04;
    const double width = std::isfinite(trackWidth) ? std::max(trackWidth, 0.0) : 0.0;
    return std::max(width * share, 12.0);
}

double shimmerOffset(double fillWidth, double t) {
    const double travel = std::max(fillWidth - 24, 1.0);
    const double wave = std::isfinite(t) ? std::sin(2.8 * t) : 0.0;
    return travel * (wave + 1) * 0.5 - 12;
}

ScanRing scanRing(int index, double t) {
    ScanRing ring;
    const double x = 0.65 * t + 0.33 * index;
    ring.phase = std::isfinite(x) ? x - std::trunc(x) : 0.0;
    // A frame clock before 2001 would give a negative fraction; keep it in [0, 1).
    if (ring.phase < 0) ring.phase += 1;
    if (ring.phase >= 1) ring.phase = 0;
    // The ring's frame is (44 + 92p) by (26 + 52p); the circle takes its smaller side.
    ring.diameter = std::min(44 + 92 * ring.phase, 26 + 52 * ring.phase);
    ring.opacity = 0.42 * (1 - ring.phase);
    return ring;
}

std::vector<std::string> recentPlaces(const std::vector<std::string>& scanPlaces) {
    std::vector<std::string> out;
    if (scanPlaces.size() < 2) return out;
    // Everything before the current place, newest first, two at most.
    for (std::size_t i = scanPlaces.size() - 1; i > 0 && out.size() < 2; --i)
        out.push_back(scanPlaces[i - 1]);
    return out;
}

}  // namespace virirado
