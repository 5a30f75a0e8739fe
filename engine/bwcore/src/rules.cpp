#include "rules.hpp"

#include <algorithm>
#include <bit>
#include <exception>
#include <iterator>

namespace bwcore {
namespace {

constexpr std::string_view PHOTOS_SUFFIX = ".photoslibrary";

// Calls fn(piece) for each piece of `s` between "/" separators; stops when fn returns false.
template <class Fn>
void split_each(std::string_view s, bool drop_empty, Fn&& fn) {
    std::size_t start = 0;
    while (true) {
        std::size_t slash = s.find('/', start);
        std::string_view piece = s.substr(start, slash == s.npos ? s.npos : slash - start);
        if (!(drop_empty && piece.empty()) && !fn(piece)) return;
        if (slash == s.npos) return;
        start = slash + 1;
    }
}

// The components of `path` below `home` as views into `path`.
std::optional<std::vector<std::string_view>> rel_views(std::string_view path,
                                                       std::string_view home) {
    home = rules::normalize_home(home);
    if (home.empty()) return std::nullopt;
    std::vector<std::string_view> out;
    if (path == home) return out;
    if (home == "/") {
        if (!path.starts_with('/') || path.starts_with("//")) return std::nullopt;
        split_each(path.substr(1), true, [&](std::string_view p) {
            out.push_back(p);
            return true;
        });
        return out;
    }
    if (path.size() <= home.size() || !path.starts_with(home) || path[home.size()] != '/')
        return std::nullopt;
    split_each(path.substr(home.size() + 1), false, [&](std::string_view p) {
        out.push_back(p);
        return true;
    });
    return out;
}

bool contains(const std::vector<std::string>& list, std::string_view name) {
    for (const auto& s : list)
        if (s == name) return true;
    return false;
}

bool ends_photos(std::string_view name) {
    return name.ends_with(PHOTOS_SUFFIX);
}

// The name tests shared by the pre-test and the full child test.
bool name_may_start_area(std::string_view name, bool in_library) {
    if (in_library && name.size() > 9) {
        return name.starts_with("com.apple.") ||
               (name.size() >= 16 && name.starts_with("group.com.apple.")) || ends_photos(name);
    }
    return name == ".." || ends_photos(name);
}

// `prefix` == parent + "/" + name (for the parent "/": "/" + name), without building it.
bool is_joined(std::string_view prefix, std::string_view parent, std::string_view name) {
    if (parent == "/")
        return prefix.size() == 1 + name.size() && prefix[0] == '/' && prefix.substr(1) == name;
    return prefix.size() == parent.size() + 1 + name.size() && prefix.starts_with(parent) &&
           prefix[parent.size()] == '/' && prefix.ends_with(name);
}

// `path` is `base` or lies below it. An empty base (possible from a rules file) matches nothing.
bool below(std::string_view path, std::string_view base) {
    if (base.empty()) return false;
    if (base == "/") return path.starts_with('/') && !path.starts_with("//");
    return path == base ||
           (path.size() > base.size() && path.starts_with(base) && path[base.size()] == '/');
}

std::string join_parts(const std::vector<std::string>& parts) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i) out += '/';
        out += parts[i];
    }
    return out;
}

std::optional<std::string> home_reason(const Rules& r, const std::vector<std::string_view>& rel) {
    for (const auto& entry : r.home_deny) {
        if (entry.size() > rel.size()) continue;
        bool match = true;
        for (std::size_t i = 0; match && i < entry.size(); ++i)
            match = rel[i] == entry[i];
        if (match) return "inside " + join_parts(entry);
    }
    if (!rel.empty() && rel[0] == "Library") {
        for (std::size_t i = 1; i < rel.size(); ++i)
            if (rel[i].starts_with("com.apple.") || rel[i].starts_with("group.com.apple."))
                return std::string("Apple library data");
    }
    return std::nullopt;
}

