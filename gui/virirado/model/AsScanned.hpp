// What the scan said about the items a preview row may name. The engine's row
// is only a proposal: it may call "safe" what the scan listed as "review", name
// a look-only item, or the path of another record. A row is judged against
// every record, members included, that shares its id or its path, and the
// strictest of them holds.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Model.hpp"

namespace virirado {

class AsScanned {
public:
    using Paths = std::unordered_set<std::string>;

    AsScanned() = default;
    // `home` stands for a leading "~" in the records' paths.
    AsScanned(const std::vector<ItemRecord>& records, const std::string& home);

    // The normalised paths a row of this id may name: its records' own paths and
    // those of their direct members. Empty for an id the scan did not list.
    const Paths& pathsOf(const std::string& id) const;

    // The row, never safer than the strictest record sharing its id or its path:
    // a row the scan listed as "review" asks for the typed code whatever the
    // engine now says, one listed look-only reads so.
    PreviewRow tightened(PreviewRow row) const;

    // "not as scanned" when the row names an item the window would not let the
    // user tick, or is one the engine would hand to a tool (or has no path, so
    // no guard can look at the disk) while the scan listed no tool item.
    std::optional<std::string> reason(const PreviewRow& row) const;

private:
    // Everything the records under one key said, folded.
    struct Listing {
        int strictness = 0;
        std::string safety;
        bool untickable = false;
        bool allTools = true;
    };

    // Folds the record in under its id and its path; returns its normalised
    // path, empty when it has none.
    std::string add(const ItemRecord& record);
    const Listing* byPath(const std::optional<std::string>& path) const;

    std::string m_home;
    std::unordered_map<std::string, Paths> m_paths;
    std::unordered_map<std::string, Listing> m_byId;
    std::unordered_map<std::string, Listing> m_byPath;
};

}  // namespace virirado
