#pragma once
// How big each path of a list is: walked afresh, or read from a tree already scanned. Both give
// the same row, whose keys are written in one place (`out`).
#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rules.hpp"
#include "tree.hpp"

namespace bwcore::sizes {

inline constexpr std::size_t MAX_SAMPLES = 50;

// The row: "path" as given, "allocated", "logical", "files", "dirs", "mtime" (seconds),
// "dataless", "protected", "skipped_count", "skipped" ([path, reason] arrays), "root_blocked"
// (empty when measured), "partial" (always false, as callers expect: a folder inside that could
// not be listed is already told by "skipped_count" and "skipped").
nlohmann::json out(std::string_view path, const Agg& totals, std::string_view root_blocked,
                   nlohmann::json skipped);

// Walks `path` afresh on the caller's pool. Nothing is an error: a path that cannot be
// measured says why in "root_blocked". Hard-linked files count once within the path.
nlohmann::json measure(const std::string& path, const std::optional<std::string>& home,
                       const Rules& rules, bool generic_lister);

// measure over every path on a private pool of max(threads, 1) workers; rows in input order.
std::vector<nlohmann::json> measure_many(const std::vector<std::string>& paths,
                                         const std::optional<std::string>& home, const Rules& rules,
                                         unsigned threads, bool generic_lister);

// The row of a folder of a settled tree, each hard-linked file counted once within it.
nlohmann::json from_tree(std::string_view path, const Node& node);

}  // namespace bwcore::sizes