// The child is exactly one whole home_deny entry whose last component is its name.
bool is_home_deny_start(const Rules& r, std::string_view path, std::string_view name,
                        std::string_view home) {
    bool named = false;
    for (const auto& e : r.home_deny)
        named = named || (!e.empty() && e.back() == name);
    if (!named) return false;
    auto rel = rel_views(path, home);
    if (!rel) return false;
    for (const auto& e : r.home_deny) {
        if (e.size() != rel->size()) continue;
        bool match = true;
        for (std::size_t i = 0; match && i < e.size(); ++i)
            match = (*rel)[i] == e[i];
        if (match) return true;
    }
    return false;
}

}  // namespace

// ---- Rule set ---------------------------------------------------------------------------------

Rules Rules::defaults() {
    Rules r;
    r.forbidden_components = {".Spotlight-V100", ".fseventsd", ".DocumentRevisions-V100",
                              ".Trashes"};
    // clang-format off
    r.deny_prefixes = {"/System", "/bin", "/sbin", "/usr/bin", "/usr/lib", "/usr/libexec",
                       "/usr/sbin", "/usr/share", "/usr/standalone", "/private/var/db",
                       "/private/var/vm", "/var/db", "/var/vm", "/Library",
                       "/System/Volumes/Preboot", "/System/Volumes/Recovery",
                       "/System/Volumes/VM", "/System/Volumes/Update"};
    r.home_deny = {{"Library", "Mobile Documents"}, {"Library", "CloudStorage"},
                   {"Library", "Keychains"}, {"Library", "Mail"}, {"Library", "Messages"},
                   {"Dropbox"}, {"OneDrive"}, {"Google Drive"}};
    // clang-format on
    r.report_only = {
        {"Apple library data", "Library/Containers/com.apple.mail/Data/Library/Mail Downloads"},
        {"inside Library/Messages", "Library/Messages/Attachments"}};
    r.devbuild_markers = {
        {"node_modules", {"package.json"}},
        {"Pods", {"Podfile"}},
        {".venv", {}},
        {"venv", {}},
        {"env", {}},
        {"target", {"Cargo.toml"}},
        {"build", {"build.gradle", "build.gradle.kts"}},
        {".next", {"next.config.js", "next.config.mjs", "next.config.ts"}},
        {".gradle", {"settings.gradle", "settings.gradle.kts", "build.gradle", "build.gradle.kts"}},
        {".turbo", {"turbo.json"}},
        {".nuxt", {"nuxt.config.js", "nuxt.config.mjs", "nuxt.config.ts"}},
        {".svelte-kit", {"svelte.config.js", "svelte.config.ts"}},
        {".parcel-cache", {"package.json"}},
        {".build", {"Package.swift"}},
        {"dist", {"package.json", "angular.json", "pyproject.toml", "setup.py"}},
        {"coverage", {"package.json", "pyproject.toml", "angular.json"}}};
    r.devbuild_nested = {".build",        ".git",          ".gradle",  ".next",  ".nuxt",
                         ".parcel-cache", ".svelte-kit",   ".turbo",   ".venv",  "DerivedData",
                         "Pods",          "build",         "coverage", "dist",   "env",
                         "node_modules",  "site-packages", "target",   "vendor", "venv"};
    return r;
}

std::optional<std::string> Rules::deny_reason(std::string_view path, std::string_view home) const {
    if (path.empty() || path[0] != '/') return std::string("relative path");
    bool dotdot = false, forbidden = false, photos = false;
    split_each(path, false, [&](std::string_view c) {
        dotdot = dotdot || c == "..";
        forbidden = forbidden || contains(forbidden_components, c);
        photos = photos || ends_photos(c);
        return true;
    });
    if (dotdot) return std::string("path contains ..");
    if (forbidden) return std::string("protected system metadata");
    if (photos) return std::string("Photos library");
    if (path == "/usr" || (path.starts_with("/usr/") && !below(path, "/usr/local")))
        return std::string("inside /usr");
    for (const auto& prefix : deny_prefixes)
        if (below(path, prefix)) return "inside " + prefix;
    if (auto rel = rel_views(path, home)) return home_reason(*this, *rel);
    return std::nullopt;
}

