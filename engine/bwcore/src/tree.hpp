#pragma once
// The scanned tree: one Node per folder, with sizes kept per folder and subtree totals rebuilt by
// settle_links. Every tree operation here is depth-safe (no recursion on the tree's depth), so a
// chain thousands of folders deep is fine on any thread, including the 8 MiB main thread.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace bwcore {

// A sum that stops at the u64 maximum, as every counter of the tree does.
inline uint64_t add_sat(uint64_t a, uint64_t b) {
    uint64_t r;
    return __builtin_add_overflow(a, b, &r) ? UINT64_MAX : r;
}

// A file's identity, what its hard links share.
struct DevIno {
    uint64_t dev;
    uint64_t ino;
    bool operator==(const DevIno&) const = default;
};

struct DevInoHash {
    std::size_t operator()(const DevIno& k) const noexcept {
        uint64_t x = k.dev * 0x9e3779b97f4a7c15ULL ^ k.ino;  // splitmix64 finaliser
        x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
        x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
        return static_cast<std::size_t>(x ^ (x >> 31));
    }
};

// Eight counters over a set of items. Sums saturate at the u64 maximum; mtime is a maximum.
struct Agg {
    uint64_t alloc = 0;
    uint64_t logical = 0;
    uint64_t files = 0;
    uint64_t dirs = 0;
    int64_t mtime = 0;  // latest modification time seen, nanoseconds
    uint64_t dataless = 0;
    uint64_t protected_ = 0;  // JSON key "protected"
    uint64_t skipped = 0;

    // Adds every counter of `o` (sums saturate, mtime as maximum).
    void add(const Agg& o);
    bool operator==(const Agg&) const = default;
};

// A recorded file.
struct FileRec {
    std::string name;
    uint64_t alloc = 0;
    uint64_t logical = 0;
    int64_t mtime = 0;
    uint64_t ino = 0;
    bool operator==(const FileRec&) const = default;
};

// A direct file with two or more hard links.
struct LinkRec {
    std::string name;
    uint64_t dev = 0;
    uint64_t ino = 0;
    uint64_t alloc = 0;
    uint64_t logical = 0;
    int64_t mtime = 0;
    bool operator==(const LinkRec&) const = default;
};

// One sample of what was skipped directly in a folder.
struct SkipSample {
    std::string path;
    std::string reason;
    bool operator==(const SkipSample&) const = default;
};

struct Node;

// The children of a folder: a std::vector<Node> whose destruction does not recurse, so dropping
// a very deep tree (a hostile cache file may hold 100,000 levels) cannot exhaust the stack.
class NodeList : public std::vector<Node> {
public:
    using std::vector<Node>::vector;
    NodeList() noexcept;
    NodeList(const NodeList&);
    NodeList(NodeList&&) noexcept;
    NodeList(std::vector<Node>&& v) noexcept;
    NodeList& operator=(const NodeList&);
    NodeList& operator=(NodeList&&) noexcept;
    NodeList& operator=(std::vector<Node>&& v) noexcept;
    ~NodeList();
};

// One folder of the scanned tree. The first 15 members are stored in the cache in this order;
// `total` is rebuilt by tree::settle_links.
struct Node {
    std::string name;
    uint64_t ino = 0;
    uint64_t dev = 0;
    int64_t mtime = 0;
    uint64_t self_alloc = 0;
    uint64_t self_logical = 0;
    Agg own;
    std::vector<LinkRec> links;
    std::vector<FileRec> files;
    uint64_t markers = 0;
    NodeList children;
    uint16_t dev_kind = 0;
    std::string marker;
    std::vector<SkipSample> skipped;
    std::vector<FileRec> all_files;
    Agg total;

    // Compares the stored fields and `total` (deep).
    bool operator==(const Node&) const = default;
};

static_assert(std::is_nothrow_move_constructible_v<Node>);
static_assert(std::is_nothrow_move_assignable_v<Node>);

namespace tree {

// `dir` + "/" + `name`, with no second slash when `dir` already ends with one; "" gives "/name".
std::string join(std::string_view dir, std::string_view name);

// Pre-order walk with full paths: f(path, node) for `node` at `path`, then each child in
// `children` order at join(path, child.name). Iterative with one shared path buffer, so its
// depth is bounded only by memory. `N` is Node or const Node.
template <class N, class F>
requires std::is_same_v<std::remove_const_t<N>, Node>
void visit(N& node, std::string_view path, F&& f) {
    struct Frame {
        N* node;
        std::size_t next;
        std::size_t path_len;
    };
    std::string buf(path);
    std::vector<Frame> stack;
    f(static_cast<const std::string&>(buf), node);
    stack.push_back({&node, 0, buf.size()});
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == top.node->children.size()) {
            stack.pop_back();
            continue;
        }
        N& child = top.node->children[top.next++];
        buf.resize(top.path_len);
        if (buf.empty() || buf.back() != '/') buf.push_back('/');
        buf.append(child.name);
        f(static_cast<const std::string&>(buf), child);
        stack.push_back({&child, 0, buf.size()});
    }
}

// Rebuilds every `total` below and including `root`, counts each hard-linked (dev, ino) once in
// the first folder that holds it in depth-first, name-ordered traversal, sorts every `links`
// list by name and every `children` list by total.alloc descending, then name. Idempotent.
void settle_links(Node& root);

}  // namespace tree
}  // namespace bwcore
