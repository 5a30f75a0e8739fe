#include "DazuLayout.hpp"

#include <algorithm>
#include <cmath>

#include "DisplayPath.hpp"
#include "Format.hpp"
#include "Numeric.hpp"

namespace virirado::dazu {

namespace {

// A size from the layout or a figure from the engine, made safe to draw with.
double finiteOr(double v, double fallback) {
    return std::isfinite(v) ? v : fallback;
}

double nonNegative(double v) {
    return std::max(0.0, finiteOr(v, 0));
}

}  // namespace

std::vector<SegmentFrame> segmentFrames(const std::vector<VadePiece>& pieces, double width) {
    std::vector<SegmentFrame> frames;
    // Summed in floating point: a sum of 64-bit weights never overflows there.
    double sum = 0;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (pieces[i].weight <= 0) continue;
        sum += static_cast<double>(pieces[i].weight);
        frames.push_back({i, 0});
    }
    if (frames.empty() || !(sum > 0)) return {};
    const double w = nonNegative(width);
    for (SegmentFrame& f : frames)
        f.width = w * static_cast<double>(pieces[f.index].weight) / sum;
    return frames;
}

double separatorWidth(VadeRole role, double segmentWidth) {
    if (role == VadeRole::water) return 0;
    return std::min(nonNegative(segmentWidth) / 3, 1.5);
}

bool segmentRing(const VadePiece& piece, const std::optional<std::string>& selection,
                 bool expanded) {
    if (expanded || !selection || *selection != piece.id) return false;
    return piece.role == VadeRole::pebble || piece.role == VadeRole::clean;
}

double segmentRingWeight(const VadePiece& piece, const std::optional<std::string>& from,
                         const std::optional<std::string>& to, double progress, bool expanded) {
    const double p = std::isfinite(progress) ? std::clamp(progress, 0.0, 1.0) : 1.0;
    const bool now = segmentRing(piece, to, expanded);
    const bool before = segmentRing(piece, from, expanded);
    if (now && before) return 1;
    if (now) return p;
    if (before) return 1 - p;
    return 0;
}

SegmentFill segmentFill(VadeRole role) {
    switch (role) {
        case VadeRole::base:
            return {{"#0F2A47", "#1C3D5E"}, std::nullopt};
        case VadeRole::pebble:
            return {{"#BFEEF4", "#2F6D7D"}, std::nullopt};
        case VadeRole::clean:
            return {{"#FF7A2F", "#FF7A2F"}, std::nullopt};
        case VadeRole::water:
            break;
    }
    return {{"#19B5C9", "#0E7F90"}, HexPair{"#5CCFDD", "#19B5C9"}};
}

std::optional<PlotPoint> restingFish(const std::vector<VadePiece>& pieces,
                                     const std::vector<SegmentFrame>& frames, bool expanded,
                                     bool scanning, double width, double height) {
    if (expanded || scanning || frames.empty()) return std::nullopt;
    const std::size_t last = frames.back().index;
    if (last >= pieces.size() || pieces[last].role != VadeRole::water) return std::nullopt;
    return PlotPoint{nonNegative(width) - 22, nonNegative(height) / 2};
}

double sweepPhase(double t) {
    return (std::sin(1.85 * finiteOr(t, 0)) + 1) / 2;
}

double sweepBandWidth(double width, bool compact) {
    return std::max(0.28 * nonNegative(width), compact ? 40.0 : 120.0);
}

double sweepBandX(double width, double t, bool compact) {
    return nonNegative(width) * sweepPhase(t) - sweepBandWidth(width, compact) / 2;
}

double fishFraction(double scanPct, double t) {
    const double pct = finiteOr(scanPct, 0);
    if (pct <= 2) return 0.12 + 0.76 * sweepPhase(t);
    return std::clamp(pct / 100, 0.08, 0.92);
}

SwimmingFish swimmingFish(double width, double height, double scanPct, double t) {
    const double w = nonNegative(width);
    const double p = fishFraction(scanPct, t);
    const double wobble = std::sin(5.2 * finiteOr(t, 0));
    const double y = nonNegative(height) / 2 + 1.8 * wobble;
    return {{w * p, y}, 3.2 * wobble, {std::max(18.0, w * p - 24), y}};
}

double staticBlockWidth(double width, double scanPct) {
    const double pct = finiteOr(scanPct, 0);
    const double f = pct < 8 ? 0.08 : std::min(pct, 100.0) / 100;
    return std::max(36.0, nonNegative(width) * f);
}