std::optional<std::string> Rules::child_reason(std::string_view path, std::string_view name,
                                               bool in_library,
                                               std::optional<std::string_view> home) const {
    if (!home || rules::normalize_home(*home).empty()) return std::nullopt;
    bool may = name_may_start_area(name, in_library) || contains(forbidden_components, name) ||
               path == "/usr" || contains(deny_prefixes, path) ||
               is_home_deny_start(*this, path, name, *home);
    if (!may) return std::nullopt;
    auto reason = deny_reason(path, *home);
    if (reason && rules::report_only(*this, path, *home, *reason)) return std::nullopt;
    return reason;
}

bool Rules::child_might_trip(std::string_view parent, std::string_view name, int32_t depth,
                             bool in_library) const {
    if (name_may_start_area(name, in_library) || contains(forbidden_components, name)) return true;
    for (const auto& e : home_deny) {
        if (e.empty() || e.back() != name) continue;
        if (depth < 0 || static_cast<int64_t>(e.size()) == int64_t{depth} + 1) return true;
    }
    if (parent == "/" && name == "usr") return true;
    for (const auto& prefix : deny_prefixes)
        if (is_joined(prefix, parent, name)) return true;
    return false;
}

// Every name the full pre-test matches exactly: "..", "usr" (below "/"), the forbidden
// components, the last component of each home_deny entry, and each deny prefix's text after any
// of its slashes (a prefix "/a/b" is joined from ("/a", "b") or, for a name holding a slash,
// from ("", "a/b")).
TripFilter Rules::trip_filter() const {
    TripFilter f;
    f.names.add("..");
    f.names.add("usr");
    for (const auto& c : forbidden_components)
        f.names.add(c);
    for (const auto& e : home_deny)
        if (!e.empty()) f.names.add(e.back());
    for (std::string_view prefix : deny_prefixes)
        for (std::size_t i = 0; i < prefix.size(); ++i)
            if (prefix[i] == '/') f.names.add(prefix.substr(i + 1));
    return f;
}

namespace rules {

std::string_view normalize_home(std::string_view home) {
    while (home.size() > 1 && home.ends_with('/'))
        home.remove_suffix(1);
    return home;
}

std::optional<std::vector<std::string>> rel_parts(std::string_view path, std::string_view home) {
    auto views = rel_views(path, home);
    if (!views) return std::nullopt;
    return std::vector<std::string>(views->begin(), views->end());
}

bool report_only(const Rules& rules, std::string_view path, std::string_view home,
                 std::string_view reason) {
    while (home.ends_with('/'))
        home.remove_suffix(1);
    for (const auto& [label, rel] : rules.report_only) {
        if (label != reason) continue;
        std::string base;
        base.reserve(home.size() + 1 + rel.size());
        base.append(home).append("/").append(rel);
        if (below(path, base)) return true;
    }
    return false;
}

}  // namespace rules

// ---- Marker index -----------------------------------------------------------------------------

void NameFilter::add(std::string_view name) {
    if (name.empty()) {
        empty_added = true;
        return;
    }
    lengths |= uint64_t{1} << (name.size() & 63);
    auto b = static_cast<unsigned char>(name.front());
    first_bytes[b >> 6] |= uint64_t{1} << (b & 63);
    auto z = static_cast<unsigned char>(name.back());
    last_bytes[z >> 6] |= uint64_t{1} << (z & 63);
}

