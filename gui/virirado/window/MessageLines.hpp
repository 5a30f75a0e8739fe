// A message in a few lines: the engine's standard-error tail arrives with line
// breaks, and what explains a failure comes last ("warning: …" lines first, the
// fatal line at the end). Laid out with the line breaks honoured and, when not
// everything fits, the last lines kept.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace virirado {

// The message's lines, split at CR LF, LF and CR, with white space trimmed from
// their ends; lines with nothing left are dropped.
std::vector<std::string> messageLines(std::string_view text);

// Breaks one line (no line breaks in it) into the lines it takes at the width
// the caller measures for; at least one line.
using WrapLine = std::function<std::vector<std::string>(const std::string&)>;
// Cuts one line to the width with a trailing "…" where it is too long.
using CutLine = std::function<std::string(const std::string&)>;

// The message in at most `maxLines` lines. When it does not fit, its first lines
// give way, one whole line at a time, and the first line shown starts with "…";
// when even the last line alone takes more room, that line is shown from its
// start and its last shown line is cut with "…". Empty for an empty message.
std::vector<std::string> fitMessage(std::string_view text, std::size_t maxLines,
                                    const WrapLine& wrap, const CutLine& cut);

}  // namespace virirado
