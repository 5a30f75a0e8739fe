// The map's cushion shading, pixel by pixel: a tile's three-stop fill, its white
// highlight and its 1-point edge, composited into a premultiplied 32-bit picture
// with smoothed edges. Thousands of small tiles shade in a fraction of a frame,
// where one drawing call per layer and tile would take many frames.
#pragma once

#include <cstdint>

#include "MapLayout.hpp"

namespace virirado::map {

// A colour with straight (not premultiplied) channels from 0 to 1.
struct Rgba {
    float r = 0, g = 0, b = 0, a = 1;

    bool operator==(const Rgba&) const = default;
};

// "#RRGGBB", opaque; anything else reads as opaque black.
Rgba rgbaOfHex(const char* hex);
Rgba withOpacity(Rgba colour, double opacity);

// Everything one tile's shading needs.
struct CushionColours {
    Rgba top, mid, bottom;  // the fill, from the top left to the bottom right corner
    Rgba edgeFrom, edgeTo;  // the edge, along the same diagonal
    double highlight = 0;   // the white highlight's opacity at its centre
};
CushionColours cushionColours(CushionCase which, bool dark, bool hovered);

// A picture to shade into: `pixels` rows of `stride` 32-bit premultiplied ARGB
// values (0xAARRGGBB), `width` by `height` of them in use.
struct PixelBuffer {
    std::uint32_t* pixels = nullptr;
    int stride = 0;
    int width = 0;
    int height = 0;
};

// How much of the pixel whose centre is (px, py) the rounded rectangle covers,
// from 0 to 1.
double coverage(double px, double py, const TileShape& shape);

// The fill's place along the diagonal (0 top left, 1 bottom right) at a point.
double diagonal(double px, double py, const TileShape& shape);

// Shades the tile `shape` (in the buffer's pixels) over what the buffer holds.
// Pixels outside the buffer are left alone.
void shadeCushion(PixelBuffer buffer, const TileShape& shape, const CushionColours& colours);

}  // namespace virirado::map