MarkerIndex Rules::marker_index() const {
    MarkerIndex ix;
    auto add_marker = [&ix](const std::string& name) {
        if (ix.marker_names.size() >= rules::MAX_MARKERS || ix.marker_bits.contains(name)) return;
        ix.marker_bits.emplace(name, uint64_t{1} << ix.marker_names.size());
        ix.marker_names.push_back(name);
        ix.marker_filter.add(name);
    };
    std::size_t entries = std::min(devbuild_markers.size(), rules::MAX_DEV_ENTRIES);
    add_marker("pyvenv.cfg");
    add_marker(".git");
    for (std::size_t i = 0; i < entries; ++i)
        for (const auto& m : devbuild_markers[i].second)
            add_marker(m);
    for (const char* w : {"wrangler.toml", "wrangler.json", "wrangler.jsonc"})
        add_marker(w);

    for (std::size_t i = 0; i < entries; ++i) {
        const auto& [folder, markers] = devbuild_markers[i];
        uint64_t mask = 0;
        for (const auto& m : markers)
            mask |= ix.marker_mask(m);
        ix.dev_folder_list.emplace_back(folder, mask);
        if (ix.dev_folders.emplace(folder, DevFolder{static_cast<uint32_t>(i), mask}).second)
            ix.dev_filter.add(folder);
    }
    for (const auto& n : devbuild_nested) {
        ix.nested_names.insert(n);
        ix.nested_filter.add(n);
        ix.nested_list.push_back(n);
    }
    ix.wrangler_mask = ix.marker_mask("wrangler.toml") | ix.marker_mask("wrangler.json") |
                       ix.marker_mask("wrangler.jsonc");
    ix.venv_mask = ix.marker_mask("pyvenv.cfg");
    ix.git_mask = ix.marker_mask(".git");
    return ix;
}

uint64_t MarkerIndex::marker_lookup(std::string_view name) const {
    auto it = marker_bits.find(name);
    return it == marker_bits.end() ? 0 : it->second;
}

const DevFolder* MarkerIndex::dev_folder(std::string_view name) const {
    if (!dev_filter.may_hold(name)) return nullptr;
    auto it = dev_folders.find(name);
    return it == dev_folders.end() ? nullptr : &it->second;
}

bool MarkerIndex::is_nested(std::string_view name) const {
    return nested_filter.may_hold(name) && nested_names.find(name) != nested_names.end();
}

std::string_view MarkerIndex::first_marker(uint64_t bits) const {
    if (bits == 0) return {};
    auto bit = static_cast<std::size_t>(std::countr_zero(bits));
    return bit < marker_names.size() ? std::string_view(marker_names[bit]) : std::string_view();
}

DevHint MarkerIndex::hint_for(std::string_view name, uint64_t parent_markers, bool parent_hidden,
                              bool parent_named, uint32_t child_depth,
                              bool child_in_library) const {
    if (child_depth == DEPTH_OUTSIDE) return {};
    if (name == "DerivedData" && !parent_named) return DevHint{rules::KIND_DERIVED_DATA};
    if (parent_hidden || parent_named || child_in_library || child_depth < 2) return {};
    if (name == ".wrangler" && (parent_markers & wrangler_mask) != 0)
        return DevHint{rules::KIND_WRANGLER};
    const DevFolder* df = dev_folder(name);
    if (!df) return {};
    if (df->mask == 0) return DevHint{0, true, df->entry, 0};
    uint64_t bits = parent_markers & df->mask;
    if (bits == 0) return {};
    return DevHint{0, true, df->entry, bits};
}

DevClass MarkerIndex::settle(const DevHint& hint, uint64_t own_markers) const {
    if (hint.kind != 0) return DevClass{hint.kind, {}};
    if (!hint.candidate || (own_markers & git_mask) != 0) return {};
    auto kind = static_cast<uint16_t>(hint.entry + 1);
    if (hint.bits != 0) return DevClass{kind, first_marker(hint.bits)};
    if ((own_markers & venv_mask) != 0) return DevClass{kind, first_marker(venv_mask)};
    return {};
}

}  // namespace bwcore
