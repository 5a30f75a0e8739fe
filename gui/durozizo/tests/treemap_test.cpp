#include "Treemap.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

using durozizo::MapRect;
using durozizo::MapTile;
using durozizo::MapWeight;
namespace Treemap = durozizo::Treemap;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();

TEST(MapRectTest, SizesFromDoublesAreClampedWholeNumbers) {
    EXPECT_EQ(MapRect(-3.0, kInf), MapRect(0, 0, 0, 0));
    EXPECT_EQ(MapRect(2'000'000.7, 10.9), MapRect(0, 0, 1'000'000, 10));
    EXPECT_EQ(MapRect(kNaN, 0.99), MapRect(0, 0, 0, 0));
    EXPECT_TRUE(MapRect(0.99, 5.0).isEmpty());
}

TEST(MapRectTest, ContainsIsHalfOpenAndInsetNeverGoesNegative) {
    MapRect r(10, 20, 30, 40);
    EXPECT_TRUE(r.contains(10, 20));
    EXPECT_FALSE(r.contains(40, 30));
    EXPECT_FALSE(r.contains(15, 60));
    EXPECT_FALSE(r.contains(kNaN, 30));
    EXPECT_FALSE(r.contains(15, -kInf));

    EXPECT_EQ(MapRect(0, 0, 6, 20).inset(5), MapRect(5, 5, 0, 10));
    EXPECT_EQ(r.inset(1, 2, 3, 4), MapRect(12, 21, 24, 36));
    EXPECT_EQ(r.inset(50, 0, 0, 0).h, 0);
}

// Every pixel of the rectangle lies in exactly one tile, and no tile leaves it.
void expectExactCover(const std::vector<MapTile>& tiles, const MapRect& in) {
    std::vector<int> hits(static_cast<size_t>(in.area()), 0);
    for (const auto& t : tiles) {
        ASSERT_FALSE(t.rect.isEmpty()) << t.id;
        ASSERT_GE(t.rect.x, in.x) << t.id;
        ASSERT_GE(t.rect.y, in.y) << t.id;
        ASSERT_LE(t.rect.maxX(), in.maxX()) << t.id;
        ASSERT_LE(t.rect.maxY(), in.maxY()) << t.id;
        for (int64_t y = t.rect.y; y < t.rect.maxY(); ++y)
            for (int64_t x = t.rect.x; x < t.rect.maxX(); ++x)
                ++hits[static_cast<size_t>((y - in.y) * in.w + (x - in.x))];
    }
    EXPECT_TRUE(std::all_of(hits.begin(), hits.end(), [](int n) { return n == 1; }));
}

std::vector<MapWeight> randomWeights(std::mt19937_64& rng, size_t n, int64_t lo, int64_t hi) {
    std::uniform_int_distribution<int64_t> dist(lo, hi);
    std::vector<MapWeight> out;
    for (size_t i = 0; i < n; ++i)
        out.push_back({"w" + std::to_string(i), dist(rng)});
    return out;
}

TEST(TreemapLayout, SmallCasesByHand) {
    EXPECT_EQ(Treemap::layout({{"a", 5}}, MapRect(7, 9, 300, 200)),
              (std::vector<MapTile>{{"a", MapRect(7, 9, 300, 200)}}));
    // Equal weights: the row stops at one (badness 1 -> 4), ties go by id.
    EXPECT_EQ(
        Treemap::layout({{"b", 3}, {"a", 3}}, MapRect(0, 0, 200, 100)),
        (std::vector<MapTile>{{"a", MapRect(0, 0, 100, 100)}, {"b", MapRect(100, 0, 100, 100)}}));
    // Taller than wide: rows become bands across the top.
    auto tall = Treemap::layout({{"a", 1}, {"b", 1}}, MapRect(0, 0, 100, 200));
    EXPECT_EQ(tall, (std::vector<MapTile>{{"a", MapRect(0, 0, 100, 100)},
                                          {"b", MapRect(0, 100, 100, 100)}}));
}

// Ids order by code point of their canonical composition: an id spelt with a
// combining accent sorts where its precomposed twin does.
TEST(TreemapLayout, EqualWeightsOrderByCanonicalId) {
    auto tiles = Treemap::layout({{"e\u0301b", 1}, {"\u00e9a", 1}, {"f", 1}, {"d", 1}},
                                 MapRect(0, 0, 40, 40));
    std::vector<std::string> ids;
    for (const auto& t : tiles)
        ids.push_back(t.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"d", "f", "\u00e9a", "e\u0301b"}));
}

