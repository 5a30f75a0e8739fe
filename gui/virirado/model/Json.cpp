#include "Json.hpp"

#include <unicode/utf8.h>

#include <algorithm>
#include <climits>

#include <cmath>

#include "Numeric.hpp"

namespace virirado {

const Json* jsonField(const Json& object, const char* key) {
    if (!object.is_object()) return nullptr;
    auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

std::optional<std::string> jsonString(const Json* value) {
    if (value == nullptr || !value->is_string()) return std::nullopt;
    return value->get_ref<const std::string&>();
}

int64_t jsonInt(const Json* value) {
    if (value == nullptr) return 0;
    switch (value->type()) {
        case Json::value_t::number_integer:
            return value->get<int64_t>();
        case Json::value_t::number_unsigned:
            return durozizo::clampToInt64(value->get<uint64_t>());
        case Json::value_t::number_float:
            return durozizo::clampToInt64(value->get<double>());
        case Json::value_t::boolean:
            return value->get<bool>() ? 1 : 0;
        default:
            return 0;
    }
}

std::optional<double> jsonDouble(const Json* value) {
    if (value == nullptr) return std::nullopt;
    if (value->is_number()) return value->get<double>();
    if (value->is_boolean()) return value->get<bool>() ? 1.0 : 0.0;
    return std::nullopt;
}

bool jsonBool(const Json* value, bool fallback) {
    if (value == nullptr) return fallback;
    if (value->is_boolean()) return value->get<bool>();
    if (!value->is_number()) return fallback;
    if (value->is_number_float()) {
        const double d = value->get<double>();
        if (d == 1.0) return true;
        if (d == 0.0) return false;
        return fallback;
    }
    const int64_t n = jsonInt(value);
    if (n == 1) return true;
    if (n == 0) return false;
    return fallback;
}

std::optional<TimePoint> jsonDate(const Json* value) {
    auto seconds = jsonDouble(value);
    if (!seconds || !std::isfinite(*seconds)) return std::nullopt;
    return *seconds;
}

namespace {

bool hidden(UChar32 c) {
    if (c == '\t' || c == '\n' || c == '\r') return false;
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return true;
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

}  // namespace

std::string displaySafe(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(std::min<std::size_t>(text.size(), INT32_MAX));
    for (int32_t i = 0; i < length;) {
        const int32_t start = i;
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        if (c < 0 || hidden(c)) {
            out += "\uFFFD";
        } else {
            out.append(
                text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(i - start)));
        }
    }
    return out;
}

std::optional<std::string> jsonText(const Json* value) {
    auto text = jsonString(value);
    if (!text) return std::nullopt;
    return displaySafe(*text);
}

}  // namespace virirado
