#include "MapLayout.hpp"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <unordered_map>

#include "Format.hpp"

namespace virirado::map {

int64_t mapWeight(const VadeRow& row) {
    return row.realistic > 0 && row.realistic > row.size ? row.realistic : row.size;
}

std::vector<CushionTile> buildTreemap(const RowRefs& rows, const durozizo::MapRect& area) {
    const auto inner = durozizo::MapRect(area.x + 6, area.y + 6, area.w - 12, area.h - 12);
    if (inner.w < 1 || inner.h < 1) return {};
    std::vector<durozizo::MapWeight> weights;
    // Keyed by views of the rows' own ids: nothing is copied to find a row again.
    std::unordered_map<std::string_view, const VadeRow*> byId;
    weights.reserve(rows.size());
    byId.reserve(rows.size());
    for (const VadeRow* row : rows) {
        if (row->size < 1 && row->realistic < 1) continue;
        weights.push_back({row->id, mapWeight(*row)});
        byId.emplace(row->id, row);
    }
    if (weights.empty()) return {};
    const std::vector<durozizo::MapTile> laid = durozizo::Treemap::layout(weights, inner);
    std::vector<CushionTile> tiles;
    tiles.reserve(laid.size());
    for (const durozizo::MapTile& t : laid) {
        auto it = byId.find(t.id);
        if (it == byId.end()) continue;
        const VadeRow& row = *it->second;
        CushionTile tile;
        tile.id = row.id;
        tile.rowID = row.id;
        tile.row = &row;
        tile.back = getsBack(row);
        tile.listed = std::max(tile.back, row.size);
        tile.rect = t.rect;
        tiles.push_back(std::move(tile));
    }
    return tiles;
}

void withTexts(CushionTile& tile) {
    if (tile.row == nullptr || !tile.title.empty()) return;
    const VadeRow& row = *tile.row;
    tile.title = shortName(row);
    const std::string group = groupTitle(groupKey(row));
    tile.subtitle =
        row.fileCount < 2 ? group : formatCount(row.fileCount) + " files \u00B7 " + group;
}

int hitTile(const std::vector<CushionTile>& tiles, double x, double y) {
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        if (tiles[i].rect.contains(x, y)) return static_cast<int>(i);
    }
    return -1;
}

std::string tileFate(const VadeRow& row) {
    return row.ticked ? kTickedToClean : row.fate();
}

std::string tileAccessibleName(const CushionTile& tile) {
    if (tile.row == nullptr) return {};
    const std::string title = tile.title.empty() ? shortName(*tile.row) : tile.title;
    return title + ", " + finderSize(tile.listed) + ", " + tileFate(*tile.row);
}

bool sameAccessibleName(const CushionTile& a, const CushionTile& b) {
    if (a.row == nullptr || b.row == nullptr) return a.row == b.row;
    const VadeRow& x = *a.row;
    const VadeRow& y = *b.row;
    // The short name reads the name, category and kind; the fate the tick, the
    // tier, the action, whether the row can be ticked, its block and its kind.
    return a.listed == b.listed && x.ticked == y.ticked && x.name == y.name &&
           x.category == y.category && x.kind == y.kind && x.safety == y.safety &&
           x.action == y.action && x.tickable == y.tickable && x.blocked == y.blocked;
}

bool sameLayout(const std::vector<CushionTile>& a, const std::vector<CushionTile>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const CushionTile& x, const CushionTile& y) {
                          return x.id == y.id && x.rect == y.rect;
                      });
}

CushionCase cushionCase(const VadeRow& row) {
    if (row.ticked) return CushionCase::ticked;
    if (!row.blocked.empty() || !row.tickable || row.safety == "info") return CushionCase::lookOnly;
    if (row.safety == "safe") return CushionCase::safe;
    const std::string key = groupKey(row);
    auto has = [&key](const char* part) { return key.find(part) != std::string::npos; };
    if (has("sims") || has("runtimes") || has("derived") || has("dev") || has("android")) {
        return CushionCase::developer;
    }
    if (has("vms") || has("docker")) return CushionCase::machines;
    return CushionCase::plain;
}

