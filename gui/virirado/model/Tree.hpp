// The display tree every view of the main window draws from: the volume, one group
// per category, one node per item with its members, and the made-up "fresh"
// (free space) and "other" (everything the cleanup list does not cover) nodes.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Model.hpp"

namespace virirado {

struct TreeNode {
    std::string id;
    std::string name;
    int64_t size = 0;
    int64_t realisticSize = 0;
    int64_t fileCount = 0;
    std::optional<TimePoint> modified;
    std::string kind;
    std::string safety;
    std::string ext;
    bool ticked = false;
    bool tickable = false;
    bool mixed = false;
    bool isItem = false;
    std::optional<std::string> path;
    std::string why;
    std::optional<std::string> parentID;
    std::optional<std::vector<TreeNode>> children;
    std::string action = "rm";
    std::string explainWhat;
    std::string explainGone;
    std::string explainBack;
    std::string note;
    bool sharedBlocks = false;
    bool estimating = false;
    std::string blocked;

    bool operator==(const TreeNode&) const = default;
};

// Sizes and counts are summed with saturation, so no engine figure can wrap.
TreeNode makeTree(const std::vector<ItemRecord>& records, const std::set<std::string>& ticked,
                  int64_t free, int64_t total, const std::string& volume);

// Adds `added`, the records that follow those `root` was made of, to a tree that
// makeTree (or this) made with the same ticked set, free and total bytes. The
// result equals makeTree of all the records; it costs the added records alone,
// so a result that arrives item by item is not built again for every item.
void appendToTree(TreeNode& root, const std::vector<ItemRecord>& records, std::size_t from,
                  const std::set<std::string>& ticked, int64_t free, int64_t total);

// The title of a category key; unknown keys come back unchanged.
std::string categoryTitle(const std::string& key);

// The tickable item nodes of a subtree, depth first.
std::vector<TreeNode> itemTargets(const TreeNode& node);

}  // namespace virirado
