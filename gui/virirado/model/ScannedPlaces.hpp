// Where the scanned records lie on disk, by the folder itself rather than by the
// text of its path: a record's real location (its parent resolved through links,
// as the delete guards resolve it) and the device and inode of it and of every
// folder above it. A row over such a folder (the same one, or one holding it) is
// judged by what the records there said, whatever name the engine gives it: a
// link to a parent, a link to the home, a bind mount (which no path resolution
// sees through, but which shows the same device and inode). A folder mounted
// inside a row's folder is a way into its source from the row, and the root of
// such a mount is the source folder itself: the row is also judged by what the
// records at or inside each mount root below it said.
//
// It reads the disk, so it is built and asked off the main thread. Each folder
// is looked at once, however many records lie in or below it.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "AsScanned.hpp"
#include "DeleteGuard.hpp"

namespace virirado {

class ScannedPlaces {
public:
    // Looks up the place of every record path `scanned` names. A record that is
    // gone from disk is left to the text judgement.
    explicit ScannedPlaces(const AsScanned& scanned);

    // What the records at the place `path` names, or inside it, or at or
    // inside a folder mounted inside it, said: empty when nothing is there (or
    // it cannot be read). `path` is absolute ("~" already expanded); the item
    // itself is never followed. A row's folder is mostly a record's, so what
    // was looked up for the records serves it too. The mount table is read at
    // the first row that is a folder; a mount point that cannot be looked at
    // is passed over, as an engine of this user cannot enter it either.
    AsScanned::Listing atOrInside(const std::string& path);

    // Folders resolved and places looked at so far: what a check costs.
    std::size_t lookups() const;

    using Place = std::pair<dev_t, ino_t>;
    struct Looked {
        Place place;
        bool folder = false;
    };

private:
    struct PlaceHash {
        std::size_t operator()(const Place& p) const noexcept {
            return std::hash<dev_t>{}(p.first) * 31u ^ std::hash<ino_t>{}(p.second);
        }
    };

    // The device and inode of a real location, looked up once; none when gone.
    std::optional<Looked> placeOf(const std::string& real);
    // Folds what the records at `real` said into it and every folder above it.
    void add(const std::string& real, const Place& own, const AsScanned::Listing& listing);

    // What the records at `place`, or inside it, said.
    AsScanned::Listing within(const Place& place) const;

    // What the records at each place, or inside it, said.
    std::unordered_map<Place, AsScanned::Listing, PlaceHash> m_within;
    // The mount table's mount points, sorted; read once, when first needed.
    std::optional<std::vector<std::string>> m_mountPoints;
    std::unordered_map<std::string, std::optional<Looked>> m_places;
    durozizo::DeleteGuard::ResolvedFolders m_folders;
    // Folders taken as resolved from their own look, not resolved again.
    std::size_t m_known = 0;
};

}  // namespace virirado
