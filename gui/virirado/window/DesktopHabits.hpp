// How the window keeps the habits of the desktop it runs on: tips wrapped to a
// readable width, the first window sized to the screen, and the light or dark
// scheme the desktop asks for. Plain values only; the Qt side reads the screen
// and the desktop and applies the answers.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace virirado {

// Characters on one line of a tip: long enough for the search field's filter
// example, short enough to be read at a glance.
inline constexpr std::size_t kTipColumns = 64;

// `text` broken into lines of at most `columns` characters (code points), at
// spaces where it can and inside a word only when the word alone is too long
// (after a "/" when there is one, so a path breaks between its folders). Line
// breaks already in the text stay; the spaces a line is broken at are dropped.
std::string wrapTip(std::string_view text, std::size_t columns = kTipColumns);

struct PixelSize {
    int width = 0;
    int height = 0;
    bool operator==(const PixelSize&) const = default;
};

struct FirstWindow {
    // The content's size when the window opens.
    PixelSize size;
    // The least the content may be made.
    PixelSize minimum;
    bool operator==(const FirstWindow&) const = default;
};

// The room the window's frame (title bar and borders) is given when the desktop
// has not told it yet: about the tallest title bar of the common desktops.
inline constexpr PixelSize kFrameAllowance{16, 48};

// The first window's content size on a screen whose free area (without panels)
// is `available`, with `frame` around the content: `preferred` where it fits,
// else as much as fits, never below `minimum` unless the free area itself is
// smaller, in which case the minimum gives way too so the whole window shows.
// An unknown free area (0 or less) keeps both sizes.
FirstWindow firstWindowSize(PixelSize available, PixelSize frame, PixelSize preferred,
                            PixelSize minimum);

// The scheme pinned by VIRIRADO_APPEARANCE ("dark" or "light"); none for any
// other value or when unset, and the desktop decides.
std::optional<bool> pinnedDark(const char* value);

// The desktop portal's "color-scheme": 1 prefers dark, 2 prefers light, 0 (and
// anything else) states no preference.
std::optional<bool> portalDark(unsigned value);

// The scheme to show: the pinned one, else the desktop's stated preference,
// else what the desktop's palette looks like.
bool chooseDark(std::optional<bool> pinned, std::optional<bool> preferred, bool paletteDark);

}  // namespace virirado
