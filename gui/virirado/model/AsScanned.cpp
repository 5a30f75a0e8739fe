#include "AsScanned.hpp"

#include "DeleteGuard.hpp"
#include "ScannedPlaces.hpp"

namespace virirado {

namespace {

namespace guard = durozizo::DeleteGuard;

std::string normalisedIn(const std::string& path, const std::string& home) {
    return guard::normalized(expandTilde(path, home));
}

// How strictly a tier guards its item: "safe" 0, "review" 1, look-only,
// blocked and unknown tiers 2.
int tierStrictness(const std::string& safety) {
    if (safety == "safe") return 0;
    if (safety == "review") return 1;
    return 2;
}

}  // namespace

void AsScanned::Listing::fold(const ItemRecord& record) {
    Listing one;
    one.any = true;
    one.strictness = tierStrictness(record.safety);
    one.safety = record.safety;
    one.untickable = !record.tickable();
    fold(one);
}

void AsScanned::Listing::fold(const Listing& other) {
    if (!other.any) return;
    if (!any || other.strictness > strictness) {
        strictness = other.strictness;
        safety = other.safety;
    }
    any = true;
    untickable = untickable || other.untickable;
}

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
    m_byId[record.id].fold(record);
    auto [tools, newId] = m_allTools.try_emplace(record.id, true);
    tools->second = tools->second && record.action == "cmd";
    if (!record.path || record.path->empty()) return {};
    std::string path = normalisedIn(*record.path, m_home);
    m_byPath[path].fold(record);
    return path;
}

const AsScanned::Paths& AsScanned::pathsOf(const std::string& id) const {
    static const Paths none;
    const auto found = m_paths.find(id);
    return found == m_paths.end() ? none : found->second;
}

AsScanned::Judgement AsScanned::judge(const PreviewRow& row) const {
    Judgement j;
    if (const auto id = m_byId.find(row.id); id != m_byId.end()) {
        j.strictest.fold(id->second);
        j.toolItem = m_allTools.at(row.id);
    }
    if (!row.path || row.path->empty()) return j;
    const std::string path = normalisedIn(*row.path, m_home);
    // The folder itself, then everything whose path continues it with "/":
    // those keys sort together, before the first that continues it with "0".
    const auto at = m_byPath.find(path);
    if (at != m_byPath.end()) j.strictest.fold(at->second);
    const std::string below = path == "/" ? "/" : path + "/";
    std::string past = below;
    past.back() = '0';
    for (auto it = m_byPath.lower_bound(below); it != m_byPath.end() && it->first < past; ++it)
        j.strictest.fold(it->second);
    return j;
}

AsScanned::Judgement AsScanned::judge(const PreviewRow& row, ScannedPlaces& places) const {
    Judgement j = judge(row);
    if (row.path && !row.path->empty())
        j.strictest.fold(places.atOrInside(expandTilde(*row.path, m_home)));
    return j;
}

PreviewRow AsScanned::tightened(PreviewRow row, const Judgement& judged) {
    if (judged.strictest.any && judged.strictest.strictness > tierStrictness(row.safety))
        row.safety = judged.strictest.safety;
    return row;
}

std::optional<std::string> AsScanned::reason(const PreviewRow& row, const Judgement& judged) {
    if (judged.strictest.untickable) return "not as scanned";
    // A row the engine runs a tool for, or one without a path, passes the
    // guards without a look at the disk: it is taken only for an item the scan
    // listed so, under every record of its id.
    if (row.action != "cmd" && row.path) return std::nullopt;
    if (judged.toolItem) return std::nullopt;
    return "not as scanned";
}

std::optional<std::string> AsScanned::changedSince(const PreviewRow& shown, const Judgement& now) {
    if (tightened(shown, now).safety != shown.safety) return "changed since the preview";
    return std::nullopt;
}

}  // namespace virirado
