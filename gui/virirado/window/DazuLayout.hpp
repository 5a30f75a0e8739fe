// The Dazu bar's geometry, motion and texts as plain functions of its inputs, the
// bar's size and the frame time: segment widths, separators, the selection ring,
// the fish, the scan overlay, the wave lines and the water texture, the legend's
// figures and the open header. The widgets only draw what these return.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "RowGroups.hpp"
#include "Rows.hpp"

namespace virirado::dazu {

struct PlotPoint {
    double x = 0;
    double y = 0;

    bool operator==(const PlotPoint&) const = default;
};

// A colour by scheme, as "#RRGGBB" texts.
struct HexPair {
    const char* light;
    const char* dark;

    const char* pick(bool dark_) const { return dark_ ? dark : light; }
};

// One laid-out segment: the piece at `index` of the pieces handed in.
struct SegmentFrame {
    std::size_t index = 0;
    double width = 0;

    bool operator==(const SegmentFrame&) const = default;
};

// The pieces of positive weight, in order, each as wide as its share of the total
// weight: fractional, no minimum, adding up to `width`.
std::vector<SegmentFrame> segmentFrames(const std::vector<VadePiece>& pieces, double width);

// The separator at a segment's trailing edge: none for free space, else a third
// of the segment up to 1.5 points.
double separatorWidth(VadeRole role, double segmentWidth);

// Whether a piece shows the accent border: only folded, only kept or ticked items.
bool segmentRing(const VadePiece& piece, const std::optional<std::string>& selection,
                 bool expanded);
// How strongly the border shows while the selection moves from `from` to `to`,
// `progress` of the way (0 to 1): the old piece's fades as the new one's comes up.
double segmentRingWeight(const VadePiece& piece, const std::optional<std::string>& from,
                         const std::optional<std::string>& to, double progress, bool expanded);

// The fill of a segment by role; free space is a gradient from `fill` to `fillEnd`.
struct SegmentFill {
    HexPair fill;
    std::optional<HexPair> fillEnd;
};
SegmentFill segmentFill(VadeRole role);

// The centre of the resting fish: folded, not scanning, and free space last.
std::optional<PlotPoint> restingFish(const std::vector<VadePiece>& pieces,
                                     const std::vector<SegmentFrame>& frames, bool expanded,
                                     bool scanning, double width, double height);

// The scan overlay at frame time t.
double sweepPhase(double t);
double sweepBandWidth(double width, bool compact);
// The band's leading edge: its centre travels between the bar's two edges.
double sweepBandX(double width, double t, bool compact);

// Where the fish swims, as a fraction of the width: to and fro with the sweep
// until progress is known, then at the progress, kept off the ends.
double fishFraction(double scanPct, double t);

struct SwimmingFish {
    PlotPoint centre;      // of the 28 by 14 fish
    double angleDegrees;   // turned about its centre
    PlotPoint wakeCentre;  // of the 48 by 4 wake
};
SwimmingFish swimmingFish(double width, double height, double scanPct, double t);

// The still progress block shown instead of the motion: never under 36 points.
double staticBlockWidth(double width, double scanPct);

// Wave line i (0 to 2) of the overlay at frame time t, sampled every 5 points.
std::vector<PlotPoint> waveLine(int i, double width, double height, double t);

// The still texture over free space: one polyline per line, 3 light, 5 dark,
// sampled every 6 points.
std::vector<std::vector<PlotPoint>> waterTexture(double width, double height, bool dark);

// The legend's four figures.
struct LegendFigures {
    int64_t other = 0;
    int64_t back = 0;
    int64_t kept = 0;
    int64_t free = 0;

    bool operator==(const LegendFigures&) const = default;
};
LegendFigures legendFigures(const std::vector<VadePiece>& pieces, int64_t cleanBytes);

// One of the legend's four items, in the order they stand: its swatch, its word
// and its figure.
struct LegendEntry {
    const char* label;
    HexPair swatch;
    int64_t value = 0;
};
std::array<LegendEntry, 4> legendEntries(const LegendFigures& figures);
// What a screen reader says for an item: the word and the figure together, as
// the legend shows them side by side ("Back, 1.2 GB").
std::string legendEntryName(const LegendEntry& entry);

// The scanning line of the legend: the place with the home written "~", as the
// summary bar shows it, or a word while none is known.
std::string scanningLine(const std::string& place, const std::string& home);
inline constexpr const char* kLegendHint = "Click bar to open largest files map";

// The open header's figures: "<n> items (<size>)", counting every row and adding
// each row's larger figure (its size when the realistic size is below 1).
int64_t headerListedSum(const RowRefs& rows);
std::string headerCount(const RowRefs& rows);
inline constexpr const char* kHeaderTitle = "LARGEST FILES";
// The header's title and count as one line, as a screen reader reads the
// heading: "LARGEST FILES · <n> items (<size>)".
std::string headerHeading(std::string_view count);
inline constexpr const char* kHeaderFold = "Click here to fold back to bar";

// The strip's help tip and accessible name.
std::string stripHelp(bool expanded);
std::string stripAccessibleName(bool expanded);

// The card's look in one of its two states; the widget blends between them while
// it opens or folds.
struct CardLook {
    double radius = 13;
    HexPair fill{"#E8F7F9", "#0D2238"};
    // Border: the accent while the pointer is over the folded strip.
    HexPair border{"#E3E9EF", "#1E3B58"};
    double borderOpacity = 0.45;
    double borderWidth = 1;
    // Shadow: black in light mode, accent in dark mode.
    HexPair shadow{"#000000", "#19B5C9"};
    double shadowOpacity = 0.04;
    double shadowOffsetY = 2;
    double shadowRadius = 20;
};
CardLook cardLook(bool open, bool hoveringStrip, bool dark);

// What a click on the strip (no value) or the legend's hint (true) asks for:
// the new open state, or none when nothing changes.
std::optional<bool> toggleTarget(std::optional<bool> forceOpen, bool isExpanded);

}  // namespace virirado::dazu
