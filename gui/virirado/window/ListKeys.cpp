#include "ListKeys.hpp"

#include <algorithm>

namespace virirado {

namespace {

using Kind = ListIntent::Kind;

ListIntent selectIntent(std::string id) {
    return {Kind::select, std::move(id), nullptr, 0};
}

ListIntent move(const ListKeyState& s, int step) {
    if (s.lines.empty()) return {};
    std::optional<std::size_t> at;
    if (s.selection) at = lineIndex(s.lines, s.groups, *s.selection);
    if (!at) return selectIntent(lineId(s.lines.front(), s.groups));
    const auto last = static_cast<long long>(s.lines.size()) - 1;
    const long long to = std::clamp(static_cast<long long>(*at) + step, 0LL, last);
    return selectIntent(lineId(s.lines[static_cast<std::size_t>(to)], s.groups));
}

// The selection's group, and whether the selection is that group's own line.
struct Resolved {
    std::size_t group = 0;
    bool onGroupLine = false;
};

std::optional<Resolved> resolve(const ListKeyState& s) {
    if (!s.selection) return std::nullopt;
    const std::optional<std::size_t> g = groupOf(s.groups, *s.selection);
    if (!g) return std::nullopt;
    return Resolved{*g, *s.selection == s.groups[*g].id()};
}

ListIntent collapseOrParent(const ListKeyState& s) {
    const auto r = resolve(s);
    if (!r) return {};
    const TreeGroup& group = s.groups[r->group];
    if (!r->onGroupLine) return selectIntent(group.id());
    if (s.forceOpen || !s.expanded.contains(group.key)) return {};
    return {Kind::fold, {}, nullptr, r->group};
}

ListIntent expandSelected(const ListKeyState& s) {
    const auto r = resolve(s);
    if (!r || !r->onGroupLine) return {};
    const TreeGroup& group = s.groups[r->group];
    if (!s.forceOpen && !s.expanded.contains(group.key)) return {Kind::open, {}, nullptr, r->group};
    if (group.rows.empty()) return {};
    return selectIntent(group.rows.front()->id);
}

ListIntent tickSelected(const ListKeyState& s) {
    const auto r = resolve(s);
    if (!r) return {};
    const TreeGroup& group = s.groups[r->group];
    if (r->onGroupLine) return {Kind::tickGroup, {}, nullptr, r->group};
    for (const VadeRow* row : group.rows) {
        if (row->id == *s.selection) return {Kind::tickRow, {}, row, r->group};
    }
    return {};
}

}  // namespace

ListIntent listKeyIntent(ListKey key, const ListKeyState& state) {
    switch (key) {
        case ListKey::up:
            return move(state, -1);
        case ListKey::down:
            return move(state, +1);
        case ListKey::left:
            return collapseOrParent(state);
        case ListKey::right:
            return expandSelected(state);
        case ListKey::space:
            return tickSelected(state);
    }
    return {};
}

}  // namespace virirado
