#pragma once
// The parallel tree walk: one folder path into a Node subtree, listing folders, classifying
// every entry, applying the rules and recursing on the scan's work-stealing pool. It can take a
// subtree already walked (the pre-walked map), reuse a folder's node from the previous scan when
// the folder provably did not change, and reports progress through six shared counters. The
// listing side lives in walk.cpp, the cached side (reuse, patch, re-check) in walk_reuse.cpp.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "entry.hpp"
#include "fsevents.hpp"
#include "list_macos.hpp"
#include "rules.hpp"
#include "tree.hpp"

namespace bwcore::walk {

// Progress of one walk, read by other threads while it runs. The order is fixed: callers
// print the last three as "listed_dirs", "reused_dirs" and "patched_dirs".
struct Counters {
    std::atomic<uint64_t> dirs{0};     // folders walked
    std::atomic<uint64_t> files{0};    // files counted
    std::atomic<uint64_t> bytes{0};    // allocated bytes of counted files
    std::atomic<uint64_t> listed{0};   // folders listed from disk
    std::atomic<uint64_t> reused{0};   // folders taken from the cache, patched ones included
    std::atomic<uint64_t> patched{0};  // changed folders updated from their change list
};

// Where a path lies relative to the home folder, for the rules and the dev/build hints.
struct Ctx {
    uint32_t depth = DEPTH_OUTSIDE;  // components below home; DEPTH_OUTSIDE when not inside
    bool in_library = false;         // the first component below home is "Library"
    bool hidden = false;             // some component below home starts with "."
    bool named = false;              // some component below home is a nested dev/build name

    static Ctx for_path(std::string_view path, const std::optional<std::string>& home,
                        const MarkerIndex& index);
    static Ctx child(const Ctx& ctx, std::string_view name, std::string_view child_path,
                     const std::optional<std::string>& home, const MarkerIndex& index);
    bool operator==(const Ctx&) const = default;
};

// One folder to walk.
struct Task {
    std::string path;
    std::string name;
    Ctx ctx;
    uint64_t dev = 0;
    uint64_t ino = 0;
    uint64_t alloc = 0;
    uint64_t logical = 0;
    int64_t mtime = 0;
    std::optional<Node> cached;  // the same folder's node from the previous scan
    DevHint hint;                // what the parent's listing says about its dev/build class
    int parent_fd = -1;          // the parent folder, held open while its subfolders are walked
    uint32_t level = 0;          // components in `path`
};

// The first record of a hard-linked file met in a subtree, in the order settling meets them
// (a folder's own links by name, then its subfolders by name, depth first), with the way down
// to the folder that holds it: child positions from that folder up to the subtree's top.
struct LinkFirst {
    uint64_t dev = 0;
    uint64_t ino = 0;
    uint64_t alloc = 0;
    uint64_t logical = 0;
    int64_t mtime = 0;
    std::vector<uint32_t> up;
};
using LinkFirsts = std::vector<LinkFirst>;

// A walked subtree with the first records of its hard-linked files: whatever else it holds is
// already settled, since the walk adds up every folder's totals and orders its children.
struct Walked {
    Node node;
    LinkFirsts links;
};

// The subtree exactly as tree::settle_links leaves it: each hard-linked file counted in the
// first folder that holds it, and the totals and child order of the folders above those
// changed to match. It touches only those folders, not the whole tree.
Node settle(Walked walked);

// What the walk needs of the scan's options.
struct WalkOptions {
    std::optional<std::string> home;
    bool generic_lister = false;
    uint64_t big_min = 1000000;
    uint64_t recheck_min = 67108864;  // UINT64_MAX: no re-check
    bool full = false;
    uint64_t root_dev = 0;
};

// Folders holding this many single-link files keep every one of them in `all_files`.
inline constexpr std::size_t ALL_FILES_MIN = 4096;
// A changed folder is patched from its change list only up to this many changed names.
inline constexpr std::size_t PATCH_MAX_NAMES = 2048;
inline constexpr std::size_t MAX_SAMPLES = 4;
// Folders this many components deep are not walked into: each level takes a few KiB of the
// walk's 16 MiB stack, and every deeper step of the tree's later work as well. A path could not
// go deeper while the kernel had to take it whole (each component takes at least two of its
// 4,096 bytes), so no folder counted then is left out now. Such a folder is skipped with the
// reason TOO_DEEP, as one whose listing failed.
inline constexpr uint32_t MAX_LEVELS = 2048;
inline constexpr std::string_view TOO_DEEP = "too deep";

// Shared by every worker of one walk: read-only apart from the counters and the pre-walked
// map. `rules`, `index`, `changes` and `counters` must outlive the walker.
class Walker {
public:
    Walker(WalkOptions options, const Rules& rules, const MarkerIndex& index,
           const fsevents::Changes* changes, Counters& counters);

