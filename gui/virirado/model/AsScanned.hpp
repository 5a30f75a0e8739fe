// What the scan said about the items a preview row may name. The engine's row
// is only a proposal: it may call "safe" what the scan listed as "review", name
// a look-only item, or the path of another record, or a folder that holds one.
// A row is judged against every record, members included, that shares its id,
// lies at its path or inside its folder, and the strictest of them holds.
//
// This class compares paths in the guards' normal form (where ".." follows a
// link that is looked up on disk, so it is made off the main thread). Where the
// records and the row are on disk, `ScannedPlaces` adds what their places there
// say, which no spelling hides: a second name through a link or a bind mount is
// the same folder.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Model.hpp"

namespace virirado {

class ScannedPlaces;

class AsScanned {
public:
    using Paths = std::unordered_set<std::string>;

    // What some records said, folded: the strictest tier among them, and
    // whether any is one the window would not let the user tick.
    struct Listing {
        bool any = false;
        int strictness = 0;
        std::string safety;
        bool untickable = false;

        void fold(const ItemRecord& record);
        void fold(const Listing& other);
    };

    // Everything the scan said about one row.
    struct Judgement {
        // The records of its id, at its place and inside its folder.
        Listing strictest;
        // The scan listed its id, and only as items a tool cleans.
        bool toolItem = false;
    };

    AsScanned() = default;
    // `home` stands for a leading "~" in the records' paths.
    AsScanned(const std::vector<ItemRecord>& records, const std::string& home);

    // The normalised paths a row of this id may name: its records' own paths and
    // those of their direct members. Empty for an id the scan did not list.
    const Paths& pathsOf(const std::string& id) const;

    // By text alone, with no look at the disk: the records of its id and those
    // whose normalised path is the row's or lies below it.
    Judgement judge(const PreviewRow& row) const;
    // The same, and what the records at or inside the row's place on disk said.
    Judgement judge(const PreviewRow& row, ScannedPlaces& places) const;

    // The row, never safer than judged: a row over a record the scan listed as
    // "review" asks for the typed code whatever the engine now says, one listed
    // look-only reads so.
    static PreviewRow tightened(PreviewRow row, const Judgement& judged);
    PreviewRow tightened(PreviewRow row) const { return tightened(row, judge(row)); }

    // "not as scanned" when the row names or holds an item the window would not
    // let the user tick, or is one the engine would hand to a tool (or has no
    // path, so no guard can look at the disk) while the scan listed no tool item.
    static std::optional<std::string> reason(const PreviewRow& row, const Judgement& judged);
    std::optional<std::string> reason(const PreviewRow& row) const {
        return reason(row, judge(row));
    }

    // "changed since the preview" when the records judged now ask more of the
    // row than the row the sheet showed: it must not go without what it needs now.
    static std::optional<std::string> changedSince(const PreviewRow& shown, const Judgement& now);

    // Each normalised path the records name, with what the records there said.
    const std::map<std::string, Listing>& byPath() const { return m_byPath; }
    const std::string& home() const { return m_home; }

private:
    // Folds the record in under its id and its path; returns its normalised
    // path, empty when it has none.
    std::string add(const ItemRecord& record);

    std::string m_home;
    std::unordered_map<std::string, Paths> m_paths;
    std::unordered_map<std::string, Listing> m_byId;
    // Ids listed only as tool items.
    std::unordered_map<std::string, bool> m_allTools;
    // Ordered, so the records inside a folder are one range of keys.
    std::map<std::string, Listing> m_byPath;
};

}  // namespace virirado
