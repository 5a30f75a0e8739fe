#include "SearchMatch.hpp"

#include <algorithm>

#include "Text.hpp"

namespace durozizo {
namespace {

constexpr double kSecondsPerDay = 86400.0;

KindAliases buildKindAliases() {
    const std::unordered_set<std::string> devbuild{"devbuild",      "devbuild-group", "devbuilds",
                                                   "build",         "builds",         "derived",
                                                   "deploy-output", "wrangler-tmp",   "carthage"};
    return KindAliases{
        {"devbuild", devbuild},
        {"dev",
         {"devbuild",       "devbuild-group", "devbuilds",          "build",          "builds",
          "derived",        "deploy-output",  "wrangler-tmp",       "wrangler-state", "carthage",
          "maven-repo",     "pyenv-version",  "rustup-toolchain",   "gradle-extra",   "conda",
          "homebrew-old",   "swiftpm-cache",  "js-misc-cache",      "poetry-cache",   "xcarchive",
          "xcode-previews", "xcode-doccache", "coresim-caches",     "sims",           "runtimes",
          "xctest",         "xctest-group",   "xctest-orphan",      "devsupport",     "android",
          "android-sdk",    "android-avd",    "android-studio-old", "docker"}},
        {"deploy", {"deploy-output", "wrangler-tmp", "wrangler-state", "docker", "docker-raw"}},
        {"cache",
         {"cache", "caches", "app-cache", "sandbox-cache", "cache-review", "js-misc-cache",
          "poetry-cache", "swiftpm-cache", "chat-cache", "coresim-caches", "adobe-media-cache",
          "adobe-camera-raw", "lightroom-previews", "xcode-doccache"}},
        {"temp", {"temp"}},
        {"log", {"log", "logs"}},
        {"sim",
         {"sims", "runtimes", "xctest", "xctest-group", "xctest-orphan", "xcode-previews",
          "coresim-caches"}},
        {"vm", {"vms", "vm-bundles", "docker-raw", "android-avd"}},
        {"download",
         {"downloads", "download", "download-folder", "installer", "macos-installer", "ipsw",
          "mail-downloads"}},
        {"installer", {"installer", "macos-installer", "ipsw"}},
        {"big", {"biggest-file", "large-old"}},
        {"file",
         {"biggest-file", "large-old", "download", "duplicates", "installer", "macos-installer",
          "ipsw"}},
        {"app", {"apps", "app", "leftover", "support-name"}},
        {"snapshot", {"snapshots"}},
        {"trash", {"trash"}},
        {"cloud", {"cloud-local"}},
    };
}

// The alias set of a kind word: its own entry, else that of the word without
// a plural "s", else none.
const std::unordered_set<std::string>* aliasSet(const std::string& word) {
    const KindAliases& aliases = kindAliases();
    if (auto it = aliases.find(word); it != aliases.end()) return &it->second;
    if (word.ends_with('s')) {
        if (auto it = aliases.find(word.substr(0, word.size() - 1)); it != aliases.end()) {
            return &it->second;
        }
    }
    return nullptr;
}

bool allOccur(const std::vector<std::string>& fragments, const std::string& hay) {
    return std::all_of(fragments.begin(), fragments.end(),
                       [&](const std::string& f) { return text::occursIn(f, hay); });
}

bool pathsMatch(const std::vector<std::string>& paths, const SearchItem& item) {
    if (paths.empty()) return true;
    const std::string path = text::searchForm(item.path);
    const std::string members = text::searchForm(item.memberText);
    return std::all_of(paths.begin(), paths.end(), [&](const std::string& f) {
        return text::occursIn(f, path) || text::occursIn(f, members);
    });
}

bool ageMatches(std::optional<double> older, std::optional<double> newer, const SearchItem& item,
                Seconds now) {
    if (!older && !newer) return true;
    if (!item.modified) return false;
    const double ageDays = (now - *item.modified) / kSecondsPerDay;
    if (older && !(ageDays >= *older)) return false;
    if (newer && !(ageDays <= *newer)) return false;
    return true;
}

}  // namespace

const KindAliases& kindAliases() {
    static const KindAliases aliases = buildKindAliases();
    return aliases;
}

bool kindMatches(std::string_view word, const SearchItem& item) {
    // Engine words are lower-case ASCII already; fold only what is not.
    const auto folded = [](const std::string& s) {
        return text::isSearchForm(s) ? s : text::searchForm(s);
    };
    const std::string w = text::searchForm(word);
    const std::string kind = folded(item.kind);
    const std::string category = folded(item.category);
    if (w == kind || w == category) return true;
    const std::unordered_set<std::string>* set = aliasSet(w);
    return set != nullptr && (set->contains(kind) || set->contains(category));
}

bool flagMatches(std::string_view word, const SearchItem& item) {
    if (word == "ticked" || word == "clean" || word == "selected") return item.ticked;
    if (word == "unticked" || word == "keep") return !item.ticked;
    if (word == "safe") return item.safety == "safe";
    if (word == "review" || word == "check") return item.safety == "review";
    if (word == "info" || word == "look") return item.safety == "info" || item.action == "info";
    if (word == "trash") return item.action == "trash";
    if (word == "cleanable" || word == "tickable") return item.tickable;
    return false;
}

bool VadeQuery::matches(const SearchItem& item, Seconds now) const {
    const std::string& hay = item.haystack();
    if (!allOccur(terms, hay)) return false;
    for (const std::string& x : excluded) {
        if (text::occursIn(x, hay)) return false;
    }
    if (!pathsMatch(paths, item)) return false;
    if (!names.empty() && !allOccur(names, text::searchForm(item.name))) return false;
    if (size.min && item.size < *size.min) return false;
    if (size.max && item.size > *size.max) return false;
    if (!kinds.empty() && std::none_of(kinds.begin(), kinds.end(), [&](const std::string& k) {
            return kindMatches(k, item);
        })) {
        return false;
    }
    if (!exts.empty()) {
        const std::string ext = text::nfc(item.ext);
        if (std::find(exts.begin(), exts.end(), ext) == exts.end()) return false;
    }
    if (!ageMatches(olderThanDays, newerThanDays, item, now)) return false;
    return std::all_of(flags.begin(), flags.end(),
                       [&](const std::string& f) { return flagMatches(f, item); });
}

namespace {

bool biggerFirst(const SearchItem& a, const SearchItem& b) {
    if (a.rankBytes() != b.rankBytes()) return a.rankBytes() > b.rankBytes();
    if (a.size != b.size) return a.size > b.size;
    if (int c = text::localizedCaseInsensitiveCompare(a.name, b.name); c != 0) return c < 0;
    return a.id < b.id;
}

// Sorts pointers, not the items, so each item is copied once.
std::vector<SearchItem> sortedCopy(std::vector<const SearchItem*> order) {
    std::stable_sort(order.begin(), order.end(),
                     [](const SearchItem* a, const SearchItem* b) { return biggerFirst(*a, *b); });
    std::vector<SearchItem> out;
    out.reserve(order.size());
    for (const SearchItem* item : order)
        out.push_back(*item);
    return out;
}

}  // namespace

std::vector<SearchItem> biggestFirst(std::vector<SearchItem> items) {
    std::vector<const SearchItem*> order;
    order.reserve(items.size());
    for (const SearchItem& item : items)
        order.push_back(&item);
    return sortedCopy(std::move(order));
}

std::vector<SearchItem> search(const std::vector<SearchItem>& items, std::string_view text,
                               VadeScope scope, Seconds now) {
    const VadeQuery query = VadeQuery::parse(text);
    std::vector<const SearchItem*> kept;
    for (const SearchItem& item : items) {
        if (scope.contains(item) && query.matches(item, now)) kept.push_back(&item);
    }
    return sortedCopy(std::move(kept));
}

}  // namespace durozizo
