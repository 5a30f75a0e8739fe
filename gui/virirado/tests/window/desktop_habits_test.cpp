#include <gtest/gtest.h>

#include "DesktopHabits.hpp"

namespace virirado {
namespace {

TEST(WrapTip, BreaksAtSpacesWithinTheWidth) {
    // The search field's tip stays on one line at the tip width.
    const std::string filters = "Filters: size:>1G kind:devbuild age:>90d ext:mov is:ticked";
    EXPECT_EQ(wrapTip(filters), filters);

    EXPECT_EQ(wrapTip("one two three four", 9), "one two\nthree\nfour");
    EXPECT_EQ(wrapTip("one two", 7), "one two");
    // Breaks already in the text stay, and each line wraps on its own.
    EXPECT_EQ(wrapTip("first line\nsecond one here", 10), "first line\nsecond one\nhere");
    EXPECT_EQ(wrapTip("a\n\nb", 10), "a\n\nb");
    EXPECT_EQ(wrapTip("", 10), "");
    // Spaces inside a line stay.
    EXPECT_EQ(wrapTip("  indented", 20), "  indented");
}

TEST(WrapTip, CountsCharactersNotBytes) {
    // "é" is two bytes and "·" two: each counts once.
    EXPECT_EQ(wrapTip("été · été", 9), "été · été");
    EXPECT_EQ(wrapTip("été · été", 8), "été ·\nété");
    EXPECT_EQ(wrapTip("ééééé", 2), "éé\néé\né");
}

TEST(WrapTip, CutsAWordTooLongForALineBetweenFolders) {
    EXPECT_EQ(wrapTip("/home/alice/Library/Caches", 12), "/home/alice/\nLibrary/\nCaches");
    // Without a folder break inside the line it is cut at the width.
    EXPECT_EQ(wrapTip("abcdefghij", 4), "abcd\nefgh\nij");
    // A slash only at the start is no place to break.
    EXPECT_EQ(wrapTip("/abcdefgh", 4), "/abc\ndefg\nh");
    // A long word after text starts its own line.
    EXPECT_EQ(wrapTip("Path: /aaaa/bbbb/cccc", 10), "Path:\n/aaaa/\nbbbb/cccc");
    // A width of nothing still makes progress, one character a line.
    EXPECT_EQ(wrapTip("ab", 0), "a\nb");
}

TEST(FirstWindowSize, OpensAtThePreferredSizeWhereItFits) {
    const PixelSize preferred{1280, 840};
    const PixelSize minimum{1100, 720};
    // A large screen: exactly the preferred size and the minimum as they are.
    EXPECT_EQ(firstWindowSize({1920, 1053}, kFrameAllowance, preferred, minimum),
              (FirstWindow{preferred, minimum}));
    // Just enough room, frame included.
    EXPECT_EQ(firstWindowSize({1296, 888}, kFrameAllowance, preferred, minimum),
              (FirstWindow{preferred, minimum}));
    // An unknown screen keeps both.
    EXPECT_EQ(firstWindowSize({0, 0}, kFrameAllowance, preferred, minimum),
              (FirstWindow{preferred, minimum}));
}

TEST(FirstWindowSize, ShrinksToTheScreenAndTheMinimumGivesWayOnlyWhenItMust) {
    const PixelSize preferred{1280, 840};
    const PixelSize minimum{1100, 720};
    // 1366 by 768 with a 27-point panel: the height is what fits, the width stays.
    EXPECT_EQ(firstWindowSize({1366, 741}, kFrameAllowance, preferred, minimum),
              (FirstWindow{{1280, 693}, {1100, 693}}));
    // Room between the minimum and the preferred size: the minimum holds.
    EXPECT_EQ(firstWindowSize({1366, 800}, kFrameAllowance, preferred, minimum),
              (FirstWindow{{1280, 752}, minimum}));
    // A small screen: both sizes are what fits.
    EXPECT_EQ(firstWindowSize({1024, 600}, {0, 0}, preferred, minimum),
              (FirstWindow{{1024, 600}, {1024, 600}}));
    // A frame larger than the screen leaves at least a point.
    EXPECT_EQ(firstWindowSize({10, 10}, {20, 20}, preferred, minimum),
              (FirstWindow{{1, 1}, {1, 1}}));
}

TEST(Scheme, PinnedOverDesktopPreferenceOverPalette) {
    EXPECT_EQ(pinnedDark("dark"), true);
    EXPECT_EQ(pinnedDark("light"), false);
    EXPECT_EQ(pinnedDark("Dark"), std::nullopt);
    EXPECT_EQ(pinnedDark(""), std::nullopt);
    EXPECT_EQ(pinnedDark(nullptr), std::nullopt);

    EXPECT_EQ(portalDark(0), std::nullopt);
    EXPECT_EQ(portalDark(1), true);
    EXPECT_EQ(portalDark(2), false);
    EXPECT_EQ(portalDark(7), std::nullopt);

    EXPECT_TRUE(chooseDark(true, false, false));
    EXPECT_FALSE(chooseDark(false, true, true));
    EXPECT_TRUE(chooseDark(std::nullopt, true, false));
    EXPECT_FALSE(chooseDark(std::nullopt, false, true));
    EXPECT_TRUE(chooseDark(std::nullopt, std::nullopt, true));
    EXPECT_FALSE(chooseDark(std::nullopt, std::nullopt, false));
}

}  // namespace
}  // namespace virirado
