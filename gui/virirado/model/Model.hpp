// Cleanup items and clean previews as the cleaning engine reports them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Json.hpp"

namespace virirado {

// The current user's home folder: $HOME when set and not empty, else the
// password database, else "/".
std::string homeFolder();

// "~" and "~/..." with the home folder put in place of the "~".
std::string expandTilde(const std::string& path, const std::string& home);

struct ItemRecord {
    std::string id;
    std::string category;
    std::string label;
    std::optional<std::string> path;
    int64_t size = 0;
    int64_t realisticSize = 0;
    int64_t fileCount = 0;
    std::string kind;
    std::string safety = "review";
    bool ticked = false;
    std::optional<TimePoint> modified;
    std::string ext;
    bool deletable = true;
    std::string blocked;
    std::string why;
    std::string action = "rm";
    std::vector<ItemRecord> members;
    std::string explainWhat;
    std::string explainGone;
    std::string explainBack;
    std::string note;
    bool sharedBlocks = false;
    bool estimating = false;

    bool operator==(const ItemRecord&) const = default;

    // The window lets the user tick it: deletable, not look-only, not blocked.
    bool tickable() const;

    // One record from an engine item object; none when it has no string "id".
    // `home` expands "~" in member paths and notes.
    static std::optional<ItemRecord> parse(const Json& object);
    static std::optional<ItemRecord> parse(const Json& object, const std::string& home);
};

struct PreviewRow {
    std::string id;
    std::string label;
    std::optional<std::string> path;
    int64_t realisticSize = 0;
    std::string kind;
    std::string safety;
    std::string action;

    bool operator==(const PreviewRow&) const = default;
};

struct PreviewPayload {
    std::string token;
    std::vector<PreviewRow> rows;
    int64_t cleanBytes = 0;
    int blockedCount = 0;
    // The answer to a quick delete of one item, not to "Clean the tank": its
    // confirmation asks for the typed code whatever the window did meanwhile.
    bool quickDelete = false;

    bool operator==(const PreviewPayload&) const = default;

    // The rows that may be cleaned at all (safety other than "info"), in order.
    std::vector<PreviewRow> deletableRows() const;
};

// A preview row the guards objected to, with their reason.
using HeldRow = std::pair<PreviewRow, std::string>;

}  // namespace virirado
