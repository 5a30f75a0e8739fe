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

}  // namespace

namespace detail {

bool valid_sequences(std::string_view s) {
    std::size_t bad = 0;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t n = sequence(s, i, bad);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

}  // namespace detail

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
