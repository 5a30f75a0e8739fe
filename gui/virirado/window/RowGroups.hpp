// The groups the result screen sorts its rows into, their titles, and the short
// names rows are shown by in the list, the map and the details pane.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Rows.hpp"

namespace virirado {

// The rows a view shows. They point into the window's current rows, which stay
// alive for as long as any view of them is held (see WindowView).
using RowRefs = std::vector<const VadeRow*>;

// The bytes a row really gives back: its realistic size when that is 1 or more,
// else its listed size.
inline int64_t getsBack(const VadeRow& row) {
    return row.realistic >= 1 ? row.realistic : row.size;
}

struct TreeGroup {
    enum class State { none, partial, all };

    std::string key;
    std::string title;
    RowRefs rows;
    std::string symbol;

    // "group:" and the key: the selection id of the whole group.
    std::string id() const { return "group:" + key; }
    int64_t tickedCount() const;
    RowRefs tickable() const;
    int64_t back() const;
    int64_t tickedBack() const;
    // Over the tickable rows only: a ticked row that cannot be ticked now never
    // makes a group look partly ticked.
    State state() const;

    // Rows compare by value, not by where they are kept.
    bool operator==(const TreeGroup& other) const;
};

// "type:<file type>" for the kinds listed by file type, else the category.
std::string groupKey(const VadeRow& row);
std::string groupTitle(const std::string& key);
// The symbol name of a file-type group; empty for every other key.
std::string groupSymbol(const std::string& key);
std::string kindTitle(const VadeRow& row);
std::string shortName(const VadeRow& row);

// The rows grouped by key, rows biggest first inside each group, groups biggest
// first. Groups equal in both figures follow their keys, so the order never
// changes from one run to the next.
std::vector<TreeGroup> vadeGroups(const RowRefs& rows);
RowRefs refsOf(const std::vector<VadeRow>& rows);

}  // namespace virirado
