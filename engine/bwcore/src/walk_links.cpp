// Settling hard links as the walk goes. Settling counts each hard-linked file once, in the first
// folder that holds it in a depth-first visit that takes a folder's own links by name and its
// subfolders by name. Everything else about a settled folder (its totals without links, its
// children ordered by size) the walk has already worked out, in parallel. So each walked folder
// passes up only the first record of every linked file in its subtree; at the top each of those
// is counted in its folder and in the folders above it, whose children are then put in order
// again. Only those folders are touched: a tree without hard links is settled as it stands.
#include <algorithm>
#include <functional>
#include <limits>
#include <unordered_set>

#include "walk.hpp"

namespace bwcore::walk {
namespace {

void add_link(Agg& t, const LinkFirst& f) {
    t.alloc = add_sat(t.alloc, f.alloc);
    t.logical = add_sat(t.logical, f.logical);
    t.files = add_sat(t.files, 1);
    t.mtime = std::max(t.mtime, f.mtime);
}

// Biggest first, then by name, as the walk ordered them before the links were counted.
void order_by_size(NodeList& kids) {
    auto before = [](const Node& a, const Node& b) {
        if (a.total.alloc != b.total.alloc) return a.total.alloc > b.total.alloc;
        return a.name < b.name;
    };
    if (std::is_sorted(kids.begin(), kids.end(), before)) return;
    std::vector<uint32_t> order(kids.size());
    for (uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](uint32_t a, uint32_t b) { return before(kids[a], kids[b]); });
    std::vector<Node> sorted;
    sorted.reserve(kids.size());
    for (uint32_t i : order)
        sorted.push_back(std::move(kids[i]));
    kids = std::move(sorted);
}

}  // namespace

LinkFirsts first_links(Node& node, std::vector<LinkFirsts>& kids) {
    bool any = !node.links.empty();
    for (const LinkFirsts& k : kids)
        any = any || !k.empty();
    if (!any) return {};
    auto by_name = [](const LinkRec& a, const LinkRec& b) { return a.name < b.name; };
    if (!std::is_sorted(node.links.begin(), node.links.end(), by_name))
        std::stable_sort(node.links.begin(), node.links.end(), by_name);
    LinkFirsts out;
    std::unordered_set<DevIno, DevInoHash> seen;
    for (const LinkRec& l : node.links)
        if (seen.insert({l.dev, l.ino}).second)
            out.push_back({l.dev, l.ino, l.alloc, l.logical, l.mtime, {}});
    std::vector<uint32_t> named;
    for (uint32_t i = 0; i < kids.size(); ++i)
        if (!kids[i].empty()) named.push_back(i);
    std::sort(named.begin(), named.end(), [&](uint32_t a, uint32_t b) {
        return node.children[a].name < node.children[b].name;
    });
    for (uint32_t i : named) {
        for (LinkFirst& f : kids[i]) {
            if (!seen.insert({f.dev, f.ino}).second) continue;
            f.up.push_back(i);
            out.push_back(std::move(f));
        }
    }
    return out;
}

Node settle(Walked walked) {
    Node& root = walked.node;
    // Every record left at the top is the first of its file in the whole tree: all are counted.
    std::vector<std::pair<std::size_t, Node*>> touched;  // (depth, folder)
    for (const LinkFirst& f : walked.links) {
        Node* at = &root;
        add_link(at->total, f);
        touched.emplace_back(0, at);
        for (std::size_t j = f.up.size(); j-- > 0;) {
            at = &at->children[f.up[j]];
            add_link(at->total, f);
            touched.emplace_back(f.up.size() - j, at);
        }
    }
    // Deepest first: ordering a folder's children moves them, and every folder below has been
    // put in order by then.
    std::sort(touched.begin(), touched.end(), [](const auto& a, const auto& b) {
        if (a.first != b.first) return a.first > b.first;
        return std::less<Node*>{}(a.second, b.second);
    });
    touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
    for (auto& [depth, folder] : touched)
        order_by_size(folder->children);
    return std::move(root);
}

}  // namespace bwcore::walk
