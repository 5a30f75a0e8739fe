// The fixed demo data of snapshot mode: 27 cleanup items, a clean preview of them
// and three states of a clean run.
#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "CleanProgress.hpp"
#include "Model.hpp"

namespace virirado::SnapshotDemo {

// The demo items, each last modified 90 days before `now` (seconds since 1970).
std::vector<ItemRecord> records(TimePoint now);
std::vector<ItemRecord> records();

// The ticked items that may be cleaned, then the first unticked "review" item.
PreviewPayload preview();

// "checking", "progress" and "result" of a clean of `preview`, started 14 s before
// `now`.
std::vector<std::pair<std::string, durozizo::CleanProgress>> cleanStates(
    const PreviewPayload& preview, durozizo::CleanProgress::Clock::time_point now);
std::vector<std::pair<std::string, durozizo::CleanProgress>> cleanStates(
    const PreviewPayload& preview);

}  // namespace virirado::SnapshotDemo
