#include "Protocol.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "Text.hpp"

namespace virirado {

namespace protocol {

namespace {

// The length of the well-formed sequence at `i`, 0 when it is malformed, or -1
// when it is well-formed so far but cut off by the end of `s`.
int sequenceLength(std::string_view s, std::size_t i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) return 1;
    int n = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        n = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        n = 3;
        if (b0 == 0xE0) lo = 0xA0;  // overlong
        if (b0 == 0xED) hi = 0x9F;  // surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        n = 4;
        if (b0 == 0xF0) lo = 0x90;  // overlong
        if (b0 == 0xF4) hi = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }
    for (int k = 1; k < n; ++k) {
        if (i + k >= s.size()) return -1;
        const auto b = static_cast<unsigned char>(s[i + k]);
        if (k == 1 ? (b < lo || b > hi) : (b < 0x80 || b > 0xBF)) return 0;
    }
    return n;
}

char32_t decodeAt(std::string_view s, std::size_t i, int n) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (n == 1) return b0;
    char32_t c = b0 & (0x7F >> n);
    for (int k = 1; k < n; ++k)
        c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    return c;
}

}  // namespace

bool validUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const int n = sequenceLength(bytes, i);
        if (n <= 0) return false;
        i += static_cast<std::size_t>(n);
    }
    return true;
}

std::size_t completePrefix(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const int n = sequenceLength(bytes, i);
        if (n < 0) return i;
        // A malformed byte is left in place: the whole chunk is then rejected.
        i += n == 0 ? 1 : static_cast<std::size_t>(n);
    }
    return i;
}

std::string_view trimmed(std::string_view text) {
    // An event line begins and ends with a brace: a character below 0x80 is never
    // part of a longer sequence, so such a line is its own trimmed form, without
    // decoding it all.
    const auto plain = [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x80 && !durozizo::text::isWhiteSpace(b);
    };
    if (!text.empty() && plain(text.front()) && plain(text.back())) return text;
    // Find the first and the end of the last character that is not white space.
    std::size_t first = text.size(), end = 0;
    for (std::size_t i = 0; i < text.size();) {
        const int n = std::max(sequenceLength(text, i), 1);
        const char32_t c = n == 1 ? static_cast<unsigned char>(text[i]) : decodeAt(text, i, n);
        if (!durozizo::text::isWhiteSpace(c)) {
            if (first == text.size()) first = i;
            end = i + static_cast<std::size_t>(n);
        }
        i += static_cast<std::size_t>(n);
    }
    if (first == text.size()) return {};
    return text.substr(first, end - first);
}

namespace {

// The code unit of the escape "\uXXXX" at `i` (the backslash), or -1.
int escapedUnit(std::string_view s, std::size_t i) {
    if (i + 6 > s.size() || s[i] != '\\' || s[i + 1] != 'u') return -1;
    unsigned unit = 0;
    const char* last = s.data() + i + 6;
    const auto [end, error] = std::from_chars(s.data() + i + 2, last, unit, 16);
    return error == std::errc() && end == last ? static_cast<int>(unit) : -1;
}

bool highSurrogate(int unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool lowSurrogate(int unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

std::optional<std::string> withoutLoneSurrogates(std::string_view text) {
    std::optional<std::string> out;
    std::size_t copied = 0;
    // Backslashes stand only inside strings, each starting an escape of its
    // own, so "\\udcff" (an escaped backslash, then letters) is no escape.
    for (std::size_t i = text.find('\\'); i != std::string_view::npos; i = text.find('\\', i)) {
        const int unit = escapedUnit(text, i);
        if (unit < 0) {
            i += 2;
            continue;
        }
        if (highSurrogate(unit) && lowSurrogate(escapedUnit(text, i + 6))) {
            i += 12;
            continue;
        }
        if (!highSurrogate(unit) && !lowSurrogate(unit)) {
            i += 6;
            continue;
        }
        if (!out) out.emplace();
        out->append(text.substr(copied, i - copied)).append("\\ufffd");
        i += 6;
        copied = i;
    }
    if (out) out->append(text.substr(copied));
    return out;
}

Json parseLine(std::string_view line) {
    Json parsed = Json::parse(line, nullptr, false);
    if (!parsed.is_discarded()) return parsed;
    // Only a line the parser refused is searched, so a long result costs one
    // pass when it is sound.
    if (auto mended = withoutLoneSurrogates(line)) return Json::parse(*mended, nullptr, false);
    return parsed;
}

double clampPercent(double pct) {
    if (std::isnan(pct)) return 0;
    return std::clamp(pct, 0.0, 100.0);
}

bool isArrayOfObjects(const Json* value) {
    if (value == nullptr || !value->is_array()) return false;
    for (const Json& entry : *value) {
        if (!entry.is_object()) return false;
    }
    return true;
}

bool isArrayOfStrings(const Json* value) {
    if (value == nullptr || !value->is_array()) return false;
    for (const Json& entry : *value) {
        if (!entry.is_string()) return false;
    }
    return true;
}

std::vector<std::string> strings(const Json& array) {
    std::vector<std::string> out;
    for (const Json& entry : array)
        out.push_back(entry.get<std::string>());
    return out;
}

}  // namespace protocol

}  // namespace virirado
