#include "Motion.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <unordered_map>
#include <unordered_set>

namespace virirado {

double springProgress(double seconds, double response, double damping) {
    if (!std::isfinite(seconds) || seconds <= 0) return 0;
    if (!(response > 0) || !std::isfinite(response)) return 1;
    const double zeta = std::clamp(damping, 0.0, 1.0);
    const double omega = 2 * std::numbers::pi / response;
    const double decay = std::exp(-zeta * omega * seconds);
    if (zeta >= 1) return 1 - decay * (1 + omega * seconds);
    const double omegaD = omega * std::sqrt(1 - zeta * zeta);
    return 1 - decay * (std::cos(omegaD * seconds) +
                        zeta * omega / omegaD * std::sin(omegaD * seconds));
}

double springSettleTime(double response, double damping) {
    if (!(response > 0) || !std::isfinite(response)) return 0;
    const double zeta = std::clamp(damping, 0.05, 1.0);
    const double omega = 2 * std::numbers::pi / response;
    // The swing stays under amplitude * e^(-zeta omega t); a thousandth of the
    // way is still. Near critical damping the bound's factor grows with t, so a
    // generous one is taken there.
    const double amplitude = zeta < 0.99 ? 1 / std::sqrt(1 - zeta * zeta) : 10.0;
    return std::log(1000.0 * amplitude) / (zeta * omega);
}

double easeOut(double fraction) {
    if (!(fraction > 0)) return 0;
    if (fraction >= 1) return 1;
    // x(s) = 3(1-s)s² 0.58 + s³, y(s) = 3(1-s)s² + s³: find s for x by bisection
    // (x rises with s), then read y.
    auto x = [](double s) { return 3 * (1 - s) * s * s * 0.58 + s * s * s; };
    double lo = 0;
    double hi = 1;
    for (int i = 0; i < 40; ++i) {
        const double mid = (lo + hi) / 2;
        (x(mid) < fraction ? lo : hi) = mid;
    }
    const double s = (lo + hi) / 2;
    return 3 * (1 - s) * s * s + s * s * s;
}

int frameIntervalMs(int framesPerSecond) {
    if (framesPerSecond <= 0) return 1000;
    return std::max(1, (1000 + framesPerSecond - 1) / framesPerSecond);
}

std::vector<MorphSegment> settledSegments(const std::vector<TargetShare>& target) {
    std::vector<MorphSegment> out;
    out.reserve(target.size());
    for (const TargetShare& t : target)
        out.push_back({t.piece, t.share, t.share});
    return out;
}

std::vector<MorphSegment> morphSegments(const std::vector<MorphSegment>& shown, double progress,
                                        const std::vector<TargetShare>& target) {
    std::unordered_map<std::string, double> now;
    for (const MorphSegment& s : shown) {
        const double share = std::max(0.0, s.at(progress));
        // A piece listed twice keeps its first place.
        now.emplace(s.piece.id, share);
    }
    std::unordered_set<std::string> kept;
    for (const TargetShare& t : target)
        kept.insert(t.piece.id);

    // Pieces that went away, by the piece they followed on screen.
    std::unordered_map<std::string, std::vector<MorphSegment>> leaving;
    std::vector<MorphSegment> leadingLeavers;
    std::string previous;
    bool havePrevious = false;
    for (const MorphSegment& s : shown) {
        if (!kept.count(s.piece.id)) {
            const double share = std::max(0.0, s.at(progress));
            if (share > 0) {
                MorphSegment gone{s.piece, share, 0};
                if (havePrevious) {
                    leaving[previous].push_back(gone);
                } else {
                    leadingLeavers.push_back(gone);
                }
            }
        }
        if (kept.count(s.piece.id)) {
            previous = s.piece.id;
            havePrevious = true;
        }
    }

    std::vector<MorphSegment> out = leadingLeavers;
    std::unordered_set<std::string> placed;
    for (const TargetShare& t : target) {
        auto it = now.find(t.piece.id);
        out.push_back({t.piece, it == now.end() ? 0.0 : it->second, t.share});
        if (!placed.insert(t.piece.id).second) continue;
        auto after = leaving.find(t.piece.id);
        if (after != leaving.end())
            out.insert(out.end(), after->second.begin(), after->second.end());
    }
    return out;
}

}  // namespace virirado
