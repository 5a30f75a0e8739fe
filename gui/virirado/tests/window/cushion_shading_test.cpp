#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "CushionShading.hpp"

namespace virirado::map {
namespace {

struct Picture {
    int width;
    int height;
    int stride;
    std::vector<std::uint32_t> pixels;

    Picture(int w, int h, int padding = 0, std::uint32_t fill = 0)
        : width(w),
          height(h),
          stride(w + padding),
          pixels(static_cast<std::size_t>((w + padding) * h), fill) {}
    PixelBuffer buffer() { return {pixels.data(), stride, width, height}; }
    std::uint32_t at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y * stride + x)];
    }
};

int alpha(std::uint32_t v) {
    return static_cast<int>(v >> 24);
}
int red(std::uint32_t v) {
    return static_cast<int>((v >> 16) & 0xFF);
}

CushionColours flat(Rgba colour) {
    CushionColours c;
    c.top = c.mid = c.bottom = colour;
    c.edgeFrom = c.edgeTo = Rgba{0, 0, 0, 0};
    c.highlight = 0;
    return c;
}

TEST(CushionShading, HexColours) {
    const Rgba orange = rgbaOfHex("#FF7A2F");
    EXPECT_FLOAT_EQ(orange.r, 1);
    EXPECT_FLOAT_EQ(orange.g, 0x7A / 255.0f);
    EXPECT_FLOAT_EQ(orange.b, 0x2F / 255.0f);
    EXPECT_FLOAT_EQ(orange.a, 1);
    EXPECT_EQ(rgbaOfHex("#0f2a47"), rgbaOfHex("#0F2A47"));
    EXPECT_EQ(rgbaOfHex("#12345"), (Rgba{0, 0, 0, 1}));
    EXPECT_EQ(rgbaOfHex("#GG0000"), (Rgba{0, 0, 0, 1}));
    EXPECT_EQ(rgbaOfHex(nullptr), (Rgba{0, 0, 0, 1}));
    EXPECT_FLOAT_EQ(withOpacity(orange, 0.5).a, 0.5f);
    EXPECT_FLOAT_EQ(withOpacity(orange, 7).a, 1);

    const CushionColours light = cushionColours(CushionCase::ticked, false, false);
    EXPECT_EQ(light.top, rgbaOfHex("#FFA166"));
    EXPECT_FLOAT_EQ(light.edgeFrom.a, 0.5f);
    EXPECT_FLOAT_EQ(light.edgeTo.a, 0.14f);
    EXPECT_DOUBLE_EQ(light.highlight, 0.22);
    const CushionColours dark = cushionColours(CushionCase::ticked, true, true);
    EXPECT_EQ(dark.bottom, rgbaOfHex("#C44908"));
    EXPECT_FLOAT_EQ(dark.edgeFrom.a, 0.28f);
    EXPECT_DOUBLE_EQ(dark.highlight, 0.30);
}

TEST(CushionShading, CoverageAndDiagonal) {
    const TileShape s{0.5, 0.5, 4, 4, 1};
    EXPECT_DOUBLE_EQ(coverage(2.5, 2.5, s), 1);
    // A pixel that the edge halves.
    EXPECT_DOUBLE_EQ(coverage(0.5 + 0.0, 2.5, s), 0.5);
    EXPECT_DOUBLE_EQ(coverage(-1, 2.5, s), 0);
    // The rounded corner covers less than a straight edge does.
    EXPECT_LT(coverage(0.5, 0.5, s), 0.5);
    EXPECT_DOUBLE_EQ(coverage(2.5, 2.5, TileShape{0, 0, NAN, 4, 1}), 0);

    EXPECT_DOUBLE_EQ(diagonal(0.5, 0.5, s), 0);
    EXPECT_DOUBLE_EQ(diagonal(4.5, 4.5, s), 1);
    EXPECT_DOUBLE_EQ(diagonal(2.5, 2.5, s), 0.5);
    // Lines of one shade run along the other diagonal.
    EXPECT_DOUBLE_EQ(diagonal(4.5, 0.5, s), 0.5);
}

TEST(CushionShading, TheFillRunsCornerToCornerInPoints) {
    // A wide tile: the shade changes along its length and hardly across it.
    const TileShape wide{0, 0, 200, 20, 0};
    EXPECT_DOUBLE_EQ(diagonal(0, 0, wide), 0);
    EXPECT_DOUBLE_EQ(diagonal(200, 20, wide), 1);
    EXPECT_NEAR(diagonal(100, 0, wide), 0.495, 1e-3);
    EXPECT_NEAR(diagonal(100, 20, wide), 0.505, 1e-3);
    EXPECT_LT(diagonal(100, 20, wide) - diagonal(100, 0, wide), 0.02);
    // Lines of one shade stand square to the corner-to-corner line.
    EXPECT_NEAR(diagonal(100 + 1, 10, wide), diagonal(100, 10 + 10, wide), 1e-9);
    // A tall tile the same way round.
    const TileShape tall{0, 0, 20, 200, 0};
    EXPECT_NEAR(diagonal(20, 100, tall) - diagonal(0, 100, tall), 0.01, 1e-3);

    // Shaded: top, middle and bottom colours lie along the length.
    CushionColours c = flat(Rgba{0, 0, 0, 1});
    c.top = Rgba{1, 0, 0, 1};
    c.bottom = Rgba{0, 0, 0, 1};
    c.mid = Rgba{0.5f, 0, 0, 1};
    Picture pic(200, 20);
    shadeCushion(pic.buffer(), wide, c);
    // Across the middle of the tile the red barely changes from top to bottom...
    EXPECT_NEAR(red(pic.at(100, 1)), red(pic.at(100, 18)), 4);
    // ...while it fades from one end to the other.
    EXPECT_GT(red(pic.at(5, 10)), 230);
    EXPECT_LT(red(pic.at(194, 10)), 20);
}

