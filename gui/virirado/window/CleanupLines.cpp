#include "CleanupLines.hpp"

#include <algorithm>

namespace virirado {

namespace {

constexpr double kGap = 8;
constexpr double kLeastSpacer = 8;
constexpr double kChildPadLeft = 12;
constexpr double kChildPadRight = 10;
constexpr double kGroupPad = 10;
constexpr double kGuide = 22;
constexpr double kChevron = 14;
constexpr double kSymbol = 16;

// The clickable part and the tick control at the right edge; the figure at the
// right end of the clickable part.
void frame(double width, double padLeft, double padRight, Span& button, Span& tick, Span& figure) {
    tick = {width - padRight - kTickColumn, kTickColumn};
    button = {padLeft, std::max(0.0, tick.x - kGap - padLeft)};
    figure = {button.right() - kFigureColumn, kFigureColumn};
}

}  // namespace

bool groupIsOpen(const TreeGroup& group, bool forceOpen, const std::set<std::string>& expanded) {
    return forceOpen || expanded.contains(group.key);
}

std::vector<ListLine> listLines(const std::vector<TreeGroup>& groups, bool forceOpen,
                                const std::set<std::string>& expanded) {
    std::vector<ListLine> lines;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        lines.push_back({ListLine::Kind::group, g, nullptr, false});
        if (!groupIsOpen(groups[g], forceOpen, expanded)) continue;
        const RowRefs& rows = groups[g].rows;
        for (std::size_t r = 0; r < rows.size(); ++r)
            lines.push_back({ListLine::Kind::child, g, rows[r], r + 1 == rows.size()});
    }
    return lines;
}

std::string lineId(const ListLine& line, const std::vector<TreeGroup>& groups) {
    if (line.kind == ListLine::Kind::child) return line.row->id;
    return groups[line.group].id();
}

std::optional<std::size_t> lineIndex(const std::vector<ListLine>& lines,
                                     const std::vector<TreeGroup>& groups, const std::string& id) {
    const bool groupId = id.starts_with("group:");
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const ListLine& line = lines[i];
        if (line.kind == ListLine::Kind::child) {
            if (!groupId && line.row->id == id) return i;
        } else if (groupId && groups[line.group].id() == id) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> groupOf(const std::vector<TreeGroup>& groups, const std::string& id) {
    for (std::size_t g = 0; g < groups.size(); ++g) {
        if (groups[g].id() == id) return g;
        for (const VadeRow* row : groups[g].rows) {
            if (row->id == id) return g;
        }
    }
    return std::nullopt;
}

std::set<std::string> toggledOpen(std::set<std::string> expanded, const std::string& key) {
    if (expanded.erase(key) == 0) expanded.insert(key);
    return expanded;
}

std::string parentFolder(std::string_view path) {
    const bool absolute = path.starts_with('/');
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return {};
    std::string_view parent = path.substr(0, slash);
    while (parent.size() > 1 && parent.back() == '/')
        parent.remove_suffix(1);
    if (parent.empty() && absolute) return "/";
    return std::string(parent);
}

std::optional<std::string> groupMenuPath(const TreeGroup& group) {
    for (const VadeRow* row : group.rows) {
        if (row->path && !row->path->empty()) return parentFolder(*row->path);
    }
    return std::nullopt;
}

ListLayout::ListLayout(const std::vector<ListLine>& lines) {
    m_tops.reserve(lines.size() + 1);
    double y = 0;
    m_tops.push_back(y);
    for (const ListLine& line : lines) {
        y += line.kind == ListLine::Kind::group ? kGroupLineHeight : kChildLineHeight;
        m_tops.push_back(y);
    }
}

std::optional<std::size_t> ListLayout::lineAt(double y) const {
    if (size() == 0 || !(y >= 0) || y >= total()) return std::nullopt;
    const auto it = std::upper_bound(m_tops.begin(), m_tops.end(), y);
    return static_cast<std::size_t>(it - m_tops.begin()) - 1;
}

std::pair<std::size_t, std::size_t> ListLayout::visible(double y, double height) const {
    const std::size_t n = size();
    if (n == 0 || !(height > 0)) return {0, 0};
    // The first line whose bottom lies below y.
    const auto first = std::upper_bound(m_tops.begin() + 1, m_tops.end(), y);
    // One past the last line whose top lies above y + height.
    const auto end = std::lower_bound(m_tops.begin(), m_tops.end() - 1, y + height);
    const auto a = static_cast<std::size_t>(first - (m_tops.begin() + 1));
    const auto b = static_cast<std::size_t>(end - m_tops.begin());
    return {std::min(a, n), std::max(std::min(b, n), std::min(a, n))};
}

double ListLayout::offsetShowing(std::size_t i, double offset, double viewHeight) const {
    if (i >= size()) return offset;
    const double lineTop = top(i);
    const double lineBottom = m_tops[i + 1];
    // A line taller than the view shows its top.
    if (lineTop < offset || lineBottom - lineTop >= viewHeight) return lineTop;
    if (lineBottom > offset + viewHeight) return std::max(0.0, lineBottom - viewHeight);
    return offset;
}

ChildGeometry childGeometry(double width, double nameWidth, double badgeWidth) {
    ChildGeometry g;
    frame(width, kChildPadLeft, kChildPadRight, g.button, g.tick, g.figure);
    g.guide = {g.button.x, kGuide};
    const double nameX = g.guide.right() + kGap;
    // Between name and figure: gap, badge, gap, the least spacer, gap.
    const double room = g.figure.x - kGap - kLeastSpacer - kGap - badgeWidth - kGap - nameX;
    g.name = {nameX, std::clamp(nameWidth, 0.0, std::max(0.0, room))};
    g.badge = {g.name.right() + kGap, badgeWidth};
    return g;
}

GroupGeometry groupGeometry(double width, bool hasSymbol, double titleWidth, double countWidth) {
    GroupGeometry g;
    frame(width, kGroupPad, kGroupPad, g.button, g.tick, g.figure);
    g.chevron = {g.button.x, kChevron};
    g.symbol = {g.chevron.right() + kGap, hasSymbol ? kSymbol : 0};
    const double titleX = hasSymbol ? g.symbol.right() + kGap : g.symbol.x;
    const double room = g.figure.x - kGap - kLeastSpacer - kGap - countWidth - kGap - titleX;
    g.title = {titleX, std::clamp(titleWidth, 0.0, std::max(0.0, room))};
    g.count = {g.title.right() + kGap, countWidth};
    return g;
}

}  // namespace virirado
