// The cleanup list as lines: one line per group, then its rows while the group
// is open; where each line sits, and where each part of a line sits, so the
// list paints and hit-tests from the same numbers.
#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "RowGroups.hpp"

namespace virirado {

inline constexpr double kGroupLineHeight = 40;
inline constexpr double kChildLineHeight = 34;
// The tick column and the gets-back column, shared with the caption row.
inline constexpr double kTickColumn = 26;
inline constexpr double kFigureColumn = 86;

struct ListLine {
    enum class Kind { group, child };

    Kind kind = Kind::group;
    // The line's group: an index into the groups the lines were made from.
    std::size_t group = 0;
    // The row of a child line; none on a group line.
    const VadeRow* row = nullptr;
    // A child line that is the last row of its group.
    bool last = false;

    bool operator==(const ListLine&) const = default;
};

// Open when the query forces every group open, or the user opened it.
bool groupIsOpen(const TreeGroup& group, bool forceOpen, const std::set<std::string>& expanded);

std::vector<ListLine> listLines(const std::vector<TreeGroup>& groups, bool forceOpen,
                                const std::set<std::string>& expanded);

// "group:<key>" for a group line, the row id for a child line.
std::string lineId(const ListLine& line, const std::vector<TreeGroup>& groups);

// The position of the line with this id, none when no line has it.
std::optional<std::size_t> lineIndex(const std::vector<ListLine>& lines,
                                     const std::vector<TreeGroup>& groups, const std::string& id);

// The first group whose id is `id` or that holds a row with that id, whether
// or not the group is open.
std::optional<std::size_t> groupOf(const std::vector<TreeGroup>& groups, const std::string& id);

// `expanded` with `key` removed when present, else added.
std::set<std::string> toggledOpen(std::set<std::string> expanded, const std::string& key);

// The path without its last component: "/a/b/" and "/a/b" give "/a", "/a"
// gives "/", a bare name gives "".
std::string parentFolder(std::string_view path);

// What a group line's menu acts on: the folder holding the group's first row
// that has a path; none when no row has one.
std::optional<std::string> groupMenuPath(const TreeGroup& group);

// Where the lines sit one under the other.
class ListLayout {
public:
    ListLayout() = default;
    explicit ListLayout(const std::vector<ListLine>& lines);

    std::size_t size() const { return m_tops.empty() ? 0 : m_tops.size() - 1; }
    double top(std::size_t i) const { return m_tops[i]; }
    double height(std::size_t i) const { return m_tops[i + 1] - m_tops[i]; }
    double total() const { return m_tops.empty() ? 0 : m_tops.back(); }

    // The line under y, none above the first or below the last.
    std::optional<std::size_t> lineAt(double y) const;
    // The first line that reaches below y, and one past the last that begins
    // above y + height: the lines a view of that height at offset y shows.
    std::pair<std::size_t, std::size_t> visible(double y, double height) const;
    // The scroll offset that shows line i whole with the least movement: the
    // offset itself when it already does.
    double offsetShowing(std::size_t i, double offset, double viewHeight) const;

private:
    std::vector<double> m_tops;
};

// A stretch of a line, from x, w wide.
struct Span {
    double x = 0;
    double w = 0;

    double right() const { return x + w; }
    bool contains(double px) const { return px >= x && px < x + w; }
};

// A child line, left to right: tree guide, short name, badge, gets-back figure
// inside the clickable part, then the tick control.
struct ChildGeometry {
    Span button, guide, name, badge, figure, tick;
};

// A group line: chevron, file-type symbol (zero wide when none), title, row
// count capsule and figure inside the clickable part, then the group tick.
struct GroupGeometry {
    Span button, chevron, symbol, title, count, figure, tick;
};

// The name gets what it asks for as long as the badge, the least spacer and the
// figure still fit; then it is the part that gives way.
ChildGeometry childGeometry(double width, double nameWidth, double badgeWidth);
GroupGeometry groupGeometry(double width, bool hasSymbol, double titleWidth, double countWidth);

}  // namespace virirado