TEST(TreemapLayout, NothingToPlace) {
    EXPECT_TRUE(Treemap::layout({}, MapRect(0, 0, 10, 10)).empty());
    EXPECT_TRUE(Treemap::layout({{"a", 0}, {"b", -4}}, MapRect(0, 0, 10, 10)).empty());
    EXPECT_TRUE(Treemap::layout({{"a", 4}}, MapRect(0, 0, 0, 10)).empty());
    auto tiles = Treemap::layout({{"z", 0}, {"a", 2}, {"n", -1}, {"b", 1}}, MapRect(0, 0, 30, 10));
    ASSERT_EQ(tiles.size(), 2u);
    EXPECT_EQ(tiles[0].id, "a");
    EXPECT_EQ(tiles[1].id, "b");
}

TEST(TreemapLayout, RandomWeightsCoverTheRectExactlyInWeightOrder) {
    std::mt19937_64 rng(42);
    const MapRect rects[] = {MapRect(0, 0, 97, 61), MapRect(5, 3, 40, 180), MapRect(0, 0, 1, 50),
                             MapRect(2, 2, 128, 128)};
    for (const auto& in : rects) {
        for (size_t n : {1u, 2u, 7u, 60u, 400u}) {
            auto weights = randomWeights(rng, n, 1, 1'000'000);
            auto tiles = Treemap::layout(weights, in);
            ASSERT_FALSE(tiles.empty());
            expectExactCover(tiles, in);
            std::vector<int64_t> order;
            for (const auto& t : tiles)
                for (const auto& w : weights)
                    if (w.id == t.id) order.push_back(w.weight);
            EXPECT_TRUE(std::is_sorted(order.rbegin(), order.rend()));
        }
    }
}

TEST(TreemapLayout, TilesStayCloseToSquares) {
    std::mt19937_64 rng(7);
    auto weights = randomWeights(rng, 40, 1'000, 10'000);
    auto tiles = Treemap::layout(weights, MapRect(0, 0, 1200, 800));
    ASSERT_EQ(tiles.size(), 40u);
    std::vector<double> ratios;
    for (const auto& t : tiles) {
        double w = static_cast<double>(t.rect.w);
        double h = static_cast<double>(t.rect.h);
        ratios.push_back(std::max(w / h, h / w));
    }
    std::sort(ratios.begin(), ratios.end());
    EXPECT_LT(ratios[ratios.size() / 2], 1.5);
    EXPECT_LT(ratios.back(), 3.0);
}

TEST(TreemapLayout, ExtremeWeights) {
    MapRect in(0, 0, 90, 60);
    auto huge = Treemap::layout({{"a", kMax}, {"b", kMax}, {"c", kMax}}, in);
    EXPECT_EQ(huge.size(), 3u);
    expectExactCover(huge, in);

    auto lopsided = Treemap::layout({{"big", kMax}, {"tiny", 1}}, in);
    ASSERT_FALSE(lopsided.empty());
    EXPECT_EQ(lopsided[0].id, "big");
    expectExactCover(lopsided, in);

    std::vector<MapWeight> many;
    for (int i = 0; i < 10'000; ++i)
        many.push_back({std::to_string(i), 1 + i % 3});
    auto crowded = Treemap::layout(many, MapRect(0, 0, 10, 10));
    EXPECT_LE(crowded.size(), 100u);
    expectExactCover(crowded, MapRect(0, 0, 10, 10));
}

TEST(TreemapHit, FindsTheFirstTileUnderThePoint) {
    auto tiles = Treemap::layout({{"a", 3}, {"b", 1}}, MapRect(0, 0, 200, 100));
    for (const auto& t : tiles) {
        auto found = Treemap::hit(tiles, t.rect.x + t.rect.w / 2.0, t.rect.y + t.rect.h / 2.0);
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(found->id, t.id);
    }
    EXPECT_FALSE(Treemap::hit(tiles, 200, 50).has_value());
    EXPECT_FALSE(Treemap::hit(tiles, kNaN, 50).has_value());
    std::vector<MapTile> overlapping = {{"first", MapRect(0, 0, 10, 10)},
                                        {"second", MapRect(5, 5, 10, 10)}};
    EXPECT_EQ(Treemap::hit(overlapping, 7, 7)->id, "first");
    EXPECT_EQ(Treemap::hit(overlapping, 12, 12)->id, "second");
}

}  // namespace
