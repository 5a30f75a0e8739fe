#pragma once
// Which paths the engine only looks at (with a short reason each), and which folders are
// developer build output. Pure computation on path text: nothing here touches the disk.
#include <nlohmann/json_fwd.hpp>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "result.hpp"

namespace bwcore {

struct MarkerIndex;
struct TripFilter;

struct Rules {
    std::vector<std::string> forbidden_components;
    std::vector<std::string> deny_prefixes;
    std::vector<std::vector<std::string>> home_deny;
    std::vector<std::pair<std::string, std::string>> report_only;  // (label, path below home)
    std::vector<std::pair<std::string, std::vector<std::string>>> devbuild_markers;
    std::vector<std::string> devbuild_nested;

    // The built-in rule set.
    static Rules defaults();

    // The look-only reason of an absolute path, or none. `home` may be empty (no home) and may
    // carry trailing slashes.
    std::optional<std::string> deny_reason(std::string_view path, std::string_view home) const;

    // The reason the walk uses for a child of a listed folder. `in_library`: the listed parent
    // is the home's Library folder or lies inside it. Without a home, nothing is denied.
    std::optional<std::string> child_reason(std::string_view path, std::string_view name,
                                            bool in_library,
                                            std::optional<std::string_view> home) const;

    // A cheap pre-test: false means child_reason cannot give a reason. `depth` is the parent's
    // depth below home (0 for home itself), negative outside home or without a home; a u32
    // "outside" marker converts to -1.
    bool child_might_trip(std::string_view parent, std::string_view name, int32_t depth,
                          bool in_library) const;
    // The same answer, with `filter` (built from this rule set) turning away ordinary names
    // before any list is searched.
    inline bool child_might_trip(std::string_view parent, std::string_view name, int32_t depth,
                                 bool in_library, const TripFilter& filter) const;

    MarkerIndex marker_index() const;
    TripFilter trip_filter() const;

    bool operator==(const Rules&) const = default;
};

namespace rules {

// Entries from this position on get no dev kind: their numbers would reach the fixed kinds.
inline constexpr std::size_t MAX_DEV_ENTRIES = 999;
inline constexpr uint16_t KIND_DERIVED_DATA = 1000;
inline constexpr uint16_t KIND_WRANGLER = 1001;
inline constexpr std::size_t MAX_MARKERS = 64;

// `home` without trailing slashes; a home made only of slashes is "/"; "" stays "".
std::string_view normalize_home(std::string_view home);

// The components of `path` below `home`, or none when the path is not under it (or no home).
std::optional<std::vector<std::string>> rel_parts(std::string_view path, std::string_view home);

// Whether `path` is an exception (walked after all) for the look-only `reason`.
bool report_only(const Rules& rules, std::string_view path, std::string_view home,
                 std::string_view reason);

// The JSON form: the six keys in declaration order, pairs as two-element arrays.
nlohmann::ordered_json to_json(const Rules& rules);

// A rules file's text: an object replacing lists key by key, or an array of up to six lists in
// declaration order, on top of the defaults. Errors carry a readable message with its place.
Result<Rules> parse_json(std::string_view text);

}  // namespace rules

// Transparent hash so lookups take a string_view without building a string.
struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept {
        return std::hash<std::string_view>{}(s);
    }
};

// Pre-filter for name lookups: a name whose length bit, first-byte bit or last-byte bit is
// clear is not in the set, and the hash lookup is skipped.
struct NameFilter {
    uint64_t lengths = 0;
    std::array<uint64_t, 4> first_bytes{};
    std::array<uint64_t, 4> last_bytes{};

    void add(std::string_view name);
    bool may_hold(std::string_view name) const {
        if (name.empty()) return empty_added;
        auto b = static_cast<unsigned char>(name.front());
        auto z = static_cast<unsigned char>(name.back());
        return (lengths >> (name.size() & 63) & 1) != 0 &&
               (first_bytes[b >> 6] >> (b & 63) & 1) != 0 &&
               (last_bytes[z >> 6] >> (z & 63) & 1) != 0;
    }
    bool empty_added = false;
};

