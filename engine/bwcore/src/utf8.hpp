#pragma once
// UTF-8 checks for names that come from the disk, the command line or a cache file.
#include <string>
#include <string_view>

namespace bwcore::utf8 {

// True when `s` is well-formed UTF-8 (no overlongs, no surrogates, nothing past U+10FFFF).
bool valid(std::string_view s);

// `s` with every ill-formed sequence replaced by U+FFFD, one per maximal bad subpart.
std::string lossy(std::string_view s);

}  // namespace bwcore::utf8
