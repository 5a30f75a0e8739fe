#include "RowGroups.hpp"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <string_view>
#include <utility>

#include "FileType.hpp"
#include "Numeric.hpp"
#include "Text.hpp"

namespace virirado {

namespace {

using durozizo::FileType;
using durozizo::saturatingAdd;

constexpr std::string_view kTypePrefix = "type:";

std::optional<FileType> fileTypeOfKey(const std::string& key) {
    if (!key.starts_with(kTypePrefix)) return std::nullopt;
    return FileType::fromRaw(std::string_view(key).substr(kTypePrefix.size()));
}

// The first code point upper-cased; the rest as it is.
std::string upperFirst(const std::string& text) {
    if (text.empty()) return text;
    int32_t i = 0;
    UChar32 c = 0;
    U8_NEXT(reinterpret_cast<const uint8_t*>(text.data()), i, static_cast<int32_t>(text.size()), c);
    if (c < 0) return text;
    const UChar32 upper = u_toupper(c);
    std::string out;
    char buffer[4];
    int32_t n = 0;
    UBool failed = false;
    U8_APPEND(reinterpret_cast<uint8_t*>(buffer), n, 4, upper, failed);
    if (failed) return text;
    out.append(buffer, static_cast<std::size_t>(n));
    out.append(text, static_cast<std::size_t>(i), std::string::npos);
    return out;
}

// Drops `prefix` and a separator from the front of `name` when enough is left,
// trying each separator in turn on what the earlier ones left.
void stripPrefix(std::string& name, const std::string& prefix) {
    if (prefix.empty()) return;
    static constexpr std::array<std::string_view, 3> kSeparators{": ", " \u00B7 ", " "};
    const std::string loweredPrefix = durozizo::text::lower(prefix);
    const std::size_t prefixCount = durozizo::text::graphemeCount(prefix);
    for (std::string_view separator : kSeparators) {
        const std::string lead = loweredPrefix + std::string(separator);
        if (!durozizo::hasCharPrefix(durozizo::text::lower(name), lead)) continue;
        const std::size_t cut = prefixCount + durozizo::text::graphemeCount(separator);
        const auto chars = durozizo::text::graphemes(name);
        if (cut + 2 >= chars.size()) continue;
        name.erase(0, static_cast<std::size_t>(chars[cut].data() - name.data()));
    }
}

// A final "-" or "_" followed by 12 or more ASCII letters and digits.
void cutHashSuffix(std::string& name) {
    std::size_t run = 0;
    while (run < name.size() &&
           std::isalnum(static_cast<unsigned char>(name[name.size() - 1 - run])) != 0 &&
           static_cast<unsigned char>(name[name.size() - 1 - run]) < 0x80) {
        ++run;
    }
    if (run < 12 || run == name.size()) return;
    const char before = name[name.size() - 1 - run];
    if (before == '-' || before == '_') name.erase(name.size() - 1 - run);
}

bool trimmedAt(std::string_view text, std::size_t pos, std::size_t& length) {
    if (text.compare(pos, 2, "\u00B7") == 0) {
        length = 2;
        return true;
    }
    const char c = text[pos];
    length = 1;
    return c == ' ' || c == ':' || c == '-';
}

std::string trimMarks(const std::string& text) {
    std::size_t begin = 0;
    std::size_t length = 0;
    while (begin < text.size() && trimmedAt(text, begin, length))
        begin += length;
    std::size_t end = text.size();
    while (end > begin) {
        if (end - begin >= 2 && text.compare(end - 2, 2, "\u00B7") == 0) {
            end -= 2;
        } else if (text[end - 1] == ' ' || text[end - 1] == ':' || text[end - 1] == '-') {
            --end;
        } else {
            break;
        }
    }
    return text.substr(begin, end - begin);
}

bool rowBefore(const VadeRow* a, const VadeRow* b) {
    if (getsBack(*a) != getsBack(*b)) return getsBack(*a) > getsBack(*b);
    return a->size > b->size;
}

}  // namespace

int64_t TreeGroup::tickedCount() const {
    return std::count_if(rows.begin(), rows.end(), [](const VadeRow* r) { return r->ticked; });
}

RowRefs TreeGroup::tickable() const {
    RowRefs out;
    for (const VadeRow* r : rows) {
        if (r->tickable) out.push_back(r);
    }
    return out;
}

int64_t TreeGroup::back() const {
    int64_t sum = 0;
    for (const VadeRow* r : rows)
        sum = saturatingAdd(sum, getsBack(*r));
    return sum;
}

int64_t TreeGroup::tickedBack() const {
    int64_t sum = 0;
    for (const VadeRow* r : rows) {
        if (r->ticked) sum = saturatingAdd(sum, getsBack(*r));
    }
    return sum;
}

TreeGroup::State TreeGroup::state() const {
    std::size_t tickableCount = 0;
    std::size_t ticked = 0;
    for (const VadeRow* r : rows) {
        if (!r->tickable) continue;
        ++tickableCount;
        if (r->ticked) ++ticked;
    }
    if (ticked == 0) return State::none;
    return ticked == tickableCount ? State::all : State::partial;
}

bool TreeGroup::operator==(const TreeGroup& other) const {
    if (key != other.key || title != other.title || symbol != other.symbol) return false;
    return std::equal(rows.begin(), rows.end(), other.rows.begin(), other.rows.end(),
                      [](const VadeRow* a, const VadeRow* b) { return a == b || *a == *b; });
}

std::string groupKey(const VadeRow& row) {
    if (FileType::groupsByType(row.kind)) {
        return std::string(kTypePrefix) + std::string(FileType::of(row.ext, row.name).rawValue());
    }
    return row.category;
}

std::string groupTitle(const std::string& key) {
    if (auto type = fileTypeOfKey(key)) return std::string(type->title());
    static const std::map<std::string, std::string, std::less<>> kOwn{
        {"vms", "Virtual machines"},
        {"sims", "Simulators"},
        {"runtimes", "Simulator runtimes"},
        {"android", "Android"},
    };
    if (auto it = kOwn.find(key); it != kOwn.end()) return it->second;
    std::string title = categoryTitle(key);
    if (title != key) return title;
    return upperFirst(key);
}

std::string groupSymbol(const std::string& key) {
    if (auto type = fileTypeOfKey(key)) return std::string(type->symbol());
    return {};
}

std::string kindTitle(const VadeRow& row) {
    static const std::map<std::string, std::string, std::less<>> kTitles{
        {"biggest-file", "Big file"},
        {"large-old", "Big old file"},
        {"devbuild", "Dev build"},
        {"devbuild-group", "Dev builds"},
        {"deploy-output", "Deploy output"},
        {"wrangler-tmp", "Wrangler temp"},
        {"wrangler-state", "Wrangler state"},
        {"maven-repo", "Maven repo"},
        {"pyenv-version", "Python version"},
        {"rustup-toolchain", "Rust toolchain"},
        {"xctest-group", "XCTest clones"},
        {"xcarchive", "Xcode archive"},
        {"installer", "Installer"},
        {"download", "Download"},
        {"download-folder", "Download folder"},
        {"cloud-local", "Cloud copy"},
        {"vm-bundles", "Virtual machine"},
        {"docker-raw", "Docker disk"},
        {"duplicates", "Duplicates"},
        {"app", "App"},
        {"leftover", "Leftovers"},
    };
    if (auto it = kTitles.find(row.kind); it != kTitles.end()) return it->second;
    return categoryTitle(row.category);
}

std::string shortName(const VadeRow& row) {
    std::string n = row.name;
    const std::array<std::string, 7> prefixes{groupTitle(row.category),
                                              categoryTitle(row.category),
                                              kindTitle(row),
                                              "Big file",
                                              "Simulator runtime",
                                              "Simulator",
                                              "DerivedData"};
    for (const std::string& prefix : prefixes)
        stripPrefix(n, prefix);
    if (const std::size_t paren = n.find('('); paren != std::string::npos && paren != 0) {
        n.erase(paren);
    }
    cutHashSuffix(n);
    n = trimMarks(n);
    return n.empty() ? row.name : n;
}

std::vector<TreeGroup> vadeGroups(const RowRefs& rows) {
    std::vector<TreeGroup> groups;
    std::map<std::string, std::size_t> index;
    for (const VadeRow* row : rows) {
        std::string key = groupKey(*row);
        auto [it, added] = index.try_emplace(key, groups.size());
        if (added) {
            TreeGroup g;
            g.title = groupTitle(key);
            g.symbol = groupSymbol(key);
            g.key = std::move(key);
            groups.push_back(std::move(g));
        }
        groups[it->second].rows.push_back(row);
    }
    struct Ranked {
        int64_t back;
        int64_t sizes;
        TreeGroup group;
    };
    std::vector<Ranked> ranked;
    ranked.reserve(groups.size());
    for (TreeGroup& g : groups) {
        std::stable_sort(g.rows.begin(), g.rows.end(), rowBefore);
        int64_t sizes = 0;
        for (const VadeRow* r : g.rows)
            sizes = saturatingAdd(sizes, r->size);
        const int64_t back = g.back();
        ranked.push_back({back, sizes, std::move(g)});
    }
    std::sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
        if (a.back != b.back) return a.back > b.back;
        if (a.sizes != b.sizes) return a.sizes > b.sizes;
        return a.group.key < b.group.key;
    });
    std::vector<TreeGroup> out;
    out.reserve(ranked.size());
    for (Ranked& r : ranked)
        out.push_back(std::move(r.group));
    return out;
}

RowRefs refsOf(const std::vector<VadeRow>& rows) {
    RowRefs out;
    out.reserve(rows.size());
    for (const VadeRow& r : rows)
        out.push_back(&r);
    return out;
}

}  // namespace virirado
