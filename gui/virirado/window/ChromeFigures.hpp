// The texts and figures of the window's top and bottom rows: the volume line,
// the hero and its two stats, the search bar's count, the scope buttons' ticked
// gigabytes and the summary bar's ticked line. Every figure that has no volume
// behind it yet reads "—", never 0.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "RowGroups.hpp"
#include "Scope.hpp"
#include "Search.hpp"

namespace virirado {

// "—", what a figure shows before the engine has reported the volume.
inline constexpr const char* kNoFigure = "\u2014";

// "<volume> · <rows> things" once a volume is known (any total but 0), else
// "Scanning…" during a scan and "Read-only" otherwise.
std::string volumeLine(int64_t totalBytes, const std::string& volumeName, bool scanning,
                       std::size_t rowCount);

// A stat's value: `bytes` as a size, or "—" while no volume is known (a total
// below 1), whatever the free space says.
std::string statValue(int64_t totalBytes, int64_t bytes);

// Free space after the clean: free plus what the ticked rows give back, pinned to
// the 64-bit range instead of wrapping.
int64_t bytesAfter(int64_t freeBytes, int64_t tickedBack);

// One of the hero's stats: its title as said ("Free now"; painted in capitals)
// and its value.
struct HeroStat {
    std::string title;
    std::string value;

    bool operator==(const HeroStat&) const = default;
};

// "Free now" with the free space and "After" with the free space plus what the
// ticked rows give back, both "—" while no volume is known.
std::array<HeroStat, 2> heroStats(int64_t totalBytes, int64_t freeBytes, int64_t tickedBack);

// A stat as one element for assistive tools, title and value read together and
// joined as the legend's figures are: "Free now, 240.4 GB".
std::string statSpoken(const HeroStat& stat);

// The search bar's count: "<rows> · <size they give back>".
std::string searchCountText(const RowRefs& rows);

// The scopes that get a button, in bar order: every scope but the network one.
std::vector<durozizo::VadeScope> scopeBarScopes();

// Bytes the ticked items of one scope give back (realistic size when 1 or
// more, else the size), over every item whatever the query.
int64_t scopeTickedBytes(const std::vector<durozizo::SearchItem>& items, durozizo::VadeScope scope);

// A scope button's figure: "0" for nothing, else decimal gigabytes with one
// decimal and no unit ("1.3", and "0.0" for 40 MB).
std::string scopeFigure(int64_t bytes);

// The summary bar's first run: "<n> ticked".
std::string tickedText(int64_t tickedCount);
// Its second run: " · <n> to Trash", empty with nothing going to the Trash.
std::string safetyLine(int64_t trashCount);

// "Start scan" before the first scan, "Scan again" after.
std::string scanButtonTitle(bool hasScanned);

}  // namespace virirado
