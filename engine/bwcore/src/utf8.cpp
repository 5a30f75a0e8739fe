#include "utf8.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace bwcore::utf8 {
namespace {

// Length of the well-formed sequence at s[i], or 0 with `bad` set to the bytes to replace.
std::size_t sequence(std::string_view s, std::size_t i, std::size_t& bad) {
    auto b = [&](std::size_t k) { return static_cast<uint8_t>(s[k]); };
    uint8_t c = b(i);
    bad = 1;
    if (c < 0x80) return 1;
    std::size_t need;
    uint8_t lo = 0x80, hi = 0xbf;
    if (c >= 0xc2 && c <= 0xdf) {
        need = 1;
    } else if (c >= 0xe0 && c <= 0xef) {
        need = 2;
        if (c == 0xe0) lo = 0xa0;
        if (c == 0xed) hi = 0x9f;
    } else if (c >= 0xf0 && c <= 0xf4) {
        need = 3;
        if (c == 0xf0) lo = 0x90;
        if (c == 0xf4) hi = 0x8f;
    } else {
        return 0;
    }
    for (std::size_t k = 1; k <= need; ++k) {
        if (i + k >= s.size()) return 0;
        uint8_t x = b(i + k);
        uint8_t l = k == 1 ? lo : 0x80, h = k == 1 ? hi : 0xbf;
        if (x < l || x > h) return 0;
        bad = k + 1;
    }
    return need + 1;
}

// Names are nearly always plain ASCII; eight bytes at a time settle those without the
// sequence-by-sequence check.
bool plain_ascii(std::string_view s) {
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

}  // namespace

bool valid(std::string_view s) {
    if (plain_ascii(s)) return true;
    std::size_t bad = 0;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t n = sequence(s, i, bad);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string lossy(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    std::size_t bad = 0;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t n = sequence(s, i, bad);
        if (n) {
            out.append(s.substr(i, n));
            i += n;
        } else {
            out.append("\xEF\xBF\xBD");
            i += bad;
        }
    }
    return out;
}

}  // namespace bwcore::utf8
