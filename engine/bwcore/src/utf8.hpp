#pragma once
// UTF-8 checks for names that come from the disk, the command line or a cache file.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace bwcore::utf8 {

namespace detail {

// Names are nearly always plain ASCII; eight bytes at a time settle those without the
// sequence-by-sequence check. Inline: the walk asks for every name it lists.
inline bool plain_ascii(std::string_view s) {
    const std::size_t n = s.size();
    uint64_t high = 0;
    if (n >= 8) {
        // Whole words, the last one overlapping the one before where the length is no multiple
        // of eight: no byte-by-byte tail.
        for (std::size_t i = 0; i + 8 < n; i += 8) {
            uint64_t w;
            std::memcpy(&w, s.data() + i, sizeof w);
            high |= w;
        }
        uint64_t last;
        std::memcpy(&last, s.data() + n - 8, sizeof last);
        high |= last;
    } else {
        for (std::size_t i = 0; i < n; ++i)
            high |= static_cast<unsigned char>(s[i]);
    }
    return (high & 0x8080808080808080ULL) == 0;
}

// The full check, sequence by sequence.
bool valid_sequences(std::string_view s);

}  // namespace detail

// True when `s` is well-formed UTF-8 (no overlongs, no surrogates, nothing past U+10FFFF).
inline bool valid(std::string_view s) {
    return detail::plain_ascii(s) || detail::valid_sequences(s);
}

// `s` with every ill-formed sequence replaced by U+FFFD, one per maximal bad subpart.
std::string lossy(std::string_view s);

}  // namespace bwcore::utf8
