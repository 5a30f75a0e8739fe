#include "ScannedPlaces.hpp"

#include <sys/stat.h>

#include "MountPoints.hpp"

namespace virirado {

namespace {

namespace guard = durozizo::DeleteGuard;

std::optional<ScannedPlaces::Looked> lstatPlace(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    return ScannedPlaces::Looked{{st.st_dev, st.st_ino}, S_ISDIR(st.st_mode)};
}

// The folder holding a real location ("/" for a top-level one); none for "/".
std::optional<std::string> folderAbove(const std::string& real) {
    if (real == "/") return std::nullopt;
    const std::size_t slash = real.rfind('/');
    if (slash == std::string::npos) return std::nullopt;
    return slash == 0 ? std::string("/") : real.substr(0, slash);
}

}  // namespace

ScannedPlaces::ScannedPlaces(const AsScanned& scanned) {
    // In path order a folder comes before what lies in it, so its members find
    // it resolved already.
    for (const auto& [path, listing] : scanned.byPath()) {
        const auto real = guard::realLocation(path, &m_folders);
        if (!real) continue;
        const auto looked = placeOf(*real);
        if (!looked) continue;
        add(*real, looked->place, listing);
        // A folder that is no link is, resolved, its real location.
        if (looked->folder && m_folders.try_emplace(path, *real).second) ++m_known;
    }
}

std::size_t ScannedPlaces::lookups() const {
    return m_places.size() + m_folders.size() - m_known;
}

std::optional<ScannedPlaces::Looked> ScannedPlaces::placeOf(const std::string& real) {
    auto [known, fresh] = m_places.try_emplace(real);
    if (fresh) known->second = lstatPlace(real);
    return known->second;
}

void ScannedPlaces::add(const std::string& real, const Place& own,
                        const AsScanned::Listing& listing) {
    m_within[own].fold(listing);
    // Every folder above it holds it, however the engine names that folder. The
    // folders of a real location are links no more, so each is itself.
    for (auto folder = folderAbove(real); folder; folder = folderAbove(*folder)) {
        if (const auto looked = placeOf(*folder)) m_within[looked->place].fold(listing);
    }
}

AsScanned::Listing ScannedPlaces::within(const Place& place) const {
    const auto found = m_within.find(place);
    return found == m_within.end() ? AsScanned::Listing{} : found->second;
}

AsScanned::Listing ScannedPlaces::atOrInside(const std::string& path) {
    const auto real = guard::realLocation(path, &m_folders);
    if (!real) return {};
    const auto looked = placeOf(*real);
    if (!looked) return {};
    AsScanned::Listing listing = within(looked->place);
    if (!looked->folder) return listing;
    if (!m_mountPoints) m_mountPoints = mountpoints::read();
    // A mount point shows the root of what is mounted there: for a bind mount,
    // the device and inode of the folder it was made from.
    for (const std::string& point : mountpoints::inside(*m_mountPoints, *real)) {
        if (const auto root = placeOf(point)) listing.fold(within(root->place));
    }
    return listing;
}

}  // namespace virirado