TEST(CushionShading, FillsInsideAndSmoothsTheEdges) {
    Picture pic(8, 8);
    const Rgba orange = rgbaOfHex("#FF7A2F");
    shadeCushion(pic.buffer(), TileShape{1.5, 1.5, 5, 5, 0}, flat(orange));
    // Inside: the colour, opaque.
    EXPECT_EQ(pic.at(3, 3), 0xFFFF7A2Fu);
    // The outermost pixels are half covered, premultiplied.
    EXPECT_NEAR(alpha(pic.at(1, 3)), 128, 1);
    EXPECT_NEAR(red(pic.at(1, 3)), 128, 1);
    // A corner pixel, a quarter or less.
    EXPECT_LE(alpha(pic.at(1, 1)), 64);
    // Nothing outside the shape.
    EXPECT_EQ(pic.at(0, 3), 0u);
    EXPECT_EQ(pic.at(7, 7), 0u);
}

TEST(CushionShading, HighlightAndEdgeChangeOnlyTheirPixels) {
    const Rgba mid = rgbaOfHex("#19B5C9");
    Picture plain(20, 20);
    shadeCushion(plain.buffer(), TileShape{0.5, 0.5, 19, 19, 4}, flat(mid));
    CushionColours lit = flat(mid);
    lit.highlight = 0.3;
    Picture bright(20, 20);
    shadeCushion(bright.buffer(), TileShape{0.5, 0.5, 19, 19, 4}, lit);
    // Brighter near the highlight's centre (a quarter across, a fifth down)...
    EXPECT_GT(red(bright.at(5, 4)), red(plain.at(5, 4)) + 40);
    // ...and no change where it has faded out.
    EXPECT_EQ(bright.at(18, 18), plain.at(18, 18));

    CushionColours edged = flat(mid);
    edged.edgeFrom = Rgba{1, 1, 1, 0.5f};
    edged.edgeTo = Rgba{1, 1, 1, 0.5f};
    Picture edge(20, 20);
    shadeCushion(edge.buffer(), TileShape{0.5, 0.5, 19, 19, 4}, edged);
    // The band just inside the outline takes the edge colour; the middle does not.
    EXPECT_GT(red(edge.at(10, 1)), red(plain.at(10, 1)));
    EXPECT_EQ(edge.at(10, 10), plain.at(10, 10));
}

TEST(CushionShading, StaysInsideItsPicture) {
    // Padding after each row holds a mark that must survive.
    Picture pic(6, 4, 2, 0);
    for (int y = 0; y < 4; ++y) {
        pic.pixels[static_cast<std::size_t>(y * 8 + 6)] = 0x12345678;
        pic.pixels[static_cast<std::size_t>(y * 8 + 7)] = 0x12345678;
    }
    const CushionColours c = cushionColours(CushionCase::safe, false, false);
    shadeCushion(pic.buffer(), TileShape{-3.5, -2.5, 20, 20, 7}, c);
    for (int y = 0; y < 4; ++y) {
        EXPECT_EQ(pic.at(6, y), 0x12345678u);
        EXPECT_EQ(pic.at(7, y), 0x12345678u);
        EXPECT_EQ(alpha(pic.at(5, y)), 255);
    }
    // A shape that is no number, or no buffer, draws nothing.
    Picture empty(4, 4);
    shadeCushion(empty.buffer(), TileShape{0, 0, INFINITY, 4, 1}, c);
    shadeCushion(PixelBuffer{}, TileShape{0, 0, 4, 4, 1}, c);
    EXPECT_EQ(empty.at(1, 1), 0u);
}

TEST(CushionShading, LiesOverWhatIsThere) {
    Picture pic(4, 4, 0, 0xFF000000u);  // opaque black
    CushionColours c = flat(Rgba{1, 1, 1, 1});
    shadeCushion(pic.buffer(), TileShape{0.5, 0.5, 3, 3, 0}, c);
    // A half-covered pixel over black: half white, still opaque.
    EXPECT_EQ(alpha(pic.at(0, 1)), 255);
    EXPECT_NEAR(red(pic.at(0, 1)), 128, 1);
}

}  // namespace
}  // namespace virirado::map
