#pragma once
// The JSON lists every output shows of a scanned tree: totals, biggest folders, biggest
// recorded files, all recorded files above a size, dev/build folders and skipped samples; and
// the lookup of a path's node. Rows are sorted by allocated bytes descending, then path
// ascending (bytes; a prefix first).
#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "rules.hpp"
#include "tree.hpp"

namespace bwcore::scan {

// One root of a tree argument: the root's path and its settled node.
struct RootRef {
    std::string path;
    const Node* node = nullptr;
};
using TreeRef = std::vector<RootRef>;

// "alloc", "logical", "files", "dirs", "mtime" (seconds), "dataless", "protected", "skipped".
nlohmann::json agg_json(const Agg& agg);

// Nanoseconds as floating-point seconds; null when not finite.
nlohmann::json mtime_json(int64_t ns);

// Every folder (roots included) whose subtree allocates at least `min` bytes: its totals and
// "path"; the first `limit` rows.
nlohmann::json dirs_view(const TreeRef& tree, uint64_t min, std::size_t limit);

// The biggest recorded big files: "path", "alloc", "logical", "mtime". Holds at most `limit`
// candidates at a time.
nlohmann::json top_files(const TreeRef& tree, std::size_t limit);

// Every recorded file whose larger of allocated and logical bytes is at least `min`: "path",
// "alloc", "logical", "mtime", "dev" (its folder's), "ino", "linked"; the first `limit` rows.
nlohmann::json files_view(const TreeRef& tree, uint64_t min, std::size_t limit);

// Every folder with a dev/build kind: its totals, "path", "kind", "name", "marker". No limit.
nlohmann::json devbuilds_view(const TreeRef& tree, const MarkerIndex& index);

// The first `limit` stored samples in pre-order, each a [path, reason] array.
nlohmann::json skipped_samples(const Node& root, std::size_t limit);

// (kind text, name) of a dev kind number; empty texts for 0 and unknown numbers.
std::pair<std::string, std::string> kind_name(uint16_t dev_kind, const MarkerIndex& index);

// The node of `path` in the tree rooted at `root_path`, or nullptr when the path is not under
// the root or no folder has that name.
const Node* find(const Node& root, std::string_view root_path, std::string_view path);
Node* find(Node& root, std::string_view root_path, std::string_view path);

}  // namespace bwcore::scan
