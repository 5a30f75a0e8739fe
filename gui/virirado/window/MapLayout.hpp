// The largest-files map as plain values: its tiles (laid out by the core's
// squarified treemap), each tile's colours, shape and labels, the hover card's
// texts and place, and the scan band. The map widget draws what these return.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "DazuLayout.hpp"
#include "RowGroups.hpp"
#include "Treemap.hpp"

namespace virirado::map {

using dazu::HexPair;
using dazu::PlotPoint;

inline constexpr double kSlotHeight = 140;
inline constexpr double kMargin = 6;

struct CushionTile {
    std::string id;
    std::string rowID;
    const VadeRow* row = nullptr;
    // Filled by `withTexts`: naming every one of thousands of tiles costs more
    // than laying them out, and only the labelled and hovered ones need it.
    std::string title;
    std::string subtitle;
    int64_t listed = 0;
    int64_t back = 0;
    durozizo::MapRect rect;
};

// The weight a row takes on the map: its realistic size when that is above both
// 0 and its size, else its size.
int64_t mapWeight(const VadeRow& row);

// The tiles of `rows` in `area`, inside a 6-point margin, in layout order. Rows of
// no size get none; of two rows with one id, the first is drawn.
std::vector<CushionTile> buildTreemap(const RowRefs& rows, const durozizo::MapRect& area);

// The tile's short name and subtitle ("<n> files · <group>" from two files on).
void withTexts(CushionTile& tile);

// The first tile, in order, whose rectangle holds the point; -1 for none.
int hitTile(const std::vector<CushionTile>& tiles, double x, double y);

// What cleaning does to a tile's row: ticked, or what a tick would do.
inline constexpr const char* kTickedToClean = "Ticked to clean";
std::string tileFate(const VadeRow& row);
// What a screen reader says for a tile: "<title>, <size>, <fate>", the words
// the tile and its hover card show. Names the tile when it has no texts yet.
std::string tileAccessibleName(const CushionTile& tile);
// Whether two tiles would say the same, judged from the row fields and figure
// the name is made of, so that thousands of tiles can be compared after every
// refresh without naming one. May say "not the same" of two equal names.
bool sameAccessibleName(const CushionTile& a, const CushionTile& b);
// Whether two layouts place the same rows in the same rectangles, in one order.
bool sameLayout(const std::vector<CushionTile>& a, const std::vector<CushionTile>& b);

// The six colour sets, first match wins.
enum class CushionCase { ticked, lookOnly, safe, developer, machines, plain };
CushionCase cushionCase(const VadeRow& row);

struct CushionPalette {
    HexPair top, mid, bottom, ink, subInk;
    double subInkOpacity = 1;
};
CushionPalette cushionPalette(CushionCase which);

// A tile as drawn: its rectangle less a gutter, centred where the rectangle is.
struct TileShape {
    double x = 0, y = 0, w = 1, h = 1;
    double radius = 0;
};
TileShape tileShape(const durozizo::MapRect& rect);

// Which labels a tile of the drawn size shows.
struct TileLabels {
    bool title = false;
    bool check = false;
    bool size = false;
    bool subtitle = false;

    bool operator==(const TileLabels&) const = default;
};
TileLabels tileLabels(double w, double h, bool ticked);

// The white highlight's opacity at its centre.
double highlightOpacity(bool hovered, bool dark);

enum class TileRing { none, hover, selected };
TileRing tileRing(bool selected, bool hovered);

// The hover card.
inline constexpr double kTooltipWidth = 236;
inline constexpr double kTooltipHeight = 68;
struct TooltipTexts {
    std::string title;
    std::string figures;  // "<size> · <subtitle>"
    std::string footer;   // what a tick does, or would
    HexPair dot;
    HexPair footerColour;
};
TooltipTexts tooltipTexts(const CushionTile& tile);

// One axis of the card's top left corner: beside the pointer, on the other side
// when it would run past the edge, then kept 6 points inside.
double tooltipAxis(double pointer, double bounds, double cardSize);
PlotPoint tooltipOrigin(PlotPoint pointer, double width, double height);

// The scan band's leading edge at frame time t: a 140-point band sweeping from
// just before the left edge to just past the right one.
inline constexpr double kBandWidth = 140;
double scanBandX(double width, double t);

// The empty map's line.
std::string emptyText(bool scanning);

}  // namespace virirado::map