std::vector<PlotPoint> waveLine(int i, double width, double height, double t) {
    const double w = nonNegative(width);
    const double y0 = nonNegative(height) * (i / 4.0 + 0.25);
    const double time = finiteOr(t, 0);
    std::vector<PlotPoint> points{{0, y0}};
    for (double x = 0; x <= w; x += 5)
        points.push_back({x, y0 + 2.2 * std::sin(1.3 * i + x / 16 - 4.2 * time)});
    return points;
}

std::vector<std::vector<PlotPoint>> waterTexture(double width, double height, bool dark) {
    const int n = dark ? 5 : 3;
    const double a = dark ? 2.5 : 1.8;
    const double w = nonNegative(width);
    std::vector<std::vector<PlotPoint>> lines;
    for (int i = 0; i < n; ++i) {
        const double base = nonNegative(height) * (0.22 + 0.16 * i);
        std::vector<PlotPoint> line{{0, base}};
        for (double x = 0; x <= w; x += 6)
            line.push_back({x, base + a * std::sin(x / 18 + i)});
        lines.push_back(std::move(line));
    }
    return lines;
}

LegendFigures legendFigures(const std::vector<VadePiece>& pieces, int64_t cleanBytes) {
    LegendFigures f;
    f.back = cleanBytes;
    for (const VadePiece& p : pieces) {
        switch (p.role) {
            case VadeRole::base:
                f.other = durozizo::saturatingAdd(f.other, p.listed);
                break;
            case VadeRole::pebble:
                f.kept = durozizo::saturatingAdd(f.kept, p.listed);
                break;
            case VadeRole::water:
                f.free = durozizo::saturatingAdd(f.free, p.listed);
                break;
            case VadeRole::clean:
                break;
        }
    }
    return f;
}

std::array<LegendEntry, 4> legendEntries(const LegendFigures& f) {
    return {{{"Other", {"#0F2A47", "#1C3D5E"}, f.other},
             {"Back", {"#FF7A2F", "#FF7A2F"}, f.back},
             {"Kept", {"#BFEEF4", "#2F6D7D"}, f.kept},
             {"Free", {"#19B5C9", "#0E7F90"}, f.free}}};
}

std::string legendEntryName(const LegendEntry& entry) {
    return std::string(entry.label) + ", " + finderSize(entry.value);
}

std::string scanningLine(const std::string& place, const std::string& home) {
    return place.empty() ? "Scanning tank\u2026" : displayPath(place, home);
}

int64_t headerListedSum(const RowRefs& rows) {
    int64_t sum = 0;
    for (const VadeRow* row : rows) {
        const int64_t figure = row->realistic < 1 ? row->size : std::max(row->size, row->realistic);
        sum = durozizo::saturatingAdd(sum, figure);
    }
    return sum;
}

std::string headerCount(const RowRefs& rows) {
    return std::to_string(rows.size()) + " items (" + finderSize(headerListedSum(rows)) + ")";
}

std::string headerHeading(std::string_view count) {
    return std::string(kHeaderTitle) + " \u00B7 " + std::string(count);
}

std::string stripHelp(bool expanded) {
    return expanded ? "Click to fold back to the Dazu bar"
                    : "Click to expand the largest files map";
}

std::string stripAccessibleName(bool expanded) {
    return expanded ? "Collapse largest files map" : "Expand largest files map";
}

CardLook cardLook(bool open, bool hoveringStrip, bool dark) {
    CardLook look;
    if (open) {
        look.radius = 16;
        look.fill = {"#FFFFFF", "#0D2238"};
        look.borderOpacity = 1;
        look.shadowOpacity = 0.08;
        look.shadowOffsetY = 5;
        look.shadowRadius = 14;
    } else if (hoveringStrip) {
        look.border = {"#19B5C9", "#19B5C9"};
        look.borderOpacity = 0.75;
        look.borderWidth = 1.5;
        look.shadowRadius = 24;
    }
    if (dark) {
        look.shadowOpacity = 0.18;
        look.shadowOffsetY = 0;
        if (open) look.shadowRadius = 22;
    }
    return look;
}

std::optional<bool> toggleTarget(std::optional<bool> forceOpen, bool isExpanded) {
    const bool target = forceOpen.value_or(!isExpanded);
    if (target == isExpanded) return std::nullopt;
    return target;
}

}  // namespace virirado::dazu
