#include "SearchMatch.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>

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

// An item's text field in search form, copied only when it is not in that form
// already (engine words and most paths are lower-case ASCII).
class Folded {
public:
    explicit Folded(const std::string& s) : m_view(s) {
        if (!text::isSearchForm(s)) {
            m_own = text::searchForm(s);
            m_view = m_own;
        }
    }
    Folded(const Folded&) = delete;
    Folded& operator=(const Folded&) = delete;

    std::string_view view() const { return m_view; }

private:
    std::string m_own;
    std::string_view m_view;
};

bool allOccur(const std::vector<std::string>& fragments, std::string_view hay) {
    return std::all_of(fragments.begin(), fragments.end(),
                       [&](const std::string& f) { return text::occursIn(f, hay); });
}

bool pathsMatch(const std::vector<std::string>& paths, const SearchItem& item) {
    if (paths.empty()) return true;
    const Folded path(item.path);
    const Folded members(item.memberText);
    return std::all_of(paths.begin(), paths.end(), [&](const std::string& f) {
        return text::occursIn(f, path.view()) || text::occursIn(f, members.view());
    });
}

bool extMatches(const std::vector<std::string>& exts, const std::string& ext) {
    if (exts.empty()) return true;
    // The extension is compared in canonical composition only, not lower-cased
    // again: one assigned after construction keeps its letter case.
    if (text::isSearchForm(ext)) return std::find(exts.begin(), exts.end(), ext) != exts.end();
    return std::find(exts.begin(), exts.end(), text::nfc(ext)) != exts.end();
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

// Tests a query against items. For many items, widenKinds() first: the kind
// words are then widened once into the one set of engine words that any of
// them accepts, so an item costs two look-ups however many kind words there are.
class Matcher {
public:
    explicit Matcher(const VadeQuery& query) : m_query(query) {}
    Matcher(const Matcher&) = delete;
    Matcher& operator=(const Matcher&) = delete;

    void widenKinds() {
        const VadeQuery& query = m_query;
        m_widened = true;
        m_words.reserve(query.kinds.size());
        for (const std::string& k : query.kinds)
            m_words.push_back(text::searchForm(k));
        for (const std::string& w : m_words) {
            m_accepted.insert(w);
            if (const std::unordered_set<std::string>* set = aliasSet(w)) {
                m_accepted.insert(set->begin(), set->end());
            }
        }
    }

    bool operator()(const SearchItem& item, Seconds now) const {
        const VadeQuery& q = m_query;
        const std::string& hay = item.haystack();
        if (!allOccur(q.terms, hay)) return false;
        for (const std::string& x : q.excluded) {
            if (text::occursIn(x, hay)) return false;
        }
        if (!pathsMatch(q.paths, item)) return false;
        if (!q.names.empty() && !allOccur(q.names, Folded(item.name).view())) return false;
        if (q.size.min && item.size < *q.size.min) return false;
        if (q.size.max && item.size > *q.size.max) return false;
        if (!q.kinds.empty() && !kindsMatch(item)) return false;
        if (!extMatches(q.exts, item.ext)) return false;
        if (!ageMatches(q.olderThanDays, q.newerThanDays, item, now)) return false;
        return std::all_of(q.flags.begin(), q.flags.end(),
                           [&](const std::string& f) { return flagMatches(f, item); });
    }

private:
    bool kindsMatch(const SearchItem& item) const {
        if (!m_widened) {
            return std::any_of(m_query.kinds.begin(), m_query.kinds.end(),
                               [&](const std::string& k) { return kindMatches(k, item); });
        }
        return m_accepted.contains(Folded(item.kind).view()) ||
               m_accepted.contains(Folded(item.category).view());
    }

    const VadeQuery& m_query;
    bool m_widened = false;
    std::vector<std::string> m_words;  // owns the text m_accepted views
    std::unordered_set<std::string_view> m_accepted;
};

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
    return Matcher(*this)(item, now);
}

