#include <gtest/gtest.h>

#include <algorithm>

#include "ChromeFigures.hpp"

namespace virirado {
namespace {

using durozizo::VadeScope;

VadeRow row(std::string id, std::string category, int64_t size, int64_t realistic = 0,
            bool ticked = false) {
    VadeRow r;
    r.id = std::move(id);
    r.name = r.id;
    r.category = std::move(category);
    r.size = size;
    r.realistic = realistic;
    r.ticked = ticked;
    r.tickable = true;
    r.safety = "safe";
    r.action = "trash";
    return r;
}

std::vector<durozizo::SearchItem> items(const std::vector<VadeRow>& rows) {
    std::vector<durozizo::SearchItem> out;
    for (const VadeRow& r : rows)
        out.push_back(r.searchItem());
    return out;
}

TEST(ChromeFigures, VolumeLineHasThreeStates) {
    EXPECT_EQ(volumeLine(0, "This disk", false, 0), "Read-only");
    EXPECT_EQ(volumeLine(0, "This disk", true, 12), "Scanning\u2026");
    EXPECT_EQ(volumeLine(506'300'000'000, "Macintosh HD", false, 27),
              "Macintosh HD \u00B7 27 things");
    // A known volume with no rows still names it; the count is never grouped.
    EXPECT_EQ(volumeLine(1, "Data", true, 0), "Data \u00B7 0 things");
    EXPECT_EQ(volumeLine(1, "Data", false, 12345), "Data \u00B7 12345 things");
}

TEST(ChromeFigures, StatsShowADashUntilTheVolumeIsKnown) {
    // Free space may arrive before the volume's total: still no figure.
    EXPECT_EQ(statValue(0, 240'400'000'000), "\u2014");
    EXPECT_EQ(statValue(-5, 1), "\u2014");
    EXPECT_EQ(statValue(1, 0), "0 B");
    EXPECT_EQ(statValue(506'300'000'000, 240'400'000'000), "240.4 GB");
    EXPECT_EQ(statValue(506'300'000'000, bytesAfter(240'400'000'000, 50'800'000'000)), "291.2 GB");
    // Nothing ticked: "After" equals "Free now".
    EXPECT_EQ(bytesAfter(240'400'000'000, 0), 240'400'000'000);
    EXPECT_EQ(bytesAfter(INT64_MAX, 10), INT64_MAX);

    // The stats as the hero shows and a screen reader reads them.
    const auto before = heroStats(0, 240'400'000'000, 50'800'000'000);
    EXPECT_EQ(statSpoken(before[0]), "Free now, \u2014");
    EXPECT_EQ(statSpoken(before[1]), "After, \u2014");
    const auto known = heroStats(506'300'000'000, 240'400'000'000, 50'800'000'000);
    EXPECT_EQ(known[0], (HeroStat{"Free now", "240.4 GB"}));
    EXPECT_EQ(known[1], (HeroStat{"After", "291.2 GB"}));
    EXPECT_EQ(statSpoken(known[1]), "After, 291.2 GB");
    EXPECT_EQ(heroStats(1, 0, 0)[1].value, "0 B");
}

TEST(ChromeFigures, SearchCountSumsWhatComesBack) {
    const std::vector<VadeRow> rows = {row("a", "caches", 900, 300), row("b", "caches", 2000),
                                       row("c", "caches", 5000, -1)};
    RowRefs refs = refsOf(rows);
    EXPECT_EQ(searchCountText(refs), "3 \u00B7 7.3 KB");
    EXPECT_EQ(searchCountText({}), "0 \u00B7 0 B");
    const std::vector<VadeRow> huge = {row("x", "caches", INT64_MAX), row("y", "caches", 10)};
    EXPECT_EQ(searchCountText(refsOf(huge)), "2 \u00B7 9223372.0 TB");
}

TEST(ChromeFigures, ScopeButtonsAndTheirTickedFigures) {
    const std::vector<VadeScope> scopes = scopeBarScopes();
    ASSERT_EQ(scopes.size(), 8u);
    EXPECT_EQ(scopes.front(), VadeScope::everything);
    EXPECT_EQ(scopes.back(), VadeScope::cloud);
    EXPECT_EQ(std::count(scopes.begin(), scopes.end(), VadeScope::network), 0);

    const auto all = items({row("c1", "caches", 2'000'000'000, 1'260'000'000, true),
                            row("c2", "caches", 40'000'000, 0, true),
                            row("c3", "caches", 9'000'000'000, 0, false),
                            row("v1", "vms", 40'000'000, 0, true)});
    // Realistic size when set, else the size; unticked rows never count.
    EXPECT_EQ(scopeTickedBytes(all, VadeScope::caches), 1'300'000'000);
    EXPECT_EQ(scopeTickedBytes(all, VadeScope::everything), 1'340'000'000);
    EXPECT_EQ(scopeTickedBytes(all, VadeScope::cloud), 40'000'000);
    EXPECT_EQ(scopeTickedBytes(all, VadeScope::apps), 0);
    EXPECT_EQ(scopeTickedBytes({}, VadeScope::everything), 0);

    EXPECT_EQ(scopeFigure(0), "0");
    EXPECT_EQ(scopeFigure(1'260'000'000), "1.3");
    EXPECT_EQ(scopeFigure(40'000'000), "0.0");
    EXPECT_EQ(scopeFigure(50'800'000'000), "50.8");
}

TEST(ChromeFigures, SummaryTexts) {
    EXPECT_EQ(tickedText(0), "0 ticked");
    EXPECT_EQ(tickedText(12345), "12345 ticked");
    EXPECT_EQ(safetyLine(0), "");
    EXPECT_EQ(safetyLine(-3), "");
    EXPECT_EQ(safetyLine(2), " \u00B7 2 to Trash");
    EXPECT_EQ(tickedText(3) + safetyLine(2), "3 ticked \u00B7 2 to Trash");
    EXPECT_EQ(scanButtonTitle(false), "Start scan");
    EXPECT_EQ(scanButtonTitle(true), "Scan again");
}

}  // namespace
}  // namespace virirado
