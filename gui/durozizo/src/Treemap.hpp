// Squarified treemap layout on whole-pixel rectangles, and the hit test that finds
// the tile under the pointer. Pure functions; nothing here draws or keeps state.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace durozizo {

struct MapRect {
    int64_t x = 0;
    int64_t y = 0;
    int64_t w = 0;
    int64_t h = 0;

    MapRect() = default;
    constexpr MapRect(int64_t x_, int64_t y_, int64_t w_, int64_t h_)
        : x(x_), y(y_), w(w_), h(h_) {}
    // A canvas of the given size at the origin; each side is `safeInt` of its size.
    MapRect(double width, double height);

    // 0 unless v is a finite number above 0; else floor(min(v, 1 000 000)).
    static int64_t safeInt(double v);

    int64_t area() const { return w * h; }
    bool isEmpty() const { return w < 1 || h < 1; }
    int64_t maxX() const { return x + w; }
    int64_t maxY() const { return y + h; }

    // Half-open: the right and bottom edges belong to the neighbour.
    bool contains(double px, double py) const;
    MapRect inset(int64_t n) const;
    MapRect inset(int64_t top, int64_t left, int64_t bottom, int64_t right) const;

    friend bool operator==(const MapRect&, const MapRect&) = default;
};

struct MapWeight {
    std::string id;
    int64_t weight = 0;

    friend bool operator==(const MapWeight&, const MapWeight&) = default;
};

struct MapTile {
    std::string id;
    MapRect rect;

    friend bool operator==(const MapTile&, const MapTile&) = default;
};

namespace Treemap {

// One tile per positive weight, largest first (ties by id), with areas in
// proportion to the weights and sides kept close to squares. Weights that no
// longer fit once the rectangle is used up get no tile.
std::vector<MapTile> layout(const std::vector<MapWeight>& weights, const MapRect& in);

// The first tile in order whose rectangle contains the point.
std::optional<MapTile> hit(const std::vector<MapTile>& tiles, double x, double y);

}  // namespace Treemap

}  // namespace durozizo

template <>
struct std::hash<durozizo::MapRect> {
    size_t operator()(const durozizo::MapRect& r) const noexcept {
        size_t seed = 0;
        for (int64_t v : {r.x, r.y, r.w, r.h})
            seed ^= std::hash<int64_t>{}(v) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
        return seed;
    }
};
