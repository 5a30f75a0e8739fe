#include "AsScanned.hpp"

#include "DeleteGuard.hpp"

namespace virirado {

namespace {

namespace guard = durozizo::DeleteGuard;

std::string normalisedIn(const std::string& path, const std::string& home) {
    return guard::normalized(expandTilde(path, home));
}

}  // namespace

int strictness(const std::string& safety) {
    if (safety == "safe") return 0;
    if (safety == "review") return 1;
    return 2;
}

AsScanned::AsScanned(const std::vector<ItemRecord>& records, const std::string& home)
    : m_home(home) {
    // Members nest; each level is judged like an item of its own.
    std::vector<const ItemRecord*> todo;
    for (const ItemRecord& r : records) {
        std::string own;
        if (r.path && !r.path->empty()) own = normalisedIn(*r.path, home);
        Paths& paths = m_paths[r.id];
        if (!own.empty()) paths.insert(own);
        for (const ItemRecord& m : r.members) {
            if (m.path && !m.path->empty()) paths.insert(normalisedIn(*m.path, home));
        }
        add(r, own);
        for (const ItemRecord& m : r.members)
            todo.push_back(&m);
    }
    while (!todo.empty()) {
        const ItemRecord& m = *todo.back();
        todo.pop_back();
        add(m, m.path && !m.path->empty() ? normalisedIn(*m.path, home) : std::string());
        for (const ItemRecord& inner : m.members)
            todo.push_back(&inner);
    }
}

void AsScanned::add(const ItemRecord& record, const std::string& normalisedPath) {
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
    if (normalisedPath.empty()) return;
    auto [path, newPath] = m_byPath.try_emplace(normalisedPath);
    fold(path->second, newPath);
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
