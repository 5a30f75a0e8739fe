#include "Rows.hpp"

#include <algorithm>
#include <array>
#include <utility>

#include "Numeric.hpp"
#include "Text.hpp"

namespace virirado {

namespace {

using durozizo::saturatingAdd;
using durozizo::saturatingSub;

constexpr std::array<std::pair<ColumnSort, std::string_view>, 8> kColumns{{
    {ColumnSort::name, "name"},
    {ColumnSort::size, "size"},
    {ColumnSort::percent, "percent"},
    {ColumnSort::files, "files"},
    {ColumnSort::modified, "modified"},
    {ColumnSort::kind, "kind"},
    {ColumnSort::safety, "safety"},
    {ColumnSort::clean, "clean"},
}};

template <typename T>
int order(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

int sign(int v) {
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

int textOrder(const std::string& a, const std::string& b) {
    return sign(durozizo::text::localizedCaseInsensitiveCompare(a, b));
}

int64_t rankBytes(const VadeRow& r) {
    return r.realistic > 0 ? r.realistic : r.size;
}

int safetyRank(const VadeRow& r) {
    if (r.safety == "safe") return 0;
    if (r.safety == "review") return 1;
    if (r.safety == "info") return 2;
    return 3;
}

int cleanRank(const VadeRow& r) {
    if (r.ticked) return 2;
    return r.safety == "review" ? 1 : 0;
}

VadeRow rowFrom(const TreeNode& n, const std::string& category) {
    VadeRow r;
    r.id = n.id;
    r.name = n.name;
    r.size = n.size;
    r.realistic = n.realisticSize;
    r.fileCount = n.fileCount;
    r.safety = n.safety;
    r.ticked = n.ticked;
    r.tickable = n.tickable;
    r.kind = n.kind;
    r.category = category;
    r.why = n.why;
    r.path = n.path;
    r.modified = n.modified;
    r.action = n.action;
    r.ext = n.ext;
    r.explainWhat = n.explainWhat;
    r.explainGone = n.explainGone;
    r.explainBack = n.explainBack;
    r.note = n.note;
    r.sharedBlocks = n.sharedBlocks;
    r.estimating = n.estimating;
    r.blocked = n.blocked;
    if (n.children) {
        for (const auto& c : *n.children)
            r.members.push_back({c.id, c.name, c.realisticSize, c.path});
    }
    return r;
}

void walk(const TreeNode& node, std::string category, std::vector<VadeRow>& out) {
    if (node.id.starts_with("cat:")) category = node.id.substr(4);
    if (node.isItem) {
        out.push_back(rowFrom(node, category));
        return;
    }
    if (!node.children) return;
    for (const auto& child : *node.children) {
        if (child.id == "fresh" || child.id == "other") continue;
        walk(child, category, out);
    }
}

std::size_t itemCount(const TreeNode& node) {
    if (node.isItem) return 1;
    std::size_t n = 0;
    if (node.children) {
        for (const auto& child : *node.children)
            n += itemCount(child);
    }
    return n;
}

VadePiece madeUpPiece(const char* id, const char* title, int64_t bytes, VadeRole role) {
    return {id, title, bytes, bytes, role, false, "info", 0};
}

// Scales every piece but the free space so that together they fit the disk.
void fitToDisk(std::vector<VadePiece>& pieces, int64_t total) {
    int64_t sum = 0;
    int64_t water = 0;
    for (const auto& p : pieces) {
        sum = saturatingAdd(sum, p.weight);
        if (p.role == VadeRole::water) water = saturatingAdd(water, p.weight);
    }
    if (total <= 0 || total >= sum) return;
    const double a = static_cast<double>(std::max<int64_t>(saturatingSub(total, water), 0));
    const double b = static_cast<double>(std::max<int64_t>(saturatingSub(sum, water), 1));
    for (auto& p : pieces) {
        if (p.role != VadeRole::water) {
            p.weight = durozizo::roundToInt64(a * static_cast<double>(p.weight) / b);
        }
    }
}

}  // namespace

std::optional<ColumnSort> columnSort(std::string_view text) {
    for (const auto& [column, name] : kColumns) {
        if (text == name) return column;
    }
    return std::nullopt;
}

std::string_view columnName(ColumnSort column) {
    for (const auto& [c, name] : kColumns) {
        if (c == column) return name;
    }
    return {};
}

std::string VadeRow::fate() const {
    if (safety == "info" || action == "info") return "Look only";
    if (!tickable && blocked.empty()) return "Look only";
    if (!blocked.empty()) return "Blocked now";
    if (action == "trash") return "Goes to Trash";
    if (action == "cmd") return "Tool cleans it";
    // What leaves the Trash never comes back.
    if (kind == "trash") return "Emptied for good";
    return "Removed \u00B7 rebuildable";
}

durozizo::SearchItem VadeRow::searchItem() const {
    std::string memberText;
    for (size_t i = 0; i < members.size(); ++i) {
        if (i > 0) memberText += '\n';
        memberText += members[i].path.value_or(members[i].name);
    }
    return durozizo::SearchItem(id, name, path.value_or(""), size, realistic, kind, category, ext,
                                modified, safety, action, ticked, tickable, std::move(memberText));
}

std::vector<VadeRow> vadeRows(const TreeNode& root) {
    std::vector<VadeRow> out;
    // Rows are large: growing the list as it fills would move each several times.
    out.reserve(itemCount(root));
    walk(root, "", out);
    return out;
}

std::vector<VadePiece> vadePieces(const std::vector<VadeRow>& rows, int64_t other, int64_t free,
                                  int64_t total) {
    std::vector<VadePiece> pieces;
    if (other >= 1)
        pieces.push_back(madeUpPiece("other", "Everything else", other, VadeRole::base));

    std::vector<const VadeRow*> bySize;
    for (const auto& r : rows)
        bySize.push_back(&r);
    std::stable_sort(bySize.begin(), bySize.end(),
                     [](const VadeRow* a, const VadeRow* b) { return a->size > b->size; });
    for (const VadeRow* r : bySize) {
        if (r->size <= 0) continue;
        pieces.push_back({r->id, r->name, r->size, r->size,
                          r->ticked ? VadeRole::clean : VadeRole::pebble, r->ticked, r->safety,
                          r->fileCount});
    }
    if (free > 0 || total > 0) {
        pieces.push_back(
            madeUpPiece("fresh", "Fresh water", std::max<int64_t>(free, 0), VadeRole::water));
    }
    fitToDisk(pieces, total);
    return pieces;
}

int compareVade(const VadeRow& a, const VadeRow& b, ColumnSort column) {
    switch (column) {
        case ColumnSort::name:
            return textOrder(a.name, b.name);
        case ColumnSort::size:
        case ColumnSort::percent: {
            const int byRank = order(rankBytes(a), rankBytes(b));
            return byRank != 0 ? byRank : order(a.size, b.size);
        }
        case ColumnSort::files:
            return order(a.fileCount, b.fileCount);
        case ColumnSort::modified:
            if (a.modified.has_value() != b.modified.has_value()) return a.modified ? 1 : -1;
            return a.modified ? order(*a.modified, *b.modified) : 0;
        case ColumnSort::kind:
            return textOrder(a.kind, b.kind);
        case ColumnSort::safety:
            return order(safetyRank(a), safetyRank(b));
        case ColumnSort::clean:
            return order(cleanRank(a), cleanRank(b));
    }
    return 0;
}

std::vector<VadeRow> sortVadeRows(std::vector<VadeRow> rows, ColumnOrder by) {
    std::stable_sort(rows.begin(), rows.end(), [by](const VadeRow& a, const VadeRow& b) {
        const int c = compareVade(a, b, by.column);
        if (c != 0) return by.reverse ? c == 1 : c == -1;
        const int names = textOrder(a.name, b.name);
        if (names != 0) return names < 0;
        return a.id < b.id;
    });
    return rows;
}

}  // namespace virirado
