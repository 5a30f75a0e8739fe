// The result screen's view of the display tree: one row per cleanup item, the
// pieces of the Dazu bar, and the list's column order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Search.hpp"
#include "Tree.hpp"

namespace virirado {

struct VadeMember {
    std::string id;
    std::string name;
    int64_t size = 0;
    std::optional<std::string> path;

    bool operator==(const VadeMember&) const = default;
};

struct VadeRow {
    std::string id;
    std::string name;
    int64_t size = 0;
    int64_t realistic = 0;
    int64_t fileCount = 0;
    std::string safety;
    bool ticked = false;
    bool tickable = false;
    std::string kind;
    std::string category;
    std::string why;
    std::optional<std::string> path;
    std::optional<TimePoint> modified;
    std::vector<VadeMember> members;
    std::string action;
    std::string ext;
    std::string explainWhat;
    std::string explainGone;
    std::string explainBack;
    std::string note;
    bool sharedBlocks = false;
    bool estimating = false;
    std::string blocked;

    bool operator==(const VadeRow&) const = default;

    // What cleaning does to the row: "Look only", "Blocked now", "Goes to Trash",
    // "Tool cleans it", "Emptied for good" (the Trash) or "Removed · rebuildable".
    std::string fate() const;
    durozizo::SearchItem searchItem() const;
};

enum class VadeRole { base, pebble, clean, water };

struct VadePiece {
    std::string id;
    std::string title;
    int64_t listed = 0;
    int64_t weight = 0;
    VadeRole role = VadeRole::pebble;
    bool ticked = false;
    std::string safety;
    int64_t fileCount = 0;

    bool operator==(const VadePiece&) const = default;
};

enum class ColumnSort { name, size, percent, files, modified, kind, safety, clean };

// The column of that exact name, or none.
std::optional<ColumnSort> columnSort(std::string_view text);
std::string_view columnName(ColumnSort column);

struct ColumnOrder {
    ColumnSort column = ColumnSort::size;
    bool reverse = false;

    bool operator==(const ColumnOrder&) const = default;
};

// The tree's items in depth-first order, each with its group's category.
std::vector<VadeRow> vadeRows(const TreeNode& root);

// "Everything else", the rows by listed size (largest first) and "Fresh water",
// with weights scaled down to the disk when the pieces claim more than it holds.
std::vector<VadePiece> vadePieces(const std::vector<VadeRow>& rows, int64_t other, int64_t free,
                                  int64_t total);

// -1 when a comes first in ascending order, 1 when b does, 0 when the column
// cannot tell them apart.
int compareVade(const VadeRow& a, const VadeRow& b, ColumnSort column);
std::vector<VadeRow> sortVadeRows(std::vector<VadeRow> rows, ColumnOrder by);

}  // namespace virirado
