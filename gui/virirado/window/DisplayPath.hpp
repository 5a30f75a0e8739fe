// Paths as the window shows them and as its file actions use them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace virirado {

// The path with the home folder written "~": only when the path is the home
// itself or goes on with "/" after it, so "/home/alice" never reads "~ice" for
// the home "/home/al". Control and text-direction characters are shown as
// U+FFFD (displaySafe), so a name can neither hide a part nor read reversed.
std::string displayPath(std::string_view path, std::string_view home);

// The path the row actions act on: white space and line breaks trimmed from
// both ends, none when nothing is left, a leading "~" put back to the home.
std::optional<std::string> cleanPath(const std::optional<std::string>& path,
                                     const std::string& home);

// `text` without Unicode white space (line breaks included) at either end.
std::string_view trimWhiteSpace(std::string_view text);

}  // namespace virirado
