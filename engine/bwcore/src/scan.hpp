#pragma once
// One whole scan of a root folder: check the root, load and validate the previous result,
// walk the priority folders first (announced through the "first" event), then the whole root
// on a private pool, settle hard links and totals.
#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cache.hpp"
#include "result.hpp"
#include "rules.hpp"
#include "tree.hpp"
#include "walk.hpp"

namespace bwcore {

struct ScanOptions {
    // `root` with every trailing "/" removed ("" and "/" give "/"), and the defaults below.
    explicit ScanOptions(std::string_view root);

    std::string root;
    Rules rules = Rules::defaults();
    std::vector<std::string> priority = {
        "Library/Developer", "Library/Caches", "Downloads", "Library/Containers/com.docker.docker",
        ".colima",           ".orbstack"};
    unsigned threads;
    std::optional<std::string> cache_dir;
    std::optional<std::string> home;
    uint64_t max_age = 604800;
    uint64_t big_min = 1000000;
    uint64_t recheck_min = 67108864;  // UINT64_MAX: never re-read recorded files
    bool use_cache = true;
    bool generic_lister = false;
    bool fsevents = true;
    bool full = false;

    // The home the scan works with: trailing slashes dropped, an empty home is none.
    std::optional<std::string> normalized_home() const;
    // FNV-1a 64 over everything a stored tree depends on; any change invalidates the cache.
    static uint64_t cache_key(const ScanOptions& options);
};

// A priority folder walked before the rest, with its subtree's allocated bytes.
struct FirstRoot {
    std::string path;
    uint64_t alloc = 0;
};

struct ScanResult {
    std::string root;
    Node node;               // settled
    std::string validation;  // "none", "mtime" or "fsevents"
    std::optional<std::string> fsevents_note;
    std::string lister;  // "getattrlistbulk" or "readdir+lstat"
    double elapsed_ms = 0;
    double first_results_ms = 0;
    double cache_load_ms = 0;
    uint64_t event_id = 0;
    VolumeUuid volume_uuid{};
    uint64_t listed = 0;
    uint64_t reused = 0;
    uint64_t patched = 0;
    uint64_t changed_dirs = 0;  // folders the event replay named as changed
    unsigned threads = 1;
    bool cache_used = false;
    std::vector<FirstRoot> first_roots;
};

namespace scan {

// Called once between the two phases with "first" and its value; may run on a pool thread.
using EventFn = std::function<void(std::string_view name, const nlohmann::json& value)>;

// Keeps the process-wide thread settings alive: worker stacks of 16 MiB and room for
// `at_least` threads per pool (at least the machine's count). Create it once at the start of
// `main`, before anything else touches the pool, and keep it until the end.
struct ThreadControls {
    std::shared_ptr<void> hold;
};
ThreadControls init_threads(unsigned at_least);

// Lets the memory allocator grow its heaps 16 MiB at a time. A scan builds its tree out of
// many small pieces; a heap grown a page at a time costs a system call and a page-fault stall
// for every few kilobytes of tree. Call once at the start of `main`; it changes no result.
void init_allocator();

inline constexpr std::size_t STACK_SIZE = 16u << 20;

// The performance-core count, else the online processors, capped at 8; 4 when unknown.
unsigned default_threads();

// Runs `f` on a thread with a 16 MiB stack and waits for it (on this thread when none can be
// started). Deep walks and tree work need the room.
void run_big_stack(const std::function<void()>& f);

// The whole scan. Fails only for the root (missing, not a folder) or the pool; every problem
// inside the tree becomes a count. `counters` may be read from other threads meanwhile.
Result<ScanResult> scan(const ScanOptions& options, walk::Counters& counters, const EventFn& event);

// Stores the result's tree in the options' cache folder (or the default one).
Status save_cache(const ScanOptions& options, const ScanResult& result);

}  // namespace scan
}  // namespace bwcore