namespace {

// One item to order: its rank bytes as a key that sorts ascending for larger
// counts first, and its position in the caller's items.
struct Ranked {
    uint64_t key;
    std::size_t pos;
};

uint64_t descendingKey(int64_t v) {
    return ~(static_cast<uint64_t>(v) ^ (uint64_t{1} << 63));
}

Ranked rankedAt(const std::vector<SearchItem>& items, std::size_t pos) {
    return {descendingKey(items[pos].rankBytes()), pos};
}

// A stable radix sort by key, 11 bits at a time: about a third of a comparison sort's
// time for a full list. Digits that all items share (the high bits of real
// sizes) are skipped.
void sortByKey(std::vector<Ranked>& ranked) {
    constexpr unsigned kBits = 11;
    constexpr std::size_t kBuckets = std::size_t{1} << kBits;
    constexpr unsigned kDigits = (64 + kBits - 1) / kBits;
    const auto digit = [](uint64_t key, unsigned d) {
        return static_cast<std::size_t>((key >> (kBits * d)) & (kBuckets - 1));
    };
    if (ranked.size() < 2) return;
    std::vector<std::array<std::size_t, kBuckets>> counts(kDigits);
    for (const Ranked& r : ranked) {
        for (unsigned d = 0; d < kDigits; ++d)
            ++counts[d][digit(r.key, d)];
    }
    std::vector<Ranked> buffer(ranked.size());
    for (unsigned d = 0; d < kDigits; ++d) {
        std::array<std::size_t, kBuckets>& at = counts[d];
        if (at[digit(ranked.front().key, d)] == ranked.size()) continue;
        std::size_t sum = 0;
        for (std::size_t& c : at)
            sum += std::exchange(c, sum);
        for (const Ranked& r : ranked)
            buffer[at[digit(r.key, d)]++] = r;
        ranked.swap(buffer);
    }
}

// What the order needs of an item whose rank bytes another item shares. It is
// read from the items in their own order: visiting them in sorted order would
// miss the cache on nearly every item of a long list.
struct TieKeys {
    int64_t size = 0;
    std::optional<std::string> name;  // collation key; none when the collator made none
    // The id in canonical composition: ids order by code point, and canonically
    // equivalent spellings of one id count as equal, not by their raw bytes.
    std::string id;
};

// The runs of two or more equal rank keys in sorted `ranked`, as [begin, end).
std::vector<std::pair<std::size_t, std::size_t>> rankRuns(const std::vector<Ranked>& ranked) {
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    for (std::size_t begin = 0; begin < ranked.size();) {
        std::size_t end = begin + 1;
        while (end < ranked.size() && ranked[end].key == ranked[begin].key)
            ++end;
        if (end - begin > 1) runs.emplace_back(begin, end);
        begin = end;
    }
    return runs;
}

// One tied item while its run is sorted.
struct Tied {
    const TieKeys* keys;
    std::size_t pos;
};

// Orders one run of equal rank by size, name and id; the position as last key
// makes the unstable sort give the stable order.
void orderRun(const std::vector<SearchItem>& items, std::vector<Tied>& run) {
    const bool keyed =
        std::all_of(run.begin(), run.end(), [](const Tied& t) { return t.keys->name.has_value(); });
    std::sort(run.begin(), run.end(), [&](const Tied& a, const Tied& b) {
        if (a.keys->size != b.keys->size) return a.keys->size > b.keys->size;
        const int byName =
            keyed ? a.keys->name->compare(*b.keys->name)
                  : text::localizedCaseInsensitiveCompare(items[a.pos].name, items[b.pos].name);
        if (byName != 0) return byName < 0;
        if (int c = a.keys->id.compare(b.keys->id); c != 0) return c < 0;
        return a.pos < b.pos;
    });
}

// Puts every run of equal rank bytes in sorted `ranked` into its final order.
void orderTies(const std::vector<SearchItem>& items, std::vector<Ranked>& ranked) {
    const std::vector<std::pair<std::size_t, std::size_t>> runs = rankRuns(ranked);
    if (runs.empty()) return;
    // slot[p] is one more than the index of item p's keys; 0 for an untied item.
    std::vector<std::size_t> slot(items.size(), 0);
    std::size_t tied = 0;
    for (const auto& [begin, end] : runs) {
        tied += end - begin;
        for (std::size_t i = begin; i < end; ++i)
            slot[ranked[i].pos] = 1;
    }
    std::vector<TieKeys> keys;
    keys.reserve(tied);
    for (std::size_t p = 0; p < items.size(); ++p) {
        if (slot[p] == 0) continue;
        keys.push_back({items[p].size, text::localizedCaseInsensitiveKey(items[p].name),
                        text::nfc(items[p].id)});
        slot[p] = keys.size();
    }
    std::vector<Tied> run;
    for (const auto& [begin, end] : runs) {
        run.clear();
        for (std::size_t i = begin; i < end; ++i)
            run.push_back({&keys[slot[ranked[i].pos] - 1], ranked[i].pos});
        orderRun(items, run);
        for (std::size_t i = begin; i < end; ++i)
            ranked[i].pos = run[i - begin].pos;
    }
}

// Sorts ranked items, taken in input order, biggest first and returns their
// positions. Only items that share their rank bytes with another are read
// again.
std::vector<std::size_t> orderBiggestFirst(const std::vector<SearchItem>& items,
                                           std::vector<Ranked> ranked) {
    sortByKey(ranked);
    orderTies(items, ranked);
    std::vector<std::size_t> positions(ranked.size());
    for (std::size_t i = 0; i < ranked.size(); ++i)
        positions[i] = ranked[i].pos;
    return positions;
}

}  // namespace

std::vector<SearchItem> biggestFirst(std::vector<SearchItem> items) {
    std::vector<Ranked> ranked;
    ranked.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i)
        ranked.push_back(rankedAt(items, i));
    std::vector<SearchItem> out;
    out.reserve(items.size());
    for (std::size_t p : orderBiggestFirst(items, std::move(ranked)))
        out.push_back(std::move(items[p]));
    return out;
}

std::vector<std::size_t> searchIndices(const std::vector<SearchItem>& items, std::string_view text,
                                       VadeScope scope, Seconds now) {
    const VadeQuery query = VadeQuery::parse(text);
    // An empty query passes every item; only the scope filters then.
    const bool everyItem = query.isEmpty();
    Matcher matches(query);
    matches.widenKinds();
    std::vector<Ranked> kept;
    kept.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (scope.contains(items[i]) && (everyItem || matches(items[i], now))) {
            kept.push_back(rankedAt(items, i));
        }
    }
    return orderBiggestFirst(items, std::move(kept));
}

std::vector<SearchItem> search(const std::vector<SearchItem>& items, std::string_view text,
                               VadeScope scope, Seconds now) {
    std::vector<SearchItem> out;
    const std::vector<std::size_t> order = searchIndices(items, text, scope, now);
    out.reserve(order.size());
    for (std::size_t p : order)
        out.push_back(items[p]);
    return out;
}

}  // namespace durozizo
