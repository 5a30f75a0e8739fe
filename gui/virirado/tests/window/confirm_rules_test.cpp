#include "ConfirmRules.hpp"

#include <gtest/gtest.h>

#include <set>

namespace virirado {
namespace {

PreviewRow row(std::string id, int64_t size, std::string safety = "safe",
               std::string action = "rm") {
    PreviewRow r;
    r.id = id;
    r.label = std::move(id);
    r.realisticSize = size;
    r.safety = std::move(safety);
    r.action = std::move(action);
    return r;
}

PreviewPayload payload(std::vector<PreviewRow> rows, int blocked = 0) {
    PreviewPayload p;
    p.token = "t";
    p.rows = std::move(rows);
    p.blockedCount = blocked;
    return p;
}

bool needsCode(std::vector<PreviewRow> rows) {
    return ConfirmRules::needsTypedCode(payload(std::move(rows)));
}

TEST(TypedCodeRule, OneItemAboveTwoBillionBytes) {
    EXPECT_FALSE(needsCode({row("a", 2'000'000'000)}));
    EXPECT_TRUE(needsCode({row("a", 2'000'000'001)}));
    // A bigger item hidden among small ones still counts.
    EXPECT_TRUE(needsCode({row("a", 10), row("b", 2'000'000'001), row("c", 10)}));
}

TEST(TypedCodeRule, TotalAboveFiveBillionBytes) {
    EXPECT_FALSE(
        needsCode({row("a", 2'000'000'000), row("b", 2'000'000'000), row("c", 1'000'000'000)}));
    EXPECT_TRUE(
        needsCode({row("a", 2'000'000'000), row("b", 2'000'000'000), row("c", 1'000'000'001)}));
}

TEST(TypedCodeRule, AnyCheckFirstRowWhateverItsSize) {
    EXPECT_TRUE(needsCode({row("a", 0, "review")}));
    EXPECT_TRUE(needsCode({row("a", 5), row("b", 1, "review")}));
    // Only the exact word counts; look-only rows are not cleaned at all.
    EXPECT_FALSE(needsCode({row("a", 5, "Review")}));
    EXPECT_FALSE(needsCode({row("a", 5), row("b", 3'000'000'000, "info")}));
    EXPECT_FALSE(needsCode({}));
}

// A negative size from the engine must not pull a large clean under the limit.
TEST(TypedCodeRule, NegativeSizesNeverLowerTheTotal) {
    EXPECT_TRUE(needsCode({row("a", 2'000'000'000), row("b", 2'000'000'000),
                           row("c", 2'000'000'000), row("d", -2'000'000'000)}));
    const ConfirmFacts f = ConfirmFacts::of(
        payload({row("a", 2'000'000'000), row("b", -2'000'000'000, "safe", "trash")}));
    EXPECT_EQ(f.total, 2'000'000'000);
    EXPECT_EQ(f.trashCount, 1);
}

TEST(TypedCodeRule, SizesNearTheTopSaturate) {
    const ConfirmFacts f = ConfirmFacts::of(payload({row("a", INT64_MAX), row("b", INT64_MAX)}));
    EXPECT_EQ(f.total, INT64_MAX);
    EXPECT_TRUE(f.needsCode);
}

TEST(Confirmed, InTheOrderOfItsRules) {
    ConfirmInputs in{true, false, false, false, false, "", "42"};
    EXPECT_TRUE(confirmed(in));  // nothing big: no code asked
    in.hasRows = false;
    EXPECT_FALSE(confirmed(in));
    in.hasRows = true;
    in.verifying = true;
    EXPECT_FALSE(confirmed(in));
    in.dryRun = true;
    EXPECT_FALSE(confirmed(in));  // the re-check beats the dry run
    in.verifying = false;
    in.needsCode = true;
    in.forceCode = true;
    EXPECT_TRUE(confirmed(in));  // a dry run never asks for the code
    in.dryRun = false;
    EXPECT_FALSE(confirmed(in));
    in.typed = "42";
    EXPECT_TRUE(confirmed(in));
    in.forceCode = false;
    in.typed = "24";
    EXPECT_FALSE(confirmed(in));
    in.needsCode = false;
    in.forceCode = true;
    EXPECT_FALSE(confirmed(in));  // the quick-delete road always asks
}

TEST(Confirmed, TypedTextIsTrimmedOfSpacesAndTabsOnly) {
    EXPECT_TRUE(codeMatches("42", "42"));
    EXPECT_TRUE(codeMatches("  42 ", "42"));
    EXPECT_TRUE(codeMatches("\t42\t ", "42"));
    EXPECT_TRUE(codeMatches("\u00A042\u3000", "42"));  // other space separators too
    EXPECT_FALSE(codeMatches("42\n", "42"));
    EXPECT_FALSE(codeMatches("\r\n42", "42"));
    EXPECT_FALSE(codeMatches("4 2", "42"));
    EXPECT_FALSE(codeMatches("4\t2", "42"));
    EXPECT_FALSE(codeMatches("042", "42"));
    EXPECT_FALSE(codeMatches("", "42"));
    EXPECT_FALSE(codeMatches("   ", "42"));
    EXPECT_FALSE(codeMatches("\xff", "42"));
    // An empty code would be confirmed by an empty field.
    EXPECT_FALSE(codeMatches("", ""));
    EXPECT_EQ(trimSpacesAndTabs(" \t a b \t"), "a b");
}

TEST(Confirmed, CodesAreTwoDigits) {
    EXPECT_EQ(codeFromDraw(0), "10");
    EXPECT_EQ(codeFromDraw(89), "99");
    std::set<std::string> seen;
    for (uint32_t d = 0; d < 200; ++d) {
        const std::string c = codeFromDraw(d);
        ASSERT_EQ(c.size(), 2u) << d;
        ASSERT_GE(c, "10");
        ASSERT_LE(c, "99");
        seen.insert(c);
    }
    EXPECT_EQ(seen.size(), 90u);
    EXPECT_EQ(kSnapshotCode.size(), 2u);
}

TEST(ConfirmTexts, TitlesLinesAndButton) {
    EXPECT_EQ(confirmTitle(true, true), "Dry run");
    EXPECT_EQ(confirmTitle(false, false), "Delete for real");
    EXPECT_EQ(confirmTitle(false, true), "Quick Delete \u00B7 Final confirmation (2 of 2)");

    const ConfirmFacts f = ConfirmFacts::of(
        payload({row("a", 1'500'000'000, "safe", "trash"), row("b", 200'000'000, "safe", "cmd"),
                 row("c", 100, "review", "rm"), row("i", 9'000'000'000, "info", "trash")},
                2));
    EXPECT_EQ(f.rows.size(), 3u);
    EXPECT_EQ(confirmHeadline(f), "3 items \u00B7 1.7 GB");
    EXPECT_EQ(confirmSplitLine(f), "1 to Trash \u00B7 2 removed for good");
    EXPECT_EQ(heldBackLine(f.blockedCount), "2 held back by guards");
    EXPECT_EQ(heldBackLine(0), std::nullopt);
    EXPECT_TRUE(f.asksForCode(false));
    EXPECT_FALSE(f.asksForCode(true));

    EXPECT_EQ(primaryText(true, true, 5), "Checking\u2026");
    EXPECT_EQ(primaryText(false, true, 5), "Run the dry run");
    EXPECT_EQ(primaryText(false, false, 1'700'000'100), "Delete 1.7 GB");
    EXPECT_EQ(codePrompt("37"), "Type 37 to delete");
    EXPECT_EQ(destinationWord("trash"), "Trash");
    EXPECT_EQ(destinationWord("rm"), "gone");
    EXPECT_EQ(destinationWord("cmd"), "gone");
    // A reader hears every text of a panel row: where it goes in words, and the
    // badge only on a check-first row.
    EXPECT_EQ(spokenPreviewRow(f.rows[0]), "a, 1.5 GB, to Trash");
    EXPECT_EQ(spokenPreviewRow(f.rows[1]), "b, 200 MB, removed for good");
    EXPECT_EQ(spokenPreviewRow(f.rows[2]), "c, 100 B, removed for good, Check first");
}

TEST(ConfirmTexts, TheCodeAndTitleOfAQuickDeleteComeWithItsPreview) {
    // One small safe item needs no code on its own; answering a quick delete, it
    // always does, and only then does the sheet carry the quick-delete title.
    PreviewPayload quick = payload({row("a", 10)});
    quick.quickDelete = true;
    const ConfirmFacts q = ConfirmFacts::of(quick);
    EXPECT_TRUE(q.forceCode);
    EXPECT_TRUE(q.asksForCode(false));
    EXPECT_FALSE(q.asksForCode(true));
    EXPECT_EQ(confirmTitle(false, q.forceCode), "Quick Delete \u00B7 Final confirmation (2 of 2)");
    EXPECT_FALSE(confirmed({true, false, false, q.forceCode, q.needsCode, "", "42"}));

    const ConfirmFacts t = ConfirmFacts::of(payload({row("a", 10)}));
    EXPECT_FALSE(t.forceCode);
    EXPECT_FALSE(t.asksForCode(false));
    EXPECT_EQ(confirmTitle(false, t.forceCode), "Delete for real");
    EXPECT_TRUE(confirmed({true, false, false, t.forceCode, t.needsCode, "", "42"}));
}

TEST(ConfirmTexts, PanelShowsTheBiggestFiveInStableOrder) {
    std::vector<PreviewRow> five = {row("a", 10), row("b", 30), row("c", 10), row("d", 30),
                                    row("e", 20)};
    std::vector<std::string> ids;
    for (const PreviewRow& r : panelRows(five))
        ids.push_back(r.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"b", "d", "e", "a", "c"}));
    EXPECT_EQ(moreLine(5), std::nullopt);

    five.push_back(row("f", 40));
    ids.clear();
    for (const PreviewRow& r : panelRows(five))
        ids.push_back(r.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"f", "b", "d", "e", "a"}));
    EXPECT_EQ(moreLine(6), "+ 1 more");
    EXPECT_EQ(moreLine(27), "+ 22 more");
}

}  // namespace
}  // namespace virirado
