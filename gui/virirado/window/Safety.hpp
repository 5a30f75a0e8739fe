// An item's safety tier and clean action, read once from the engine's words so
// the views branch on values, not on string compares spread over many files.
#pragma once

#include <string_view>

namespace virirado {

enum class Safety { safe, review, info, blocked, other };
enum class CleanAction { trash, rm, cmd, info, other };

inline Safety safetyOf(std::string_view word) {
    if (word == "safe") return Safety::safe;
    if (word == "review") return Safety::review;
    if (word == "info") return Safety::info;
    if (word == "blocked") return Safety::blocked;
    return Safety::other;
}

inline CleanAction actionOf(std::string_view word) {
    if (word == "trash") return CleanAction::trash;
    if (word == "rm") return CleanAction::rm;
    if (word == "cmd") return CleanAction::cmd;
    if (word == "info") return CleanAction::info;
    return CleanAction::other;
}

}  // namespace virirado
