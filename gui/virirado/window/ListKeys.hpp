// What the cleanup list's five keys ask for. The list turns the answer into
// the window's actions; the keys themselves never change data.
#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "CleanupLines.hpp"

namespace virirado {

enum class ListKey { up, down, left, right, space };

struct ListIntent {
    enum class Kind {
        none,
        select,     // select `id`
        tickRow,    // tick or untick `row`
        tickGroup,  // tick or untick group `group` as a unit
        open,       // open group `group`
        fold,       // fold group `group`
    };

    Kind kind = Kind::none;
    std::string id;
    const VadeRow* row = nullptr;
    std::size_t group = 0;

    bool operator==(const ListIntent&) const = default;
};

// The list as the keys see it: its groups, the lines they make now, and the
// inputs the lines were made from.
struct ListKeyState {
    const std::vector<TreeGroup>& groups;
    const std::vector<ListLine>& lines;
    const std::optional<std::string>& selection;
    bool forceOpen = false;
    const std::set<std::string>& expanded;
};

ListIntent listKeyIntent(ListKey key, const ListKeyState& state);

}  // namespace virirado
