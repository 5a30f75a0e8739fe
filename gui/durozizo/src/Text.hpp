// The app core's only door to Unicode: lower-casing, white space, canonical
// equivalence, grapheme clusters and locale-aware ordering, all through ICU,
// plus a number reader that ignores the C locale. Input that is not valid
// UTF-8 is read with each bad sequence as U+FFFD; nothing here throws.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace durozizo::text {

// The full Unicode default lower-case mapping; the user's locale plays no part.
std::string lower(std::string_view s);

// Canonical composition (NFC): canonically equivalent texts become equal bytes.
std::string nfc(std::string_view s);

// lower() followed by nfc(): the form the search compares in.
std::string searchForm(std::string_view s);

// Whether searchForm(s) == s is sure without work: ASCII with no capital.
bool isSearchForm(std::string_view s);

// Whether `fragment` occurs in `text`, both already in one normal form.
// An empty fragment occurs nowhere.
bool occursIn(std::string_view fragment, std::string_view text);

// The White_Space property (line breaks included).
bool isWhiteSpace(char32_t c);
// Horizontal white space: the space separators and TAB.
bool isHorizontalSpace(char32_t c);

// The first code point of `s` (U+FFFD for a bad sequence, 0 when empty).
char32_t firstScalar(std::string_view s);

// `s` without leading and trailing horizontal white space.
std::string_view trimHorizontal(std::string_view s);

// The extended grapheme clusters of `s`, as views into `s`.
std::vector<std::string_view> graphemes(std::string_view s);

// The number of extended grapheme clusters in `s`.
std::size_t graphemeCount(std::string_view s);

// The last `n` grapheme clusters of `s` (all of `s` when it has fewer).
std::string_view lastGraphemes(std::string_view s, std::size_t n);

// Compares by the current locale's collation, ignoring case:
// negative, 0 or positive like strcmp.
int localizedCaseInsensitiveCompare(std::string_view a, std::string_view b);

// A byte string whose plain byte order (std::string comparison) is the order of
// localizedCaseInsensitiveCompare: worth it when one text takes part in many
// comparisons, as in sorting a long run of equal sizes by name. None when the
// collator could not make one; compare the texts themselves then.
std::optional<std::string> localizedCaseInsensitiveKey(std::string_view s);

// Reads the whole text as a decimal floating-point number, independent of the
// C locale: an optional sign ("+" too), digits with an optional fraction point,
// an optional exponent, "inf"/"infinity"/"nan" and hexadecimal "0x" forms.
// Anything else, leading or trailing space included, gives no value.
std::optional<double> parseDouble(std::string_view s);

}  // namespace durozizo::text
