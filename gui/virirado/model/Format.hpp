// The small text formatters the whole app uses for sizes, counts and time left.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace virirado {

// Decimal units ("999 B", "1.0 KB", "150 KB", "2.5 GB"), always with a full stop as
// decimal mark whatever the locale.
std::string finderSize(int64_t bytes);

// The count in the user's locale's decimal style, grouping included; plain digits
// when that cannot be formatted.
std::string formatCount(int64_t n);

// The scan's time left: "estimating", "almost done", "about 12s left",
// "about 3 min left". An estimate that is no number, infinite or beyond a billion
// seconds either way reads as "estimating".
std::string vadeEta(std::optional<double> seconds);

}  // namespace virirado