CushionPalette cushionPalette(CushionCase which) {
    switch (which) {
        case CushionCase::ticked:
            return {{"#FFA166", "#FF9A5A"}, {"#FF7A2F", "#FF7A2F"}, {"#D9560F", "#C44908"},
                    {"#241000", "#241000"}, {"#241000", "#241000"}, 0.78};
        case CushionCase::lookOnly:
            return {{"#234973", "#2A547E"},
                    {"#0F2A47", "#1C3D5E"},
                    {"#091B30", "#10253B"},
                    {"#FFFFFF", "#E6F1F8"},
                    {"#C7D3DE", "#9DB7CC"}};
        case CushionCase::safe:
            return {{"#7CE6F2", "#34CBE0"},
                    {"#19B5C9", "#1293A6"},
                    {"#0E7F90", "#0A5F6C"},
                    {"#05252D", "#F0FAFC"},
                    {"#083B47", "#BEEAF2"}};
        case CushionCase::developer:
            return {{"#9CE7F2", "#3689A8"},
                    {"#55C1D4", "#246A85"},
                    {"#2A93A8", "#164B61"},
                    {"#072833", "#E8F6FA"},
                    {"#124554", "#B3DCE8"}};
        case CushionCase::machines:
            return {{"#A6D4EE", "#3D739E"},
                    {"#6CAED6", "#2B5980"},
                    {"#4284B0", "#1B3E5C"},
                    {"#092438", "#EBF4FA"},
                    {"#18405E", "#B5D2E8"}};
        case CushionCase::plain:
            break;
    }
    return {{"#C5F2F7", "#418B9C"},
            {"#BFEEF4", "#2F6D7D"},
            {"#7CD2DE", "#1F4F5C"},
            {"#082A33", "#EBF8FA"},
            {"#174C59", "#B8E2EB"}};
}

TileShape tileShape(const durozizo::MapRect& rect) {
    const double inset = rect.w > 5 && rect.h > 5 ? 1.5 : 0.5;
    TileShape s;
    s.w = std::max(1.0, static_cast<double>(rect.w) - 2 * inset);
    s.h = std::max(1.0, static_cast<double>(rect.h) - 2 * inset);
    s.x = static_cast<double>(rect.x) + static_cast<double>(rect.w) / 2 - s.w / 2;
    s.y = static_cast<double>(rect.y) + static_cast<double>(rect.h) / 2 - s.h / 2;
    s.radius = std::min(std::min(s.w, s.h) / 4, 7.0);
    return s;
}

TileLabels tileLabels(double w, double h, bool ticked) {
    TileLabels l;
    l.title = w >= 44 && h >= 20;
    if (!l.title) return l;
    l.check = ticked && w >= 54;
    l.size = w >= 52 && h >= 36;
    l.subtitle = w >= 92 && h >= 54;
    return l;
}

double highlightOpacity(bool hovered, bool dark) {
    if (hovered) return 0.30;
    return dark ? 0.15 : 0.22;
}

TileRing tileRing(bool selected, bool hovered) {
    if (selected) return TileRing::selected;
    return hovered ? TileRing::hover : TileRing::none;
}

TooltipTexts tooltipTexts(const CushionTile& tile) {
    CushionTile named = tile;
    withTexts(named);
    TooltipTexts t;
    t.title = named.title;
    t.figures = finderSize(tile.listed) + " \u00B7 " + named.subtitle;
    const bool ticked = tile.row != nullptr && tile.row->ticked;
    if (ticked) {
        t.footer = std::string(kTickedToClean) + " \u00B7 " + finderSize(tile.back) + " comes back";
        t.footerColour = {"#B8440C", "#FFA552"};
    } else {
        t.footer = (tile.row ? tile.row->fate() : std::string()) + " \u00B7 Double-click to toggle";
        t.footerColour = {"#4F6B82", "#9DB7CC"};
    }
    if (ticked) {
        t.dot = {"#FF7A2F", "#FF7A2F"};
    } else if (tile.row != nullptr && tile.row->safety == "safe") {
        t.dot = {"#19B5C9", "#19B5C9"};
    } else {
        t.dot = {"#BFEEF4", "#2F6D7D"};
    }
    return t;
}

double tooltipAxis(double pointer, double bounds, double cardSize) {
    double c = pointer + 12;
    if (c + cardSize > bounds) c = pointer - 12 - cardSize;
    c = std::max(c, 6.0);
    return std::min(c, std::max(bounds - cardSize - 6, 6.0));
}

PlotPoint tooltipOrigin(PlotPoint pointer, double width, double height) {
    return {tooltipAxis(pointer.x, width, kTooltipWidth),
            tooltipAxis(pointer.y, height, kTooltipHeight)};
}

double scanBandX(double width, double t) {
    const double w = std::isfinite(width) ? std::max(width, 0.0) : 0;
    const double p = (std::sin(1.6 * (std::isfinite(t) ? t : 0)) + 1) / 2;
    return (w + kBandWidth) * p - 70;
}

std::string emptyText(bool scanning) {
    return scanning ? "Mapping largest files as they arrive\u2026"
                    : "No files to map in this view.";
}

}  // namespace virirado::map