// The names child_might_trip can answer true for, held as a NameFilter: the walk asks for
// every entry, and an ordinary name leaves after three bit tests. Library areas and Photos
// libraries are told by their shape instead (a prefix or suffix no set of names can hold),
// checked exactly: under Library most names start with "c", and a looser test sent them all on
// to the full one.
struct TripFilter {
    NameFilter names;

    // False: child_might_trip is false for this name. True: it may be either.
    bool may_trip(std::string_view name, bool in_library) const {
        std::size_t n = name.size();
        if (n >= 14 && name[n - 1] == 'y' && name.ends_with(".photoslibrary")) return true;
        if (in_library && n > 9 && (name[0] == 'c' || name[0] == 'g') &&
            (name.starts_with("com.apple.") || name.starts_with("group.com.apple.")))
            return true;
        return names.may_hold(name);
    }
};

inline bool Rules::child_might_trip(std::string_view parent, std::string_view name, int32_t depth,
                                    bool in_library, const TripFilter& filter) const {
    return filter.may_trip(name, in_library) && child_might_trip(parent, name, depth, in_library);
}

struct DevFolder {
    uint32_t entry = 0;  // position in devbuild_markers, from 0
    uint64_t mask = 0;   // OR of the bits of its marker files; 0 for a virtual-environment rule
};

// What the parent's listing says about a child folder; settled once the child is listed.
struct DevHint {
    uint16_t kind = 0;       // KIND_DERIVED_DATA or KIND_WRANGLER: final without settling
    bool candidate = false;  // a devbuild_markers entry, decided by the child's own markers
    uint32_t entry = 0;
    uint64_t bits = 0;  // the parent's marker bits that made it a candidate (0: marker-less rule)
};

struct DevClass {
    uint16_t dev_kind = 0;
    std::string_view marker;  // points into the MarkerIndex; empty when none
};

inline constexpr uint32_t DEPTH_OUTSIDE = 0xffffffffu;

struct MarkerIndex {
    std::vector<std::string> marker_names;  // position = bit number
    std::unordered_map<std::string, uint64_t, NameHash, std::equal_to<>> marker_bits;
    NameFilter marker_filter;
    std::unordered_map<std::string, DevFolder, NameHash, std::equal_to<>> dev_folders;
    std::vector<std::pair<std::string, uint64_t>> dev_folder_list;  // entry order: names kinds
    NameFilter dev_filter;
    std::unordered_set<std::string, NameHash, std::equal_to<>> nested_names;
    NameFilter nested_filter;
    std::vector<std::string> nested_list;
    uint64_t wrangler_mask = 0;
    uint64_t venv_mask = 0;
    uint64_t git_mask = 0;

    // The marker bit of a file name, 0 when it is not a marker.
    // Inline: the walk asks for every file, and nearly every name leaves at the filter.
    uint64_t marker_mask(std::string_view name) const {
        return marker_filter.may_hold(name) ? marker_lookup(name) : 0;
    }
    uint64_t marker_lookup(std::string_view name) const;
    // What one listed entry adds to its folder's marker set: files by name, folders only ".git".
    uint64_t entry_bits(std::string_view name, bool is_dir) const {
        if (is_dir) return name == ".git" ? git_mask : 0;
        return marker_mask(name);
    }
    const DevFolder* dev_folder(std::string_view name) const;
    bool is_nested(std::string_view name) const;
    // The first marker name (in bit order) among `bits`; empty when none.
    std::string_view first_marker(uint64_t bits) const;

    // The dev/build class a child folder may have, from its parent's marker set and the
    // child's place below home (`child_depth` DEPTH_OUTSIDE when not inside home).
    DevHint hint_for(std::string_view name, uint64_t parent_markers, bool parent_hidden,
                     bool parent_named, uint32_t child_depth, bool child_in_library) const;
    // The final kind and marker of a hinted folder, from its own marker set.
    DevClass settle(const DevHint& hint, uint64_t own_markers) const;
};

}  // namespace bwcore
