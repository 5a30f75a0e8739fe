#include "Tree.hpp"

#include <algorithm>
#include <array>
#include <map>
#include <utility>

#include "Numeric.hpp"

namespace virirado {

namespace {

using durozizo::saturatingAdd;
using durozizo::saturatingSub;

constexpr std::array<std::pair<const char*, const char*>, 19> kTitles{{
    {"temp", "Temp"},
    {"caches", "Caches"},
    {"logs", "Logs"},
    {"derived", "DerivedData"},
    {"builds", "Builds"},
    {"devbuilds", "Dev builds"},
    {"sims", "Simulators"},
    {"runtimes", "Runtimes"},
    {"xctest", "XCTest clones"},
    {"devsupport", "DeviceSupport"},
    {"android", "Android"},
    {"docker", "Docker"},
    {"snapshots", "Snapshots"},
    {"trash", "Trash"},
    {"downloads", "Downloads"},
    {"apps", "Apps"},
    {"system", "System"},
    {"fresh", "Fresh water"},
    {"other", "Everything else"},
}};
// The first seventeen titled keys are the group order.
constexpr size_t kOrderedCategories = 17;

std::optional<size_t> orderOf(const std::string& key) {
    for (size_t i = 0; i < kOrderedCategories; ++i) {
        if (key == kTitles[i].first) return i;
    }
    return std::nullopt;
}

// Adds one child's sizes, count and date to its group's, in the children's order.
void addUp(TreeNode& g, const TreeNode& child) {
    g.size = saturatingAdd(g.size, child.size);
    g.realisticSize = saturatingAdd(g.realisticSize, child.realisticSize);
    g.fileCount = saturatingAdd(g.fileCount, child.fileCount);
    if (child.modified && (!g.modified || *child.modified > *g.modified)) {
        g.modified = child.modified;
    }
}

TreeNode groupNode(std::string id, std::string name, std::string kind,
                   std::vector<TreeNode> children, std::optional<std::string> parentID) {
    TreeNode g;
    g.id = std::move(id);
    g.name = std::move(name);
    g.kind = std::move(kind);
    g.parentID = std::move(parentID);
    for (const auto& child : children)
        addUp(g, child);
    g.children = std::move(children);
    return g;
}

TreeNode memberNode(const ItemRecord& m, const ItemRecord& r) {
    TreeNode n;
    n.id = m.id;
    n.name = m.label;
    n.size = m.size;
    n.realisticSize = m.size;
    n.fileCount = m.fileCount;
    n.modified = m.modified;
    n.ext = m.ext;
    n.path = m.path;
    n.why = m.why;
    n.kind = m.kind.empty() ? r.kind : m.kind;
    n.safety = "info";
    n.parentID = r.id;
    return n;
}

TreeNode itemNode(const ItemRecord& r, const std::set<std::string>& ticked) {
    TreeNode n;
    n.id = r.id;
    n.name = r.label;
    n.size = r.size;
    n.realisticSize = r.realisticSize;
    n.fileCount = r.fileCount;
    n.modified = r.modified;
    n.kind = r.kind;
    n.safety = r.safety;
    n.ext = r.ext;
    n.path = r.path;
    n.why = r.why;
    n.action = r.action;
    n.explainWhat = r.explainWhat;
    n.explainGone = r.explainGone;
    n.explainBack = r.explainBack;
    n.note = r.note;
    n.sharedBlocks = r.sharedBlocks;
    n.estimating = r.estimating;
    n.blocked = r.blocked;
    n.ticked = ticked.contains(r.id);
    n.tickable = r.tickable();
    n.isItem = true;
    n.parentID = "cat:" + r.category;
    if (!r.members.empty()) {
        n.children.emplace();
        for (const auto& m : r.members)
            n.children->push_back(memberNode(m, r));
    }
    return n;
}

TreeNode madeUpNode(const char* id, int64_t bytes, const char* why) {
    TreeNode n;
    n.id = id;
    n.name = categoryTitle(id);
    n.size = bytes;
    n.realisticSize = bytes;
    n.kind = id;
    n.safety = "info";
    n.why = why;
    n.parentID = "disk";
    return n;
}

// The tickable items of a subtree and how many of them are ticked, counted
// without copying them.
void countTargets(const TreeNode& node, size_t& targets, size_t& ticked) {
    if (node.isItem && node.tickable) {
        ++targets;
        if (node.ticked) ++ticked;
    }
    if (!node.children) return;
    for (const auto& child : *node.children)
        countTargets(child, targets, ticked);
}

TreeNode annotate(TreeNode node) {
    if (!node.children || node.children->empty()) return node;
    for (auto& child : *node.children)
        child = annotate(std::move(child));
    if (node.isItem) return node;
    size_t t = 0;
    size_t n = 0;
    countTargets(node, t, n);
    node.tickable = t > 0;
    node.ticked = t > 0 && n == t;
    node.mixed = n > 0 && n < t;
    return node;
}

void collectTargets(const TreeNode& node, std::vector<TreeNode>& out) {
    if (node.isItem && node.tickable) out.push_back(node);
    if (!node.children) return;
    for (const auto& child : *node.children)
        collectTargets(child, out);
}

// Categories in display order: the known ones in their fixed order, then the rest
// by plain string comparison.
bool groupBefore(const std::string& a, const std::string& b) {
    const auto oa = orderOf(a), ob = orderOf(b);
    if (oa && ob) return *oa < *ob;
    if (oa || ob) return oa.has_value();
    return a < b;
}

std::vector<std::string> orderedCategories(
    const std::map<std::string, std::vector<const ItemRecord*>>& groups) {
    std::vector<std::string> keys;
    for (const auto& entry : groups)
        keys.push_back(entry.first);
    std::stable_sort(keys.begin(), keys.end(), groupBefore);
    return keys;
}

// The group node of `category`, made empty in its place when the tree has none.
TreeNode& groupFor(TreeNode& root, const std::string& category) {
    std::vector<TreeNode>& children = *root.children;
    const std::string id = "cat:" + category;
    auto at = children.begin();
    while (at != children.end() && !at->id.starts_with("cat:"))
        ++at;
    for (; at != children.end(); ++at) {
        if (at->id == id) return *at;
        if (groupBefore(category, at->kind)) break;
    }
    return *children.insert(at, groupNode(id, categoryTitle(category), category, {}, "disk"));
}

// Adds one item node to its group. The group's tick state follows from its old
// one: ticked when every tickable item is, mixed when some are.
void addToGroup(TreeNode& group, TreeNode item) {
    addUp(group, item);
    if (item.tickable) {
        const bool wasTickable = group.tickable;
        const bool wasAll = group.ticked;
        const bool wasSome = group.ticked || group.mixed;
        group.tickable = true;
        group.ticked = item.ticked && (wasAll || !wasTickable);
        group.mixed = item.ticked ? wasTickable && !wasAll : wasSome;
    }
    group.children->push_back(std::move(item));
}

// The made-up nodes and the root's own figures, from its children as they are now.
void settleRoot(TreeNode& root, int64_t free, int64_t total) {
    std::vector<TreeNode>& children = *root.children;
    if (total > 0) {
        int64_t listed = 0;
        for (const TreeNode& child : children) {
            if (child.id.starts_with("cat:")) listed = saturatingAdd(listed, child.size);
        }
        const int64_t fresh = std::max<int64_t>(free, 0);
        const int64_t other =
            std::max<int64_t>(saturatingSub(saturatingSub(total, fresh), listed), 0);
        children[0] = madeUpNode("fresh", fresh, "Fresh water = free space");
        children[1] = madeUpNode("other", other, "On the disk, and not in this cleanup list");
    }
    root.size = root.realisticSize = root.fileCount = 0;
    root.modified.reset();
    for (const TreeNode& child : children)
        addUp(root, child);
    if (total > 0) root.size = total;
}

}  // namespace

std::string categoryTitle(const std::string& key) {
    if (key.empty()) return "Item";
    for (const auto& [k, title] : kTitles) {
        if (key == k) return title;
    }
    return key;
}

std::vector<TreeNode> itemTargets(const TreeNode& node) {
    std::vector<TreeNode> out;
    collectTargets(node, out);
    return out;
}

TreeNode makeTree(const std::vector<ItemRecord>& records, const std::set<std::string>& ticked,
                  int64_t free, int64_t total, const std::string& volume) {
    std::map<std::string, std::vector<const ItemRecord*>> groups;
    for (const auto& r : records)
        groups[r.category].push_back(&r);

    std::vector<TreeNode> children;
    std::vector<TreeNode> groupNodes;
    int64_t listed = 0;
    for (const auto& key : orderedCategories(groups)) {
        std::vector<TreeNode> items;
        items.reserve(groups[key].size());
        for (const ItemRecord* r : groups[key])
            items.push_back(itemNode(*r, ticked));
        groupNodes.push_back(
            groupNode("cat:" + key, categoryTitle(key), key, std::move(items), "disk"));
        listed = saturatingAdd(listed, groupNodes.back().size);
    }
    if (total > 0) {
        const int64_t fresh = std::max<int64_t>(free, 0);
        const int64_t other =
            std::max<int64_t>(saturatingSub(saturatingSub(total, fresh), listed), 0);
        children.push_back(madeUpNode("fresh", fresh, "Fresh water = free space"));
        children.push_back(madeUpNode("other", other, "On the disk, and not in this cleanup list"));
    }
    for (auto& g : groupNodes)
        children.push_back(std::move(g));

    TreeNode root = groupNode("disk", volume.empty() ? "This disk" : volume, "disk",
                              std::move(children), std::nullopt);
    if (total > 0) root.size = total;
    root = annotate(std::move(root));
    root.ticked = root.tickable = root.mixed = false;
    return root;
}

void appendToTree(TreeNode& root, const std::vector<ItemRecord>& records, std::size_t from,
                  const std::set<std::string>& ticked, int64_t free, int64_t total) {
    if (!root.children) root.children.emplace();
    for (std::size_t i = from; i < records.size(); ++i) {
        const ItemRecord& r = records[i];
        addToGroup(groupFor(root, r.category), itemNode(r, ticked));
    }
    settleRoot(root, free, total);
}

}  // namespace virirado
