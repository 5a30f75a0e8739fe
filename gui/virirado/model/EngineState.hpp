// The engine client's published state: what every view of the window reads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "CleanProgress.hpp"
#include "Model.hpp"
#include "Tree.hpp"

namespace virirado {

// The published state: every change to it is announced.
struct EngineState {
    std::optional<TreeNode> root;
    // Raised whenever `root` is replaced, so views rebuild their rows only then.
    int64_t rootRevision = 0;
    bool scanning = false;
    bool hasScanned = false;
    double pct = 0;
    std::optional<double> eta;
    std::string place;
    int64_t freeBytes = 0;
    int64_t totalBytes = 0;
    std::string volumeName = "This disk";
    std::optional<std::string> banner;
    std::optional<std::string> accessNote;
    std::optional<PreviewPayload> preview;
    bool quickDeleteMode = false;
    bool verifying = false;
    std::optional<durozizo::CleanProgress> cleanProgress;
    // Why lines of the deletion log wait to be written; none while every line
    // is on disk.
    std::optional<std::string> deletionLogProblem;
    bool includePrivate = true;
    int64_t scanGeneration = 0;
    std::string commandSummary;
    int64_t donePlaces = 0;
    int64_t totalPlaces = 0;
    std::vector<std::string> scanPlaces;

    bool operator==(const EngineState&) const = default;
};

}  // namespace virirado
