#include "Scope.hpp"

#include "SearchMatch.hpp"

namespace durozizo {
namespace {

struct ScopeInfo {
    std::string_view raw;
    std::string_view title;
    std::string_view symbol;
};

// Indexed by VadeScope::Case.
constexpr std::array<ScopeInfo, 9> kScopes{{
    {"everything", "Everything", "square.stack.3d.up"},
    {"biggest", "Biggest files", "arrow.down.right.and.arrow.up.left.circle"},
    {"developer", "Developer", "hammer"},
    {"caches", "Caches & temp", "bolt.horizontal"},
    {"files", "Downloads & Trash", "tray.and.arrow.down"},
    {"apps", "Apps", "app.dashed"},
    {"system", "System & snapshots", "clock.arrow.circlepath"},
    {"cloud", "VMs & cloud", "cloud"},
    {"network", "Network", "network"},
}};

bool isOneOf(const std::string& word, std::initializer_list<std::string_view> words) {
    for (std::string_view w : words) {
        if (word == w) return true;
    }
    return false;
}

}  // namespace

const std::array<VadeScope, 9>& VadeScope::allCases() {
    static const std::array<VadeScope, 9> all{everything, biggest, developer, caches, files,
                                              apps,       system,  cloud,     network};
    return all;
}

std::optional<VadeScope> VadeScope::fromRaw(std::string_view raw) {
    for (VadeScope s : allCases()) {
        if (s.rawValue() == raw) return s;
    }
    return std::nullopt;
}

std::string_view VadeScope::rawValue() const {
    return kScopes[m_case].raw;
}
std::string_view VadeScope::title() const {
    return kScopes[m_case].title;
}
std::string_view VadeScope::symbol() const {
    return kScopes[m_case].symbol;
}

const std::unordered_set<std::string>& VadeScope::biggestKinds() {
    static const std::unordered_set<std::string> kinds{
        "biggest-file", "large-old",       "download",  "download-folder",
        "installer",    "macos-installer", "ipsw",      "duplicates",
        "cloud-local",  "vm-bundles",      "docker-raw"};
    return kinds;
}

const std::unordered_set<std::string>& VadeScope::developerKinds() {
    static const std::unordered_set<std::string> kinds = [] {
        const KindAliases& aliases = kindAliases();
        auto it = aliases.find("dev");
        return it == aliases.end() ? std::unordered_set<std::string>{} : it->second;
    }();
    return kinds;
}

bool VadeScope::contains(const SearchItem& item) const {
    const std::string& kind = item.kind;
    const std::string& cat = item.category;
    switch (m_case) {
        case everything:
            return true;
        case biggest:
            return biggestKinds().contains(kind);
        case developer:
            return isOneOf(cat, {"derived", "builds", "devbuilds", "sims", "runtimes", "xctest",
                                 "devsupport", "android", "docker"}) ||
                   developerKinds().contains(kind);
        case caches:
            return isOneOf(cat, {"caches", "temp", "logs"});
        case files:
            return (isOneOf(cat, {"downloads", "trash"}) && !biggestKinds().contains(kind)) ||
                   kind == "trash";
        case apps:
            return cat == "apps";
        case system:
            return isOneOf(cat, {"snapshots", "system"});
        case cloud:
            return cat == "vms" ||
                   isOneOf(kind, {"cloud-local", "vm-bundles", "docker-raw", "android-avd"});
        case network:
            return kind == "share";
    }
    return false;
}

}  // namespace durozizo
