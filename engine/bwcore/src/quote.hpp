#pragma once
// Text in the quoted debug form the engine uses in messages and in its cache key: double
// quotes, with quotes, backslashes and control characters escaped ("a\"b", "\n", "\u{1b}").
#include <string>
#include <string_view>
#include <vector>

namespace bwcore::quote {

std::string debug(std::string_view s);

// ["a", "b"]: each item in the debug form, comma and space between.
std::string debug_list(const std::vector<std::string>& items);

}  // namespace bwcore::quote
