#include "RowSheets.hpp"

#include <gtest/gtest.h>

namespace virirado {
namespace {

VadeRow row() {
    VadeRow r;
    r.id = "sim";
    r.name = "iOS 17.2 Simulator";
    r.size = 7'000'000'000;
    r.realistic = 0;
    r.why = "Not used for 90 days.";
    r.path = "/home/al/Library/Developer/CoreSimulator";
    return r;
}

TEST(CheckFirstSheetTexts, ExplanationNamesTheRowOnlyInADryRun) {
    EXPECT_EQ(checkFirstExplanation(true, "Xcode caches"),
              "Nothing is deleted from this sheet. These are what Clean the tank would remove if "
              "you leave Xcode caches ticked. This preview stays a dry run.");
    EXPECT_EQ(checkFirstExplanation(false, "Xcode caches"),
              "Nothing is deleted from this sheet. If you tick Clean it, Clean the tank can "
              "remove exactly this list, after the same guards.");
}

TEST(CheckFirstSheetTexts, TheRowsLineThenItsMembers) {
    VadeRow r = row();
    // The row's own line shows its realistic bytes as they stand, even 0.
    EXPECT_EQ(checkFirstLines(r, "/srv"), (std::vector<CheckLine>{{r.name, *r.path, "0 B"}}));

    r.path.reset();
    r.members = {{"m1", "Runtime 17.2", 4'000'000'000, "/x/17.2"},
                 {"m2", "Runtime 16.4", 3'000'000, std::nullopt}};
    const std::vector<CheckLine> lines = checkFirstLines(r, "/srv");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], (CheckLine{r.name, r.why, "0 B"}));  // no path: the reason
    EXPECT_EQ(lines[1], (CheckLine{"Runtime 17.2", "/x/17.2", "4.0 GB"}));
    EXPECT_EQ(lines[2], (CheckLine{"Runtime 16.4", "", "3.0 MB"}));

    r.why.clear();
    EXPECT_EQ(checkFirstLines(r, "/srv")[0].detail, "");
}

TEST(CheckFirstSheetTexts, PathsWriteTheHomeAsTilde) {
    VadeRow r = row();
    r.members = {{"m1", "Runtime 17.2", 4'000'000'000, "/home/al/Library/Developer/17.2"},
                 {"m2", "Elsewhere", 1, "/home/alice/x"}};
    const std::vector<CheckLine> lines = checkFirstLines(r, "/home/al");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].detail, "~/Library/Developer/CoreSimulator");
    EXPECT_EQ(lines[1].detail, "~/Library/Developer/17.2");
    // Only a whole folder name counts as the home.
    EXPECT_EQ(lines[2].detail, "/home/alice/x");
    // A reason is never taken for a path.
    r.path.reset();
    r.why = "/home/al is where it lives";
    EXPECT_EQ(checkFirstLines(r, "/home/al")[0].detail, "/home/al is where it lives");
}

TEST(QuickDeleteSheetTexts, SizeFallsBackToTheListedSize) {
    VadeRow r = row();
    EXPECT_EQ(quickDeleteSize(r), "7.0 GB");
    r.realistic = 1;
    EXPECT_EQ(quickDeleteSize(r), "1 B");
    r.realistic = -5;
    EXPECT_EQ(quickDeleteSize(r), "7.0 GB");
}

TEST(QuickDeleteSheetTexts, PathShownFromHome) {
    VadeRow r = row();
    EXPECT_EQ(quickDeletePath(r, "/home/al"), "~/Library/Developer/CoreSimulator");
    // Only a whole folder name counts as the home.
    r.path = "/home/alice/big.iso";
    EXPECT_EQ(quickDeletePath(r, "/home/al"), "/home/alice/big.iso");
    r.path = "";
    EXPECT_EQ(quickDeletePath(r, "/home/al"), std::nullopt);
    r.path.reset();
    EXPECT_EQ(quickDeletePath(r, "/home/al"), std::nullopt);
}

}  // namespace
}  // namespace virirado
