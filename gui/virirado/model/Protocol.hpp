// Byte-level helpers of the engine connection: strict UTF-8, the trimming the
// protocol applies to each line, and the shapes of JSON the events may carry.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Json.hpp"

namespace virirado::protocol {

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool validUtf8(std::string_view bytes);

// The length of the longest prefix of `bytes` that ends on a character boundary,
// treating an incomplete (but so far well-formed) last sequence as not yet
// arrived. The rest is kept for the next read.
std::size_t completePrefix(std::string_view bytes);

// `text` (valid UTF-8) without white space and line ends at either end.
std::string_view trimmed(std::string_view text);

// One event line as JSON; discarded when it is not JSON. A lone surrogate escape
// ("\udcff" with no partner), as engines that escape bytes they could not
// decode write them, is read as U+FFFD: the parser would refuse the whole line,
// a scan's whole result, over one odd name.
Json parseLine(std::string_view line);

// The JSON text with every lone surrogate escape replaced by "\ufffd"; none
// when it holds no such escape.
std::optional<std::string> withoutLoneSurrogates(std::string_view text);

// Percent values shown in the scan bar: 0 to 100, never NaN.
double clampPercent(double pct);

// True when `value` is an array whose every entry is an object (or is empty).
bool isArrayOfObjects(const Json* value);
// True when `value` is an array whose every entry is a string (or is empty).
bool isArrayOfStrings(const Json* value);
std::vector<std::string> strings(const Json& array);

}  // namespace virirado::protocol