    // Walks the folder at `path` whose own attributes are `entry`, reusing `cached` where the
    // folder did not change. Never throws: a problem becomes a skipped count and sample.
    Node walk_root(const std::string& path, const Entry& entry, std::optional<Node> cached);
    Node walk_dir(Task task);
    // As walk_root, with the subtree's first hard-link records; settle() finishes it.
    Walked walk_root_linked(const std::string& path, const Entry& entry,
                            std::optional<Node> cached);

    // A subtree walked earlier in this scan; walk_dir of that path takes it instead of listing.
    void add_prewalked(const std::string& path, Walked walked);

    // Appends (path, reason) to the node's samples while it holds fewer than four.
    static void sample(Node& node, std::string_view path, std::string_view reason);

    const WalkOptions& options() const { return m_opt; }
    const MarkerIndex& index() const { return m_index; }

private:
    // What one listing adds to the shared progress counters.
    struct Listed {
        uint64_t files = 0;
        uint64_t bytes = 0;
    };
    enum class Way { List, Reuse, Patch };

    Walked walk_guarded(Task& task);
    Walked walk_body(Task& task);
    std::optional<Walked> take_prewalked(const std::string& path);
    Way choose(const Task& task) const;
    bool in_rescan(std::string_view path) const;
    bool rules_apply() const { return !m_opt.full && m_opt.home.has_value(); }
    // The rules' cheap pre-test for a child of the task's folder (false when rules are off).
    bool might_trip(const Task& task, std::string_view name, bool in_library) const;
    // Counts one plain file of a folder: its own totals or its link record, and its records.
    void count_file(Node& node, const EntryView& e, bool wide, Listed& acc) const;
    static void sort_links(Node& node);

    using ByName = std::unordered_map<std::string_view, Node*>;
    class HeldDir;
    Node list_folder(Task& task, std::vector<Task>& tasks, NodeList* cached_children,
                     HeldDir& held);
    Result<list_macos::Stop> read_folder(const Task& task, Node& node, std::vector<Task>& tasks,
                                         ByName& by_name, HeldDir& held);
    void take_entry(const Task& task, const EntryView& e, bool wide, Node& node,
                    std::vector<Task>& tasks, Listed& acc, ByName& by_name);
    bool child_tasks(const Task& task, Node& node, std::vector<Task>& tasks);
    bool patch(const Task& task, Node& node);
    bool recheck(const std::string& path, Node& node) const;
    LinkFirsts finish(Task& task, Node& node, std::vector<Task>& tasks);
    std::vector<Walked> walk_all(std::vector<Task>& tasks);
    bool single_worker() const;

    WalkOptions m_opt;
    const Rules& m_rules;
    const MarkerIndex& m_index;
    const fsevents::Changes* m_changes;
    Counters& m_counters;
    TripFilter m_trip;
    std::mutex m_prewalked_mu;
    std::unordered_map<std::string, Walked> m_prewalked;
    std::atomic<std::size_t> m_prewalked_count{0};
    mutable std::atomic<int> m_workers{0};  // the pool's size, once asked
    std::atomic<int> m_held{0};             // folders held open for their subfolders
    int m_held_budget = 0;                  // how many may be
};

// The first hard-link records of `node`'s subtree from its own links (sorted by name here when
// they are not) and its children's first records, `kids[i]` those of node.children[i] (`kids`
// empty: none); the children's records are taken.
LinkFirsts first_links(Node& node, std::vector<LinkFirsts>& kids);

// Whether VIRIRADO_ENGINE_DEBUG is set (read once per process).
bool debug_on();

// Names the calling pool thread "bwcore-walk-{i}" after its index in the current arena, once
// per arena index it runs under.
void name_thread();

}  // namespace bwcore::walk
