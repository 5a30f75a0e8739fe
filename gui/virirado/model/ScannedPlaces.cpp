#include "ScannedPlaces.hpp"

#include <sys/stat.h>

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

AsScanned::Listing ScannedPlaces::atOrInside(const std::string& path) {
    const auto real = guard::realLocation(path, &m_folders);
    if (!real) return {};
    const auto looked = placeOf(*real);
    if (!looked) return {};
    const auto found = m_within.find(looked->place);
    return found == m_within.end() ? AsScanned::Listing{} : found->second;
}

}  // namespace virirado
