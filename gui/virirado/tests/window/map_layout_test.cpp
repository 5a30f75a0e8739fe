#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include "Format.hpp"

#include "MapLayout.hpp"

namespace virirado::map {
namespace {

VadeRow row(std::string id, int64_t size, int64_t realistic = 0) {
    VadeRow r;
    r.id = std::move(id);
    r.name = r.id;
    r.size = size;
    r.realistic = realistic;
    r.category = "caches";
    r.safety = "review";
    r.tickable = true;
    r.action = "trash";
    return r;
}

TEST(MapTiles, WeightsAndFigures) {
    std::vector<VadeRow> rows{row("big", 900, 300), row("grown", 0, 5), row("none", 0, 0),
                              row("negative", -4, -1), row("small", 100)};
    const auto tiles = buildTreemap(refsOf(rows), durozizo::MapRect(400.0, 140.0));
    ASSERT_EQ(tiles.size(), 3u);
    // Largest first, as the layout sorts them.
    EXPECT_EQ(tiles[0].id, "big");
    EXPECT_EQ(tiles[0].rowID, "big");
    EXPECT_EQ(tiles[0].row, &rows[0]);
    EXPECT_EQ(tiles[0].listed, 900);
    EXPECT_EQ(tiles[0].back, 300);
    EXPECT_EQ(tiles[1].id, "small");
    EXPECT_EQ(tiles[2].id, "grown");
    EXPECT_EQ(tiles[2].listed, 5);
    EXPECT_EQ(tiles[2].back, 5);
    EXPECT_EQ(mapWeight(rows[0]), 900);
    EXPECT_EQ(mapWeight(rows[1]), 5);
    EXPECT_EQ(mapWeight(row("r", 100, 2000)), 2000);

    // Inside the 6-point margin, without overlap, areas by weight.
    int64_t area = 0;
    for (const CushionTile& t : tiles) {
        EXPECT_GE(t.rect.x, 6);
        EXPECT_GE(t.rect.y, 6);
        EXPECT_LE(t.rect.maxX(), 394);
        EXPECT_LE(t.rect.maxY(), 134);
        area += t.rect.area();
    }
    EXPECT_NEAR(static_cast<double>(area), 388.0 * 128, 388.0 * 128 * 0.02);
    EXPECT_GT(tiles[0].rect.area(), 8 * tiles[1].rect.area());
}

TEST(MapTiles, NoRoomOrNoRowsGiveNoTiles) {
    std::vector<VadeRow> rows{row("a", 10)};
    EXPECT_TRUE(buildTreemap(refsOf(rows), durozizo::MapRect(12.0, 140.0)).empty());
    EXPECT_TRUE(buildTreemap(refsOf(rows), durozizo::MapRect(400.0, 12.0)).empty());
    EXPECT_FALSE(buildTreemap(refsOf(rows), durozizo::MapRect(13.0, 13.0)).empty());
    EXPECT_TRUE(buildTreemap({}, durozizo::MapRect(400.0, 140.0)).empty());
    EXPECT_TRUE(buildTreemap(refsOf(rows), durozizo::MapRect(NAN, 140.0)).empty());
}

TEST(MapTiles, SharedIdsDrawTheFirstRow) {
    std::vector<VadeRow> rows{row("same", 10), row("same", 20)};
    rows[0].name = "first";
    rows[1].name = "second";
    const auto tiles = buildTreemap(refsOf(rows), durozizo::MapRect(400.0, 140.0));
    ASSERT_FALSE(tiles.empty());
    for (const CushionTile& t : tiles)
        EXPECT_EQ(t.row, &rows[0]);
}

TEST(MapTiles, TextsAndHits) {
    std::vector<VadeRow> rows{row("a", 10), row("b", 10)};
    rows[0].name = "Report (2).pdf";
    rows[0].fileCount = 1;
    rows[1].fileCount = 1200;
    auto tiles = buildTreemap(refsOf(rows), durozizo::MapRect(200.0, 100.0));
    ASSERT_EQ(tiles.size(), 2u);
    EXPECT_TRUE(tiles[0].title.empty());
    for (CushionTile& t : tiles)
        withTexts(t);
    EXPECT_EQ(tiles[0].title, "Report");
    EXPECT_EQ(tiles[0].subtitle, "Caches");
    EXPECT_EQ(tiles[1].subtitle, formatCount(1200) + " files \u00B7 Caches");

    const durozizo::MapRect r = tiles[1].rect;
    EXPECT_EQ(hitTile(tiles, static_cast<double>(r.x), static_cast<double>(r.y)), 1);
    // Half-open: the right edge belongs to the neighbour, the margin to nobody.
    EXPECT_NE(hitTile(tiles, static_cast<double>(r.maxX()), static_cast<double>(r.y)), 1);
    EXPECT_EQ(hitTile(tiles, 2, 2), -1);
    EXPECT_EQ(hitTile(tiles, NAN, 20), -1);
}

TEST(MapPalette, FirstMatchWins) {
    VadeRow r = row("x", 1);
    r.ticked = true;
    r.blocked = "in use";
    EXPECT_EQ(cushionCase(r), CushionCase::ticked);
    r.ticked = false;
    EXPECT_EQ(cushionCase(r), CushionCase::lookOnly);
    r.blocked.clear();
    r.safety = "info";
    EXPECT_EQ(cushionCase(r), CushionCase::lookOnly);
    r.safety = "safe";
    r.tickable = false;
    EXPECT_EQ(cushionCase(r), CushionCase::lookOnly);
    r.tickable = true;
    r.category = "vms";
    EXPECT_EQ(cushionCase(r), CushionCase::safe);
    r.safety = "review";
    EXPECT_EQ(cushionCase(r), CushionCase::machines);
    for (const char* key : {"sims", "runtimes", "derived", "devbuild", "devsupport", "android"}) {
        r.category = key;
        EXPECT_EQ(cushionCase(r), CushionCase::developer) << key;
    }
    r.category = "docker";
    EXPECT_EQ(cushionCase(r), CushionCase::machines);
    // Case-sensitive, and every file-type key is plain.
    r.category = "Sims";
    EXPECT_EQ(cushionCase(r), CushionCase::plain);
    r.category = "devbuild";
    r.kind = "biggest-file";
    r.ext = "dmg";
    EXPECT_EQ(cushionCase(r), CushionCase::plain);

    const CushionPalette ticked = cushionPalette(CushionCase::ticked);
    EXPECT_STREQ(ticked.top.pick(true), "#FF9A5A");
    EXPECT_STREQ(ticked.ink.pick(false), "#241000");
    EXPECT_DOUBLE_EQ(ticked.subInkOpacity, 0.78);
    EXPECT_STREQ(cushionPalette(CushionCase::lookOnly).mid.pick(false), "#0F2A47");
    EXPECT_STREQ(cushionPalette(CushionCase::safe).bottom.pick(true), "#0A5F6C");
    EXPECT_STREQ(cushionPalette(CushionCase::developer).subInk.pick(false), "#124554");
    EXPECT_STREQ(cushionPalette(CushionCase::machines).ink.pick(true), "#EBF4FA");
    EXPECT_STREQ(cushionPalette(CushionCase::plain).mid.pick(true), "#2F6D7D");
    EXPECT_DOUBLE_EQ(cushionPalette(CushionCase::plain).subInkOpacity, 1);
}

TEST(MapTileDrawing, ShapeLabelsAndRings) {
    const TileShape big = tileShape(durozizo::MapRect(10, 20, 63, 43));
    EXPECT_DOUBLE_EQ(big.w, 60);
    EXPECT_DOUBLE_EQ(big.h, 40);
    EXPECT_DOUBLE_EQ(big.x, 11.5);
    EXPECT_DOUBLE_EQ(big.y, 21.5);
    EXPECT_DOUBLE_EQ(big.radius, 7);
    const TileShape small = tileShape(durozizo::MapRect(0, 0, 5, 40));
    EXPECT_DOUBLE_EQ(small.w, 4);
    EXPECT_DOUBLE_EQ(small.radius, 1);
    const TileShape sliver = tileShape(durozizo::MapRect(3, 0, 1, 1));
    EXPECT_DOUBLE_EQ(sliver.w, 1);
    EXPECT_DOUBLE_EQ(sliver.x, 3);

    EXPECT_EQ(tileLabels(60, 40, false), (TileLabels{true, false, true, false}));
    EXPECT_EQ(tileLabels(50, 40, false), (TileLabels{true, false, false, false}));
    EXPECT_EQ(tileLabels(40, 40, true), (TileLabels{}));
    EXPECT_EQ(tileLabels(44, 19.9, true), (TileLabels{}));
    EXPECT_FALSE(tileLabels(53, 40, true).check);
    EXPECT_TRUE(tileLabels(54, 40, true).check);
    EXPECT_EQ(tileLabels(92, 54, false), (TileLabels{true, false, true, true}));
    EXPECT_FALSE(tileLabels(92, 53, false).subtitle);

    EXPECT_EQ(highlightOpacity(true, true), 0.30);
    EXPECT_EQ(highlightOpacity(false, true), 0.15);
    EXPECT_EQ(highlightOpacity(false, false), 0.22);
    // A selected tile under the pointer keeps its ring, not the hover border.
    EXPECT_EQ(tileRing(true, true), TileRing::selected);
    EXPECT_EQ(tileRing(false, true), TileRing::hover);
    EXPECT_EQ(tileRing(false, false), TileRing::none);
}

TEST(MapTooltip, TextsAndColours) {
    std::vector<VadeRow> rows{row("r", 900, 300)};
    rows[0].ticked = true;
    rows[0].name = "Old backup";
    rows[0].fileCount = 3;
    auto tiles = buildTreemap(refsOf(rows), durozizo::MapRect(300.0, 140.0));
    ASSERT_EQ(tiles.size(), 1u);
    TooltipTexts t = tooltipTexts(tiles[0]);
    EXPECT_EQ(t.title, "Old backup");
    EXPECT_EQ(t.figures, "900 B \u00B7 3 files \u00B7 Caches");
    EXPECT_EQ(t.footer, "Ticked to clean \u00B7 300 B comes back");
    EXPECT_STREQ(t.footerColour.pick(false), "#B8440C");
    EXPECT_STREQ(t.dot.pick(true), "#FF7A2F");

    rows[0].ticked = false;
    rows[0].safety = "safe";
    t = tooltipTexts(tiles[0]);
    EXPECT_EQ(t.footer, "Goes to Trash \u00B7 Double-click to toggle");
    EXPECT_STREQ(t.footerColour.pick(true), "#9DB7CC");
    EXPECT_STREQ(t.dot.pick(false), "#19B5C9");
    rows[0].safety = "review";
    EXPECT_STREQ(tooltipTexts(tiles[0]).dot.pick(true), "#2F6D7D");
}

TEST(MapAccess, TileNamesAndWhenTheyChange) {
    std::vector<VadeRow> rows{row("r", 900, 300), row("q", 50)};
    rows[0].name = "Caches: Report (2).pdf";
    auto tiles = buildTreemap(refsOf(rows), durozizo::MapRect(300.0, 140.0));
    ASSERT_EQ(tiles.size(), 2u);
    // A tile too small for labels is named all the same.
    ASSERT_TRUE(tiles[0].title.empty());
    EXPECT_EQ(tileAccessibleName(tiles[0]), "Report, 900 B, Goes to Trash");
    rows[0].ticked = true;
    EXPECT_EQ(tileAccessibleName(tiles[0]), "Report, 900 B, Ticked to clean");
    rows[0].ticked = false;
    rows[0].blocked = "in use";
    EXPECT_EQ(tileAccessibleName(tiles[0]), "Report, 900 B, Blocked now");
    EXPECT_EQ(tileAccessibleName(CushionTile{}), "");
    rows[0].blocked.clear();

    // The same layout over fresh copies of the rows, as after every refresh:
    // whatever changes a tile's name must be seen without naming it.
    const std::vector<VadeRow> before = rows;
    auto check = [&](const char* what, const std::function<void(VadeRow&)>& change) {
        std::vector<VadeRow> after = before;
        change(after[0]);
        const auto old = buildTreemap(refsOf(before), durozizo::MapRect(300.0, 140.0));
        const auto now = buildTreemap(refsOf(after), durozizo::MapRect(300.0, 140.0));
        ASSERT_TRUE(sameLayout(old, now)) << what;
        EXPECT_NE(tileAccessibleName(old[0]), tileAccessibleName(now[0])) << what;
        EXPECT_FALSE(sameAccessibleName(old[0], now[0])) << what;
    };
    check("tick", [](VadeRow& r) { r.ticked = true; });
    check("name", [](VadeRow& r) { r.name = "Other.pdf"; });
    check("kind", [](VadeRow& r) {
        r.kind = "trash";
        r.action = "rm";
    });
    check("tier", [](VadeRow& r) { r.safety = "info"; });
    check("action", [](VadeRow& r) { r.action = "cmd"; });
    check("block", [](VadeRow& r) { r.blocked = "in use"; });
    check("tickable", [](VadeRow& r) { r.tickable = false; });
    check("category", [](VadeRow& r) { r.category = "logs"; });

    std::vector<VadeRow> same = before;
    same[0].why = "another reason";
    const auto a = buildTreemap(refsOf(before), durozizo::MapRect(300.0, 140.0));
    const auto b = buildTreemap(refsOf(same), durozizo::MapRect(300.0, 140.0));
    EXPECT_TRUE(sameAccessibleName(a[0], b[0]));
    // A new figure moves the tiles: the layout is new, not the name alone.
    same[0].size = 100;
    EXPECT_FALSE(sameLayout(a, buildTreemap(refsOf(same), durozizo::MapRect(300.0, 140.0))));
    EXPECT_FALSE(sameLayout(a, {}));
}

TEST(MapTooltip, PlacementFlipsAndClamps) {
    // Room to the right and below: 12 points from the pointer.
    EXPECT_EQ(tooltipOrigin({100, 20}, 800, 140), (PlotPoint{112, 32}));
    // Near the right or bottom edge: on the other side of the pointer.
    EXPECT_EQ(tooltipOrigin({700, 100}, 800, 140), (PlotPoint{700 - 12 - 236, 100 - 12 - 68}));
    // Near the top left after a flip: kept 6 points in.
    EXPECT_DOUBLE_EQ(tooltipAxis(10, 80, 68), 6);
    // A map narrower than 248 points pins the left edge at 6.
    EXPECT_DOUBLE_EQ(tooltipAxis(100, 240, 236), 6);
    EXPECT_DOUBLE_EQ(tooltipAxis(0, 240, 236), 6);
    EXPECT_DOUBLE_EQ(tooltipAxis(239, 240, 236), 6);
    // A card that just fits beside the pointer is still kept 6 points off the edge.
    EXPECT_DOUBLE_EQ(tooltipAxis(100, 348, 236), 106);
}

TEST(MapBand, SweepsAcross) {
    // p = 0 at sin = -1, 1 at sin = 1.
    const double low = -std::asin(1.0) / 1.6;
    const double high = std::asin(1.0) / 1.6;
    EXPECT_NEAR(scanBandX(800, low), -70, 1e-9);
    EXPECT_NEAR(scanBandX(800, high), 870, 1e-9);
    EXPECT_NEAR(scanBandX(800, 0), 400, 1e-9);
    EXPECT_EQ(emptyText(true), "Mapping largest files as they arrive\u2026");
    EXPECT_EQ(emptyText(false), "No files to map in this view.");
}

}  // namespace
}  // namespace virirado::map
