#include "ScannedPlaces.hpp"

#include <sys/stat.h>

namespace virirado {

namespace {

namespace guard = durozizo::DeleteGuard;

std::optional<std::pair<dev_t, ino_t>> lstatPlace(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    return std::pair{st.st_dev, st.st_ino};
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
    for (const auto& [path, listing] : scanned.byPath()) {
        const auto real = guard::realLocation(path, &m_folders);
        if (real) add(*real, listing);
    }
    m_lookups += m_folders.size();
}

std::optional<ScannedPlaces::Place> ScannedPlaces::placeOf(const std::string& real) {
    auto [known, fresh] = m_places.try_emplace(real);
    if (fresh) {
        known->second = lstatPlace(real);
        ++m_lookups;
    }
    return known->second;
}

void ScannedPlaces::add(const std::string& real, const AsScanned::Listing& listing) {
    // Gone from disk: removing a folder cannot take it along.
    const auto own = placeOf(real);
    if (!own) return;
    m_within[*own].fold(listing);
    // Every folder above it holds it, however the engine names that folder. The
    // folders of a real location are links no more, so each is itself.
    for (auto folder = folderAbove(real); folder; folder = folderAbove(*folder)) {
        if (const auto place = placeOf(*folder)) m_within[*place].fold(listing);
    }
}

AsScanned::Listing ScannedPlaces::atOrInside(const std::string& path) const {
    const auto real = guard::realLocation(path);
    if (!real) return {};
    const auto place = lstatPlace(*real);
    if (!place) return {};
    const auto found = m_within.find(*place);
    return found == m_within.end() ? AsScanned::Listing{} : found->second;
}

}  // namespace virirado
