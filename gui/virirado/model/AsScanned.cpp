#include "AsScanned.hpp"

#include "DeleteGuard.hpp"

namespace virirado {

namespace {

namespace guard = durozizo::DeleteGuard;

std::string normalisedIn(const std::string& path, const std::string& home) {
    return guard::normalized(expandTilde(path, home));
}

// How strictly a tier guards its item: "safe" 0, "review" 1, look-only,
// blocked and unknown tiers 2.
int strictness(const std::string& safety) {
    if (safety == "safe") return 0;
    if (safety == "review") return 1;
    return 2;
}

}  // namespace

AsScanned::AsScanned(const std::vector<ItemRecord>& records, const std::string& home)
    : m_home(home) {
    // Members nest; each level is judged like an item of its own. A row of an
    // id may name its record's own path or that of one of its direct members.
    struct Pending {
        const ItemRecord* record;
        // The id whose places this record's path is one of, if any.
        const std::string* placeOf;
        bool topLevel;
    };
    std::vector<Pending> todo;
    for (const ItemRecord& r : records)
        todo.push_back({&r, &r.id, true});
    while (!todo.empty()) {
        const Pending p = todo.back();
        todo.pop_back();
        const std::string path = add(*p.record);
        if (p.placeOf != nullptr && !path.empty()) m_paths[*p.placeOf].insert(path);
        for (const ItemRecord& m : p.record->members)
            todo.push_back({&m, p.topLevel ? p.placeOf : nullptr, false});
    }
}

std::string AsScanned::add(const ItemRecord& record) {
    const auto fold = [&record](Listing& l, bool first) {
        const int s = strictness(record.safety);
        if (first || s > l.strictness) {
            l.strictness = s;
            l.safety = record.safety;
        }
        l.untickable = l.untickable || !record.tickable();
        l.allTools = l.allTools && record.action == "cmd";
    };
    auto [id, newId] = m_byId.try_emplace(record.id);
    fold(id->second, newId);
    if (!record.path || record.path->empty()) return {};
    std::string path = normalisedIn(*record.path, m_home);
    auto [place, newPlace] = m_byPath.try_emplace(path);
    fold(place->second, newPlace);
    return path;
}

const AsScanned::Paths& AsScanned::pathsOf(const std::string& id) const {
    static const Paths none;
    const auto found = m_paths.find(id);
    return found == m_paths.end() ? none : found->second;
}

const AsScanned::Listing* AsScanned::byPath(const std::optional<std::string>& path) const {
    if (!path || path->empty()) return nullptr;
    const auto found = m_byPath.find(normalisedIn(*path, m_home));
    return found == m_byPath.end() ? nullptr : &found->second;
}

PreviewRow AsScanned::tightened(PreviewRow row) const {
    const auto raise = [&row](const Listing* l) {
        if (l != nullptr && l->strictness > strictness(row.safety)) row.safety = l->safety;
    };
    const auto id = m_byId.find(row.id);
    raise(id == m_byId.end() ? nullptr : &id->second);
    raise(byPath(row.path));
    return row;
}

std::optional<std::string> AsScanned::reason(const PreviewRow& row) const {
    const auto id = m_byId.find(row.id);
    const Listing* sameId = id == m_byId.end() ? nullptr : &id->second;
    const Listing* samePath = byPath(row.path);
    if ((sameId != nullptr && sameId->untickable) || (samePath != nullptr && samePath->untickable))
        return "not as scanned";
    // A row the engine runs a tool for, or one without a path, passes the
    // guards without a look at the disk: it is taken only for an item the scan
    // listed so, under every record of its id.
    if (row.action != "cmd" && row.path) return std::nullopt;
    if (sameId != nullptr && sameId->allTools) return std::nullopt;
    return "not as scanned";
}

}  // namespace virirado
