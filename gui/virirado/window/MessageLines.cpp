#include "MessageLines.hpp"

#include "DisplayPath.hpp"

namespace virirado {

namespace {

constexpr const char* kEllipsis = "\u2026";

std::vector<std::string> wrapAll(const std::vector<std::string>& lines, std::size_t first,
                                 const WrapLine& wrap) {
    std::vector<std::string> out;
    for (std::size_t i = first; i < lines.size(); ++i) {
        const std::string line = i == first && first > 0 ? kEllipsis + lines[i] : lines[i];
        for (std::string& part : wrap(line))
            out.push_back(std::move(part));
    }
    return out;
}

}  // namespace

std::vector<std::string> messageLines(std::string_view text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = trimWhiteSpace(text.substr(start, end - start));
        if (!line.empty()) out.emplace_back(line);
        if (end == text.size()) break;
        // CR LF is one break.
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    return out;
}

std::vector<std::string> fitMessage(std::string_view text, std::size_t maxLines,
                                    const WrapLine& wrap, const CutLine& cut) {
    const std::vector<std::string> lines = messageLines(text);
    if (lines.empty() || maxLines == 0) return {};
    for (std::size_t first = 0; first < lines.size(); ++first) {
        std::vector<std::string> shown = wrapAll(lines, first, wrap);
        if (shown.size() <= maxLines) return shown;
    }
    // The last line alone is too long: its start, the rest cut.
    std::vector<std::string> last = wrapAll(lines, lines.size() - 1, wrap);
    std::string rest;
    for (std::size_t i = maxLines - 1; i < last.size(); ++i) {
        if (!rest.empty()) rest += ' ';
        rest += last[i];
    }
    last.resize(maxLines - 1);
    last.push_back(cut(rest + kEllipsis));
    return last;
}

}  // namespace virirado
