#include "DesktopHabits.hpp"

#include <algorithm>
#include <vector>

namespace virirado {

namespace {

// A UTF-8 continuation byte: part of the character before it.
bool continues(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

std::size_t characters(std::string_view s) {
    return static_cast<std::size_t>(
        std::count_if(s.begin(), s.end(), [](char c) { return !continues(c); }));
}

// The byte offset after the first `count` characters of `s` (or its end).
std::size_t offsetAfter(std::string_view s, std::size_t count) {
    std::size_t i = 0;
    for (std::size_t seen = 0; i < s.size(); ++i) {
        if (!continues(s[i]) && seen++ == count) break;
    }
    return i;
}

// A word too long for one line, cut into pieces that fit, each ending after its
// last "/" when it holds one past its first character.
std::vector<std::string_view> cutWord(std::string_view word, std::size_t columns) {
    std::vector<std::string_view> pieces;
    while (characters(word) > columns) {
        std::size_t end = offsetAfter(word, columns);
        const std::size_t slash = word.substr(0, end).rfind('/');
        if (slash != std::string_view::npos && slash > 0) end = slash + 1;
        pieces.push_back(word.substr(0, end));
        word.remove_prefix(end);
    }
    if (!word.empty()) pieces.push_back(word);
    return pieces;
}

void wrapLine(std::string_view line, std::size_t columns, std::string& out) {
    std::size_t width = 0;
    bool lineStarted = false;
    auto newLine = [&] {
        out += '\n';
        width = 0;
        lineStarted = false;
    };
    std::size_t start = 0;
    while (start <= line.size()) {
        std::size_t end = line.find(' ', start);
        if (end == std::string_view::npos) end = line.size();
        const std::string_view word = line.substr(start, end - start);
        start = end + 1;
        const std::size_t w = characters(word);
        if (w > columns) {
            if (lineStarted) newLine();
            const std::vector<std::string_view> pieces = cutWord(word, columns);
            for (std::size_t i = 0; i < pieces.size(); ++i) {
                if (i > 0) newLine();
                out += pieces[i];
                width = characters(pieces[i]);
            }
            lineStarted = true;
            continue;
        }
        if (lineStarted && width + 1 + w > columns) newLine();
        if (lineStarted) {
            out += ' ';
            ++width;
        }
        out += word;
        width += w;
        lineStarted = true;
    }
}

}  // namespace

std::string wrapTip(std::string_view text, std::size_t columns) {
    columns = std::max<std::size_t>(columns, 1);
    std::string out;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find('\n', start);
        wrapLine(text.substr(start, end == std::string_view::npos ? end : end - start), columns,
                 out);
        if (end == std::string_view::npos) break;
        out += '\n';
        start = end + 1;
    }
    return out;
}

FirstWindow firstWindowSize(PixelSize available, PixelSize frame, PixelSize preferred,
                            PixelSize minimum) {
    if (available.width <= 0 || available.height <= 0) return {preferred, minimum};
    const PixelSize room{std::max(available.width - std::max(frame.width, 0), 1),
                         std::max(available.height - std::max(frame.height, 0), 1)};
    const PixelSize least{std::min(minimum.width, room.width),
                          std::min(minimum.height, room.height)};
    const PixelSize size{std::max(std::min(preferred.width, room.width), least.width),
                         std::max(std::min(preferred.height, room.height), least.height)};
    return {size, least};
}

std::optional<bool> pinnedDark(const char* value) {
    if (value == nullptr) return std::nullopt;
    const std::string_view v(value);
    if (v == "dark") return true;
    if (v == "light") return false;
    return std::nullopt;
}

std::optional<bool> portalDark(unsigned value) {
    if (value == 1) return true;
    if (value == 2) return false;
    return std::nullopt;
}

bool chooseDark(std::optional<bool> pinned, std::optional<bool> preferred, bool paletteDark) {
    if (pinned) return *pinned;
    if (preferred) return *preferred;
    return paletteDark;
}

}  // namespace virirado
