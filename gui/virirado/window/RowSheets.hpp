// What the two single-row sheets say about their row: the check-first sheet's
// explanation and list, the quick-delete sheet's size and path.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Rows.hpp"

namespace virirado {

// The check-first sheet's explanation; in a dry run it names the row.
std::string checkFirstExplanation(bool dryRun, const std::string& name);

// One line of the check-first list: a title, an optional detail under it and a size.
struct CheckLine {
    std::string title;
    std::string detail;
    std::string size;

    bool operator==(const CheckLine&) const = default;
};

// The row's own line first (its path, else its reason as the detail, and its
// realistic bytes as they stand, even 0), then one line per member in order.
// Paths are shown with the home written "~".
std::vector<CheckLine> checkFirstLines(const VadeRow& row, const std::string& home);

// What the row gives back: its realistic bytes when there are any, else its size.
std::string quickDeleteSize(const VadeRow& row);
// The row's path with the home folder written "~"; none when it has no path.
std::optional<std::string> quickDeletePath(const VadeRow& row, const std::string& home);

inline constexpr const char* kQuickDeleteQuestion =
    "Are you sure you want to quick-delete this item? Clicking Continue opens the final "
    "confirmation step.";

}  // namespace virirado
