#include "tree.hpp"

#include <algorithm>
#include <limits>
#include <unordered_set>

namespace bwcore {
namespace {

// Detaches every grandchild so that each Node destroyed here owns no children: the tree is
// taken apart breadth-wise through one heap vector instead of the call stack.
void dismantle(std::vector<Node>& list) noexcept {
    std::vector<Node> pending;
    for (Node& n : list) {
        for (Node& c : n.children)
            pending.push_back(std::move(c));
        n.children.clear();
    }
    while (!pending.empty()) {
        Node n = std::move(pending.back());
        pending.pop_back();
        for (Node& c : n.children)
            pending.push_back(std::move(c));
        n.children.clear();
    }
}

using Seen = std::unordered_set<DevIno, DevInoHash>;

bool by_size_then_name(const Node& a, const Node& b) {
    if (a.total.alloc != b.total.alloc) return a.total.alloc > b.total.alloc;
    return a.name < b.name;
}

bool link_by_name(const LinkRec& a, const LinkRec& b) {
    return a.name < b.name;
}

// Three-way forms of the two orders.
int name_cmp(const Node& a, const Node& b) {
    return a.name.compare(b.name);
}

int size_then_name_cmp(const Node& a, const Node& b) {
    if (a.total.alloc != b.total.alloc) return a.total.alloc > b.total.alloc ? -1 : 1;
    return a.name.compare(b.name);
}

// Appends the positions of `list` from `out[from]` on, in stable `cmp` order (ties broken by
// position). A folder's nodes are large, so ordering positions spares moving whole nodes
// through the scratch copy a stable sort makes.
template <class Cmp>
void stable_order(const NodeList& list, std::vector<uint32_t>& out, std::size_t from, Cmp cmp) {
    auto n = static_cast<uint32_t>(list.size());
    out.resize(from + n);
    auto first = out.begin() + static_cast<std::ptrdiff_t>(from);
    for (uint32_t i = 0; i < n; ++i)
        first[i] = i;
    std::sort(first, out.end(), [&](uint32_t a, uint32_t b) {
        int c = cmp(list[a], list[b]);
        return c != 0 ? c < 0 : a < b;
    });
}

// Moves `list[order[i]]` to position i, cycle by cycle, through one spare node.
void apply_order(NodeList& list, std::vector<uint32_t>& order) {
    for (uint32_t i = 0; i < order.size(); ++i) {
        if (order[i] == i) continue;
        Node spare = std::move(list[i]);
        uint32_t j = i;
        while (order[j] != i) {
            list[j] = std::move(list[order[j]]);
            uint32_t next = order[j];
            order[j] = j;
            j = next;
        }
        list[j] = std::move(spare);
        order[j] = j;
    }
}

// The final order of a settled folder's children; most lists arrive in it already.
void sort_by_size(NodeList& list, std::vector<uint32_t>& scratch) {
    if (std::is_sorted(list.begin(), list.end(), by_size_then_name)) return;
    stable_order(list, scratch, 0, size_then_name_cmp);
    apply_order(list, scratch);
}

// Steps 1 and 2 of settling a folder: its own sizes, then the links it meets first.
void start_total(Node& n, Seen& seen) {
    Agg t;
    t.alloc = add_sat(n.own.alloc, n.self_alloc);
    t.logical = add_sat(n.own.logical, n.self_logical);
    t.files = n.own.files;
    t.dirs = add_sat(n.own.dirs, 1);
    t.mtime = std::max(n.own.mtime, n.mtime);
    t.dataless = n.own.dataless;
    t.protected_ = n.own.protected_;
    t.skipped = n.own.skipped;
    if (!std::is_sorted(n.links.begin(), n.links.end(), link_by_name))
        std::stable_sort(n.links.begin(), n.links.end(), link_by_name);
    for (const LinkRec& l : n.links) {
        if (!seen.insert({l.dev, l.ino}).second) continue;
        t.alloc = add_sat(t.alloc, l.alloc);
        t.logical = add_sat(t.logical, l.logical);
        t.files = add_sat(t.files, 1);
        t.mtime = std::max(t.mtime, l.mtime);
    }
    n.total = t;
}

}  // namespace

void Agg::add(const Agg& o) {
    alloc = add_sat(alloc, o.alloc);
    logical = add_sat(logical, o.logical);
    files = add_sat(files, o.files);
    dirs = add_sat(dirs, o.dirs);
    mtime = std::max(mtime, o.mtime);
    dataless = add_sat(dataless, o.dataless);
    protected_ = add_sat(protected_, o.protected_);
    skipped = add_sat(skipped, o.skipped);
}

NodeList::NodeList() noexcept = default;
NodeList::NodeList(const NodeList&) = default;
NodeList::NodeList(NodeList&&) noexcept = default;
NodeList::NodeList(std::vector<Node>&& v) noexcept : std::vector<Node>(std::move(v)) {}
NodeList& NodeList::operator=(const NodeList&) = default;

// The new contents are taken before the old ones are dropped, since `v` may live inside them.
NodeList& NodeList::operator=(std::vector<Node>&& v) noexcept {
    if (this == &v) return *this;
    std::vector<Node> old = std::move(static_cast<std::vector<Node>&>(*this));
    std::vector<Node>::operator=(std::move(v));
    dismantle(old);
    return *this;
}

NodeList& NodeList::operator=(NodeList&& o) noexcept {
    return *this = static_cast<std::vector<Node>&&>(o);
}

NodeList::~NodeList() {
    dismantle(*this);
}

namespace tree {

std::string join(std::string_view dir, std::string_view name) {
    std::string out;
    out.reserve(dir.size() + 1 + name.size());
    out.append(dir);
    if (out.empty() || out.back() != '/') out.push_back('/');
    out.append(name);
    return out;
}

// Children are visited in name order through a list of their positions (one shared buffer,
// one slice per open folder), so they are moved only once, into their final size order.
void settle_links(Node& root) {
    struct Frame {
        Node* node;
        std::size_t next;
        std::size_t order;  // where this folder's slice of `order` starts
    };
    Seen seen;
    std::vector<Frame> stack;
    std::vector<uint32_t> order;
    std::vector<uint32_t> scratch;
    start_total(root, seen);
    stable_order(root.children, order, 0, name_cmp);
    stack.push_back({&root, 0, 0});
    while (!stack.empty()) {
        Frame& top = stack.back();
        Node& n = *top.node;
        if (top.next < n.children.size()) {
            Node& child = n.children[order[top.order + top.next++]];
            start_total(child, seen);
            std::size_t at = order.size();
            stable_order(child.children, order, at, name_cmp);
            stack.push_back({&child, 0, at});
            continue;
        }
        order.resize(top.order);
        sort_by_size(n.children, scratch);
        stack.pop_back();
        if (!stack.empty()) stack.back().node->total.add(n.total);
    }
}

}  // namespace tree
}  // namespace bwcore
