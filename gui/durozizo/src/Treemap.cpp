#include "Treemap.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "Numeric.hpp"
#include "Text.hpp"

namespace durozizo {

namespace {

constexpr int64_t kMaxSide = 1'000'000;

// The whole number nearest to v (halves away from zero), kept within [1, longSide];
// longSide when v is not a finite number.
int64_t thickness(double v, int64_t longSide) {
    if (!std::isfinite(v)) return longSide;
    double r = std::round(v);
    if (r < 1) return 1;
    if (r > static_cast<double>(longSide)) return longSide;
    return std::min(clampToInt64(r), longSide);
}

// The worst aspect ratio of a row laid along a side of length sqrt(s2).
double badness(double s2, double sum, double largest, double smallest) {
    if (!(sum > 0) || !(smallest > 0)) return std::numeric_limits<double>::infinity();
    return std::max(s2 * largest / (sum * sum), (sum * sum) / (s2 * smallest));
}

// Lays out one finished row [begin, end) along the short side of `free`.
void cut(const std::vector<MapWeight>& weights, const std::vector<double>& areas, size_t begin,
         size_t end, const MapRect& free, double rowArea, std::vector<MapTile>& out) {
    int64_t shortSide = std::min(free.w, free.h);
    int64_t longSide = std::max(free.w, free.h);
    double perShort = shortSide >= 1 ? rowArea / static_cast<double>(shortSide) : NAN;
    int64_t t = thickness(perShort, longSide);
    double rowTotal = 0;
    for (size_t i = begin; i < end; ++i)
        rowTotal += areas[i];
    if (shortSide < 1 || !(rowTotal > 0) || begin >= end) return;
    double running = 0;
    int64_t previous = 0;
    for (size_t i = begin; i < end; ++i) {
        running += areas[i];
        int64_t edge = shortSide;
        if (i + 1 < end) {
            double e = running / rowTotal * static_cast<double>(shortSide);
            edge = std::clamp<int64_t>(roundToInt64(e), 0, shortSide);
        }
        int64_t d = std::max<int64_t>(edge - previous, 0);
        MapRect r = free.w < free.h ? MapRect(free.x + previous, free.y, d, t)
                                    : MapRect(free.x, free.y + previous, t, d);
        out.push_back(MapTile{weights[i].id, r});
        previous = edge;
    }
}

// Equal weights order by id in code-point order of the canonical composition,
// so two spellings of one accented id sort alike.
std::vector<MapWeight> positiveBySize(const std::vector<MapWeight>& weights) {
    struct Keyed {
        MapWeight weight;
        std::string id;
    };
    std::vector<Keyed> kept;
    for (const auto& w : weights)
        if (w.weight > 0) kept.push_back({w, text::nfc(w.id)});
    std::stable_sort(kept.begin(), kept.end(), [](const Keyed& a, const Keyed& b) {
        if (a.weight.weight != b.weight.weight) return a.weight.weight > b.weight.weight;
        return a.id < b.id;
    });
    std::vector<MapWeight> out;
    out.reserve(kept.size());
    for (auto& k : kept)
        out.push_back(std::move(k.weight));
    return out;
}

// The end of the row that starts at `start`: areas join while the row's worst
// aspect ratio does not get worse.
size_t growRow(const std::vector<double>& areas, size_t start, double s2, double& sum) {
    sum = areas[start];
    double largest = sum;
    double smallest = sum;
    double bad = badness(s2, sum, largest, smallest);
    size_t end = start + 1;
    for (; end < areas.size(); ++end) {
        double a = areas[end];
        double nextSum = sum + a;
        double nextLargest = std::max(largest, a);
        double nextSmallest = std::min(smallest, a);
        double nextBad = badness(s2, nextSum, nextLargest, nextSmallest);
        if (nextBad > bad) break;
        sum = nextSum;
        largest = nextLargest;
        smallest = nextSmallest;
        bad = nextBad;
    }
    return end;
}

}  // namespace

MapRect::MapRect(double width, double height) : w(safeInt(width)), h(safeInt(height)) {}

int64_t MapRect::safeInt(double v) {
    if (!std::isfinite(v) || !(v > 0)) return 0;
    return static_cast<int64_t>(std::floor(std::min(v, static_cast<double>(kMaxSide))));
}

bool MapRect::contains(double px, double py) const {
    if (!std::isfinite(px) || !std::isfinite(py)) return false;
    return px >= static_cast<double>(x) && px < static_cast<double>(x + w) &&
           py >= static_cast<double>(y) && py < static_cast<double>(y + h);
}

MapRect MapRect::inset(int64_t n) const {
    return inset(n, n, n, n);
}

MapRect MapRect::inset(int64_t top, int64_t left, int64_t bottom, int64_t right) const {
    return MapRect(x + left, y + top, std::max<int64_t>(w - left - right, 0),
                   std::max<int64_t>(h - top - bottom, 0));
}

namespace Treemap {

std::vector<MapTile> layout(const std::vector<MapWeight>& weights, const MapRect& in) {
    if (in.isEmpty()) return {};
    std::vector<MapWeight> kept = positiveBySize(weights);
    if (kept.empty()) return {};
    double total = 0;
    for (const auto& w : kept)
        total += static_cast<double>(w.weight);
    if (!(total > 0) || !std::isfinite(total)) return {};
    double scale = static_cast<double>(in.w) * static_cast<double>(in.h) / total;
    std::vector<double> areas;
    areas.reserve(kept.size());
    for (const auto& w : kept)
        areas.push_back(scale * static_cast<double>(w.weight));

    std::vector<MapTile> tiles;
    tiles.reserve(kept.size());
    MapRect free = in;
    size_t start = 0;
    while (free.w >= 1 && free.h >= 1 && start < kept.size()) {
        double s = static_cast<double>(std::min(free.w, free.h));
        double sum = 0;
        size_t end = growRow(areas, start, s * s, sum);
        if (end == kept.size()) {
            double all = static_cast<double>(free.w) * static_cast<double>(free.h);
            cut(kept, areas, start, end, free, all, tiles);
            break;
        }
        cut(kept, areas, start, end, free, sum, tiles);
        int64_t t = thickness(sum / s, std::max(free.w, free.h));
        if (free.w >= free.h) {
            free.x += t;
            free.w = std::max<int64_t>(free.w - t, 0);
        } else {
            free.y += t;
            free.h = std::max<int64_t>(free.h - t, 0);
        }
        start = end;
    }
    std::erase_if(tiles, [](const MapTile& tile) { return tile.rect.isEmpty(); });
    return tiles;
}

std::optional<MapTile> hit(const std::vector<MapTile>& tiles, double x, double y) {
    for (const auto& tile : tiles)
        if (tile.rect.contains(x, y)) return tile;
    return std::nullopt;
}

}  // namespace Treemap

}  // namespace durozizo
