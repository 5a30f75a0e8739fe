#pragma once
// What changed below a root since a cached event id, from the volume's event history, so the
// walk can reuse every folder that provably did not change.
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "fsevents_stream.hpp"
#include "result.hpp"

namespace bwcore::fsevents {

// Lets the sets be searched with a string_view, without building a string.
struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept {
        return std::hash<std::string_view>{}(s);
    }
};
using StringSet = std::unordered_set<std::string, StringHash, std::equal_to<>>;

struct Changes {
    // Subtrees to list again whole: the history lost detail there.
    std::vector<std::string> rescan_subtrees;
    // Every folder with an event below the root.
    StringSet changed_dirs;
    // The changed folders to list whole (a subfolder or an odd item changed, or the folder
    // itself was named).
    StringSet relist_dirs;
    // Per folder, the names of changed files, links and hard links.
    std::unordered_map<std::string, StringSet, StringHash, std::equal_to<>> changed_files;
    // Folders that were themselves the subject of a folder event.
    StringSet touched_dirs;
    uint64_t events = 0;
};

// Shared by the waiting caller and the event callback; every field is guarded by `mutex`.
struct State {
    std::mutex mutex;
    std::condition_variable cv;
    bool history_done = false;
    bool mark_seen = false;
    std::optional<uint64_t> sync_id;
    const char* error = nullptr;
    std::string root;            // as the caller gave it
    std::string canonical_root;  // realpath of root
    std::string sentinel;        // the canonical cache folder holding the sync mark
    Changes changes;
};

// The sync mark's file name inside the cache folder.
inline constexpr std::string_view SYNC_MARK = "fsevents-sync";
// The lifetime of one replay; the scan passes this.
inline constexpr std::chrono::milliseconds DEFAULT_LIMIT{5000};

// Replays the history of `root` (on device `root_dev`) since event id `since`. Fails with a
// short fixed text ("volume journal was reset", "fsevents history timed out", ...), after
// which the caller validates by modification times.
Result<Changes> changes_since(const std::string& root, uint64_t root_dev, uint64_t since,
                              const std::array<uint8_t, 16>& cached_uuid,
                              const std::string& cache_folder, std::chrono::milliseconds limit);

// The stream callback: `info` is the State. Applies the batch and wakes the waiting caller.
void on_events(bwplatform::ConstFSEventStreamRef stream, void* info, std::size_t count,
               const char* const* paths, const uint32_t* flags, const uint64_t* ids);

// The batch work of on_events, for a caller that already holds state.mutex.
void apply_events(State& state, std::size_t count, const char* const* paths, const uint32_t* flags,
                  const uint64_t* ids);

// The text before the last "/"; "/" when that is empty; `path` itself without a "/".
std::string_view parent(std::string_view path);

// True when `path` is `top` or lies below it at a "/" boundary; "/" covers every absolute path.
bool is_within(std::string_view path, std::string_view top);

// Writes the 8-byte sync mark `<sentinel>/fsevents-sync` (little-endian `value`) without
// following a link at that name; the file ends up with mode 0600.
Status write_sync_mark(const std::string& sentinel, uint64_t value);

}  // namespace bwcore::fsevents
