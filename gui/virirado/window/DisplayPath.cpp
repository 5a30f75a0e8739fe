#include "DisplayPath.hpp"

#include <unicode/utf8.h>

#include "Json.hpp"
#include "Model.hpp"
#include "Text.hpp"

namespace virirado {

namespace {

std::string_view withoutTrailingSlashes(std::string_view home) {
    while (home.size() > 1 && home.back() == '/')
        home.remove_suffix(1);
    return home;
}

}  // namespace

std::string displayPath(std::string_view path, std::string_view home) {
    home = withoutTrailingSlashes(home);
    if (home.empty() || home == "/") return displaySafe(path);
    if (path == home) return "~";
    if (path.size() > home.size() && path.starts_with(home) && path[home.size()] == '/') {
        return "~" + displaySafe(path.substr(home.size()));
    }
    return displaySafe(path);
}

std::string_view trimWhiteSpace(std::string_view text) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    int32_t begin = 0;
    while (begin < length) {
        int32_t next = begin;
        UChar32 c = 0;
        U8_NEXT(bytes, next, length, c);
        if (c < 0 || !durozizo::text::isWhiteSpace(static_cast<char32_t>(c))) break;
        begin = next;
    }
    int32_t end = length;
    while (end > begin) {
        int32_t previous = end;
        UChar32 c = 0;
        U8_PREV(bytes, 0, previous, c);
        if (c < 0 || !durozizo::text::isWhiteSpace(static_cast<char32_t>(c))) break;
        end = previous;
    }
    return text.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin));
}

std::optional<std::string> cleanPath(const std::optional<std::string>& path,
                                     const std::string& home) {
    if (!path) return std::nullopt;
    const std::string_view trimmed = trimWhiteSpace(*path);
    if (trimmed.empty()) return std::nullopt;
    return expandTilde(std::string(trimmed), home);
}

}  // namespace virirado
