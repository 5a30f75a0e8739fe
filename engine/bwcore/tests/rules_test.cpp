#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "rules.hpp"

namespace bwcore {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Strings = std::vector<std::string>;

const Rules& defaults() {
    static const Rules r = Rules::defaults();
    return r;
}

std::string reason(std::string_view path, std::string_view home = "/Users/a") {
    return defaults().deny_reason(path, home).value_or("<none>");
}

// ---- Built-in values ---------------------------------------------------------------------------

// The built-in lists as the `rules` command prints them, key order included.
constexpr const char* DEFAULTS_JSON = R"({
 "forbidden_components": [".Spotlight-V100", ".fseventsd", ".DocumentRevisions-V100", ".Trashes"],
 "deny_prefixes": ["/System", "/bin", "/sbin", "/usr/bin", "/usr/lib", "/usr/libexec", "/usr/sbin",
   "/usr/share", "/usr/standalone", "/private/var/db", "/private/var/vm", "/var/db", "/var/vm",
   "/Library", "/System/Volumes/Preboot", "/System/Volumes/Recovery", "/System/Volumes/VM",
   "/System/Volumes/Update"],
 "home_deny": [["Library", "Mobile Documents"], ["Library", "CloudStorage"],
   ["Library", "Keychains"], ["Library", "Mail"], ["Library", "Messages"], ["Dropbox"],
   ["OneDrive"], ["Google Drive"]],
 "report_only": [
   ["Apple library data", "Library/Containers/com.apple.mail/Data/Library/Mail Downloads"],
   ["inside Library/Messages", "Library/Messages/Attachments"]],
 "devbuild_markers": [["node_modules", ["package.json"]], ["Pods", ["Podfile"]], [".venv", []],
   ["venv", []], ["env", []], ["target", ["Cargo.toml"]],
   ["build", ["build.gradle", "build.gradle.kts"]],
   [".next", ["next.config.js", "next.config.mjs", "next.config.ts"]],
   [".gradle", ["settings.gradle", "settings.gradle.kts", "build.gradle", "build.gradle.kts"]],
   [".turbo", ["turbo.json"]], [".nuxt", ["nuxt.config.js", "nuxt.config.mjs", "nuxt.config.ts"]],
   [".svelte-kit", ["svelte.config.js", "svelte.config.ts"]], [".parcel-cache", ["package.json"]],
   [".build", ["Package.swift"]],
   ["dist", ["package.json", "angular.json", "pyproject.toml", "setup.py"]],
   ["coverage", ["package.json", "pyproject.toml", "angular.json"]]],
 "devbuild_nested": [".build", ".git", ".gradle", ".next", ".nuxt", ".parcel-cache",
   ".svelte-kit", ".turbo", ".venv", "DerivedData", "Pods", "build", "coverage", "dist", "env",
   "node_modules", "site-packages", "target", "vendor", "venv"]})";

TEST(RulesDefaults, ListsAndTheirJsonForm) {
    auto expect = nlohmann::ordered_json::parse(DEFAULTS_JSON);
    EXPECT_EQ(rules::to_json(defaults()), expect);  // ordered: key order counts
    std::string text = rules::to_json(defaults()).dump(2);
    EXPECT_TRUE(text.starts_with("{\n  \"forbidden_components\": [\n    \".Spotlight-V100\",\n"));
    EXPECT_THAT(text, HasSubstr("[\n      \".venv\",\n      []\n    ],"));
    // The nested names are the dev/build folders plus the extras, byte-sorted, once each.
    std::set<std::string> nested = {".git", "DerivedData", ".build", "vendor", "site-packages"};
    for (const auto& [folder, files] : defaults().devbuild_markers)
        nested.insert(folder);
    EXPECT_EQ(defaults().devbuild_nested, Strings(nested.begin(), nested.end()));
}

// ---- Look-only reasons ----------------------------------------------------------------------

TEST(RulesDenyReason, PathShapeAndComponents) {
    EXPECT_EQ(reason(""), "relative path");
    EXPECT_EQ(reason("relative/x"), "relative path");
    EXPECT_EQ(reason("/Users/a/../b"), "path contains ..");
    // ".." wins over a forbidden component that comes first in the path.
    EXPECT_EQ(reason("/.Trashes/../x"), "path contains ..");
    EXPECT_EQ(reason("/Volumes/D/.Trashes/x"), "protected system metadata");
    EXPECT_EQ(reason("/x/.fseventsd"), "protected system metadata");
    EXPECT_EQ(reason("/Users/a/Pictures/My Photos.photoslibrary/x"), "Photos library");
    EXPECT_EQ(reason("/x/.photoslibrary"), "Photos library");
    EXPECT_EQ(reason("/x/photoslibrary"), "<none>");
}

TEST(RulesDenyReason, SystemPrefixes) {
    EXPECT_EQ(reason("/usr"), "inside /usr");
    EXPECT_EQ(reason("/usr/"), "inside /usr");
    EXPECT_EQ(reason("/usr/localx"), "inside /usr");
    EXPECT_EQ(reason("/usr/lib/x"), "inside /usr");  // before the "/usr/lib" prefix
    EXPECT_EQ(reason("/usr/local"), "<none>");
    EXPECT_EQ(reason("/usr/local/bin"), "<none>");
    EXPECT_EQ(reason("/usrx"), "<none>");
    EXPECT_EQ(reason("/Library/Caches"), "inside /Library");
    EXPECT_EQ(reason("/Library"), "inside /Library");
    EXPECT_EQ(reason("/Libraryx"), "<none>");
    EXPECT_EQ(reason("/System/Volumes/Data/x"), "inside /System");
    EXPECT_EQ(reason("/private/var/vm/swap"), "inside /private/var/vm");
}

TEST(RulesDenyReason, HomeRelative) {
    EXPECT_EQ(reason("/Users/a/Library/Mobile Documents/x"), "inside Library/Mobile Documents");
    EXPECT_EQ(reason("/Users/a/Library/Mobile Documents"), "inside Library/Mobile Documents");
    EXPECT_EQ(reason("/Users/a/Dropbox"), "inside Dropbox");
    EXPECT_EQ(reason("/Users/a/Google Drive/f"), "inside Google Drive");
    EXPECT_EQ(reason("/Users/a/Library/Containers/com.apple.Safari"), "Apple library data");
    EXPECT_EQ(reason("/Users/a/Library/Group Containers/group.com.apple.notes/x"),
              "Apple library data");
    EXPECT_EQ(reason("/Users/a/Library/Caches/Firefox"), "<none>");
    EXPECT_EQ(reason("/Users/a/Library"), "<none>");
    EXPECT_EQ(reason("/Users/a/Code/com.apple.x"), "<none>");  // only below Library
    EXPECT_EQ(reason("/Users/a/library/Mail"), "<none>");      // byte comparison, case kept
    EXPECT_EQ(reason("/Users/ab/Dropbox"), "<none>");
    EXPECT_EQ(reason("/Users/a/Dropbox", ""), "<none>");  // no home: no home rules
}

// Broad values a rules file may hold are applied as written, never beyond.
TEST(RulesDenyReason, EmptyValuesFromAFile) {
    Rules r = Rules::defaults();
    r.home_deny = {{}};
    r.deny_prefixes = {""};
    EXPECT_EQ(r.deny_reason("/Users/a/x", "/Users/a").value_or("<none>"), "inside ");
    EXPECT_FALSE(r.deny_reason("/Users/b", "/Users/a"));
    EXPECT_FALSE(r.child_might_trip("/", "opt", -1, false));
}

// A home written with trailing slashes must keep every home rule in force.
TEST(RulesHome, TrailingSlashesAreIgnored) {
    for (std::string home : {"/Users/a", "/Users/a/", "/Users/a//"}) {
        SCOPED_TRACE(home);
        EXPECT_EQ(reason("/Users/a/Dropbox/x", home), "inside Dropbox");
        EXPECT_EQ(reason("/Users/a/Library/Containers/com.apple.x", home), "Apple library data");
        EXPECT_THAT(*rules::rel_parts("/Users/a/p/q", home), ElementsAre("p", "q"));
        EXPECT_EQ(defaults().child_reason("/Users/a/Dropbox", "Dropbox", false, home),
                  "inside Dropbox");
        EXPECT_TRUE(rules::report_only(defaults(), "/Users/a/Library/Messages/Attachments/ab", home,
                                       "inside Library/Messages"));
    }
    EXPECT_EQ(rules::normalize_home("/"), "/");
    EXPECT_EQ(rules::normalize_home("//"), "/");
    EXPECT_EQ(rules::normalize_home("/a//"), "/a");
    EXPECT_EQ(rules::normalize_home(""), "");
}

TEST(RulesHome, RelPartsSplitRules) {
    EXPECT_THAT(*rules::rel_parts("/Users/a", "/Users/a"), ElementsAre());
    EXPECT_FALSE(rules::rel_parts("/Users/ab", "/Users/a"));
    EXPECT_FALSE(rules::rel_parts("/Users", "/Users/a"));
    EXPECT_THAT(*rules::rel_parts("/Users/a/x/", "/Users/a"), ElementsAre("x", ""));
    EXPECT_THAT(*rules::rel_parts("/Users/a//x", "/Users/a"), ElementsAre("", "x"));
    // Home "/": empty pieces dropped, and "//" is not under it.
    EXPECT_THAT(*rules::rel_parts("/a//b/", "/"), ElementsAre("a", "b"));
    EXPECT_FALSE(rules::rel_parts("//x", "/"));
    EXPECT_THAT(*rules::rel_parts("/", "/"), ElementsAre());
    EXPECT_THAT(*rules::rel_parts("/Dropbox", "//"), ElementsAre("Dropbox"));
    EXPECT_FALSE(rules::rel_parts("/Users/a/x", ""));
    EXPECT_EQ(reason("/Dropbox/x", "/"), "inside Dropbox");
}

TEST(RulesReportOnly, ExceptionsByLabelAndPlace) {
    const Rules& r = defaults();
    const char* msg = "inside Library/Messages";
    EXPECT_TRUE(rules::report_only(r, "/Users/a/Library/Messages/Attachments", "/Users/a", msg));
    EXPECT_TRUE(rules::report_only(r, "/Users/a/Library/Messages/Attachments/ab", "/Users/a", msg));
    EXPECT_FALSE(rules::report_only(r, "/Users/a/Library/Messages/AttachmentsX", "/Users/a", msg));
    EXPECT_FALSE(rules::report_only(r, "/Users/a/Library/Messages", "/Users/a", msg));
    EXPECT_FALSE(rules::report_only(r, "/Users/a/Library/Messages/Attachments/ab", "/Users/a",
                                    "Apple library data"));
    EXPECT_TRUE(rules::report_only(
        r, "/Users/a/Library/Containers/com.apple.mail/Data/Library/Mail Downloads/f.pdf",
        "/Users/a", "Apple library data"));
    // The walk never reaches an exception by itself: its start is denied first.
    EXPECT_EQ(r.child_reason("/Users/a/Library/Messages", "Messages", true, "/Users/a"), msg);
    EXPECT_FALSE(
        r.child_reason("/Users/a/Library/Messages/Attachments", "Attachments", true, "/Users/a"));

    Rules whole = Rules::defaults();
    whole.report_only = {{"inside /Library", ""}};
    EXPECT_TRUE(rules::report_only(whole, "/Library/x", "/", "inside /Library"));
    EXPECT_FALSE(rules::report_only(whole, "//Library", "/", "inside /Library"));
}

// ---- Per-child tests of the walk ------------------------------------------------------------

TEST(RulesChildReason, WhatTheWalkSkips) {
    const Rules& r = defaults();
    EXPECT_FALSE(r.child_reason("/Library", "Library", false, std::nullopt));
    EXPECT_FALSE(r.child_reason("/Library", "Library", false, ""));
    EXPECT_EQ(r.child_reason("/Library", "Library", false, "/Users/a"), "inside /Library");
    EXPECT_EQ(r.child_reason("/usr", "usr", false, "/Users/a"), "inside /usr");
    EXPECT_EQ(r.child_reason("/Users/a/Library/Mail", "Mail", true, "/Users/a"),
              "inside Library/Mail");
    EXPECT_EQ(r.child_reason("/Users/a/Library/com.apple.x", "com.apple.x", true, "/Users/a"),
              "Apple library data");
    EXPECT_EQ(r.child_reason("/Users/a/p/.Trashes", ".Trashes", false, "/Users/a"),
              "protected system metadata");
    // A folder named like a denied area elsewhere in home is walked.
    EXPECT_FALSE(r.child_reason("/Users/a/p/Mail", "Mail", false, "/Users/a"));
    EXPECT_FALSE(r.child_reason("/Users/a/p/Dropbox", "Dropbox", false, "/Users/a"));
    // An area below a denied one is not the start of an area: its parent was skipped.
    EXPECT_FALSE(r.child_reason("/usr/lib/x", "x", false, "/Users/a"));
    EXPECT_EQ(r.child_reason("/usr/lib", "lib", false, "/Users/a"), "inside /usr");
}

TEST(RulesChildMightTrip, NameTestsAndDepths) {
    const Rules& r = defaults();
    EXPECT_TRUE(r.child_might_trip("/Users/a/Library", "com.apple.x", 1, true));
    EXPECT_TRUE(r.child_might_trip("/Users/a/Library", "com.apple.", 1, true));  // 10 bytes
    EXPECT_TRUE(r.child_might_trip("/Users/a/Library", "group.com.apple.", 1, true));
    EXPECT_FALSE(r.child_might_trip("/Users/a/Library", "com.apple", 1, true));  // 9 bytes
    EXPECT_FALSE(r.child_might_trip("/Users/a/p", "com.apple.x", 1, false));
    EXPECT_TRUE(r.child_might_trip("/x", "a.photoslibrary", 3, false));
    EXPECT_TRUE(r.child_might_trip("/Users/a", "Dropbox", 0, false));
    EXPECT_FALSE(r.child_might_trip("/Users/a/p", "Dropbox", 1, false));
    EXPECT_TRUE(r.child_might_trip("/Users/a/Library", "Mail", 1, true));
    EXPECT_FALSE(r.child_might_trip("/Users/a/Library/x", "Mail", 2, true));
    EXPECT_TRUE(r.child_might_trip("/Users", "Mail", -1, false));
    EXPECT_TRUE(r.child_might_trip("/", "usr", -1, false));
    EXPECT_TRUE(r.child_might_trip("/private/var", "vm", -1, false));
    EXPECT_FALSE(r.child_might_trip("/private", "var", -1, false));
    EXPECT_FALSE(r.child_might_trip("/Users/a/p", "src", 1, false));
    // A walker's "outside home" depth (u32 maximum) reads as outside.
    EXPECT_TRUE(
        r.child_might_trip("/Users", "Dropbox", static_cast<int32_t>(DEPTH_OUTSIDE), false));
}

// The walk asks child_reason only when the pre-test passes: a miss would walk a denied area.
TEST(RulesChildMightTrip, NeverMissesAReason) {
    Rules r = Rules::defaults();
    r.home_deny.push_back({});
    r.home_deny.push_back({"a", "b", "c"});
    const std::string home = "/Users/a";
    // clang-format off
    Strings parents = {"/", "/usr", "/private/var", "/System/Volumes", "/Users", home,
                       home + "/Library", home + "/Library/Containers", home + "/Library/Messages",
                       home + "/a/b", home + "/p/q"};
    Strings names = {"usr", "Library", "Mail", "Messages", "Dropbox", "Attachments", "com.apple.x",
                     "group.com.apple.y", "com.apple.", "x.photoslibrary", ".photoslibrary", "..",
                     ".Trashes", "vm", "Preboot", "c", "a", "Users", "bin", "plain"};
    // clang-format on
    const TripFilter filter = r.trip_filter();
    int checked = 0;
    for (const auto& parent : parents) {
        auto rel = rules::rel_parts(parent, home);
        int32_t depth = rel ? static_cast<int32_t>(rel->size()) : -1;
        bool parent_in_library = rel && !rel->empty() && (*rel)[0] == "Library";
        for (const auto& name : names) {
            std::string path = parent == "/" ? "/" + name : parent + "/" + name;
            bool in_library = parent_in_library || (depth == 0 && name == "Library");
            for (bool flag : {in_library, false}) {
                if (!r.child_reason(path, name, flag, home)) continue;
                ++checked;
                EXPECT_TRUE(r.child_might_trip(parent, name, depth, flag)) << path;
                EXPECT_TRUE(r.child_might_trip(parent, name, depth, flag, filter)) << path;
            }
        }
    }
    EXPECT_GT(checked, 20);
}

// The name filter only ever turns away names the full pre-test turns away too, whatever a rules
// file holds: long names (the length bits wrap at 64), bytes above 0x7f, slashes in prefixes
// and names, empty components. Ordinary names must still be turned away by it.
TEST(RulesChildMightTrip, TheNameFilterHidesNoTrip) {
    Rules r = Rules::defaults();
    const std::string long_name(70, 'q');
    r.forbidden_components.push_back(long_name);
    r.forbidden_components.push_back("\xc3\xa9t\xc3\xa9");
    r.deny_prefixes = {"/opt/some tool/lib", "/srv/", "/", "", "//x"};
    r.home_deny = {{"Library", ""}, {"Projects", "secret"}, {}};
    const TripFilter filter = r.trip_filter();
    // clang-format off
    Strings parents = {"/", "/opt", "/opt/some tool", "/srv", "/Users/a", "/Users/a/Library",
                       "/Users/a/Projects", "/"};
    Strings names = {"opt", "some tool", "lib", "some tool/lib", "opt/some tool/lib", "srv", "",
                     "x", "/x", "secret", "Library", long_name, std::string(6, 'q'),
                     "\xc3\xa9t\xc3\xa9", "usr", "..", "com.apple.x", "group.com.apple.y",
                     "Pictures.photoslibrary", "main.rs"};
    // clang-format on
    int trips = 0;
    for (const auto& parent : parents) {
        for (const auto& name : names) {
            for (int32_t depth : {-1, 0, 1, 2}) {
                for (bool flag : {false, true}) {
                    if (!r.child_might_trip(parent, name, depth, flag)) continue;
                    ++trips;
                    EXPECT_TRUE(r.child_might_trip(parent, name, depth, flag, filter))
                        << parent << " + " << name << " at " << depth
                        << (flag ? " in Library" : "");
                }
            }
        }
    }
    EXPECT_GT(trips, 100);
    const TripFilter usual = Rules::defaults().trip_filter();
    for (const char* name : {"main.rs", "index.js", "node_modules", "a.out", "notes.txt"})
        EXPECT_FALSE(usual.may_trip(name, false)) << name;
    EXPECT_FALSE(usual.may_trip("org.example.app", true));
    // Most names under Library start with "c" or "g"; only the Apple areas go on.
    EXPECT_FALSE(usual.may_trip("com.example.cache", true));
    EXPECT_FALSE(usual.may_trip("group.example.shared", true));
    EXPECT_FALSE(usual.may_trip("a-long-folder-history", false));
    EXPECT_TRUE(usual.may_trip("com.apple.x", true));
    EXPECT_TRUE(usual.may_trip("group.com.apple.y", true));
    EXPECT_TRUE(usual.may_trip("Old.photoslibrary", false));
}

// ---- Marker index and dev/build recognition ---------------------------------------------------

TEST(RulesMarkerIndex, DefaultMarkersBitsAndMasks) {
    MarkerIndex ix = defaults().marker_index();
    // clang-format off
    EXPECT_EQ(ix.marker_names, (Strings{"pyvenv.cfg", ".git", "package.json", "Podfile",
        "Cargo.toml", "build.gradle", "build.gradle.kts", "next.config.js", "next.config.mjs",
        "next.config.ts", "settings.gradle", "settings.gradle.kts", "turbo.json", "nuxt.config.js",
        "nuxt.config.mjs", "nuxt.config.ts", "svelte.config.js", "svelte.config.ts",
        "Package.swift", "angular.json", "pyproject.toml", "setup.py", "wrangler.toml",
        "wrangler.json", "wrangler.jsonc"}));
    // clang-format on
    for (std::size_t i = 0; i < ix.marker_names.size(); ++i)
        EXPECT_EQ(ix.marker_mask(ix.marker_names[i]), uint64_t{1} << i) << ix.marker_names[i];
    EXPECT_EQ(ix.venv_mask, 1u);
    EXPECT_EQ(ix.git_mask, 2u);
    EXPECT_EQ(ix.wrangler_mask, uint64_t{7} << 22);
    // Near misses share a length or first byte with a marker but are not markers.
    for (const char* miss : {"package.jsom", "Package.json", "", "p", "setup.pz", "podfile"})
        EXPECT_EQ(ix.marker_mask(miss), 0u) << miss;
    // Folders add only ".git"; files add their marker bit.
    EXPECT_EQ(ix.entry_bits(".git", true), ix.git_mask);
    EXPECT_EQ(ix.entry_bits(".git", false), ix.git_mask);
    EXPECT_EQ(ix.entry_bits("package.json", true), 0u);
    EXPECT_EQ(ix.entry_bits("package.json", false), 4u);
    EXPECT_EQ(ix.dev_folder("build")->mask,
              ix.marker_mask("build.gradle") | ix.marker_mask("build.gradle.kts"));
    EXPECT_EQ(ix.dev_folder(".venv")->mask, 0u);
    EXPECT_EQ(ix.dev_folder("Node_modules"), nullptr);
    EXPECT_TRUE(ix.is_nested("site-packages"));
    EXPECT_TRUE(ix.is_nested("DerivedData"));
    EXPECT_FALSE(ix.is_nested("src"));
    EXPECT_EQ(ix.first_marker(ix.marker_mask("turbo.json") | ix.marker_mask("setup.py")),
              "turbo.json");
}

TEST(RulesMarkerIndex, AtMostSixtyFourMarkers) {
    Rules r = Rules::defaults();
    r.devbuild_markers.clear();
    Strings many;
    for (int i = 0; i < 70; ++i)
        many.push_back("m" + std::to_string(i));
    r.devbuild_markers = {{"a", Strings(many.begin(), many.begin() + 40)},
                          {"b", Strings(many.begin() + 30, many.end())}};
    MarkerIndex ix = r.marker_index();
    ASSERT_EQ(ix.marker_names.size(), 64u);
    EXPECT_EQ(ix.marker_names.back(), "m61");
    EXPECT_EQ(ix.marker_mask("m61"), uint64_t{1} << 63);
    EXPECT_EQ(ix.marker_mask("m62"), 0u);
    EXPECT_EQ(ix.wrangler_mask, 0u);  // crowded out, so ".wrangler" is never recognised
    EXPECT_EQ(ix.dev_folder("b")->mask, ~uint64_t{0} << 32);  // m30..m61 only
    EXPECT_EQ(ix.hint_for(".wrangler", ~uint64_t{0}, false, false, 2, false).kind, 0);
}

// Kinds 1000 and 1001 are fixed; later rule entries must never be numbered onto them.
TEST(RulesMarkerIndex, RuleEntriesBeyondTheKindRangeAreIgnored) {
    Rules r = Rules::defaults();
    r.devbuild_markers.clear();
    for (int i = 0; i < 70000; ++i)
        r.devbuild_markers.push_back({"d" + std::to_string(i), {"mark" + std::to_string(i % 3)}});
    MarkerIndex ix = r.marker_index();
    EXPECT_EQ(ix.dev_folder_list.size(), rules::MAX_DEV_ENTRIES);
    ASSERT_NE(ix.dev_folder("d998"), nullptr);
    EXPECT_EQ(ix.dev_folder("d999"), nullptr);
    EXPECT_EQ(ix.dev_folder("d65535"), nullptr);
    uint64_t all = ~uint64_t{0};
    DevHint last = ix.hint_for("d998", all, false, false, 2, false);
    EXPECT_EQ(ix.settle(last, 0).dev_kind, 999);
    for (const char* name : {"d999", "d1000", "d65535", "d65536"}) {
        DevHint h = ix.hint_for(name, all, false, false, 2, false);
        EXPECT_FALSE(h.candidate) << name;
        EXPECT_EQ(ix.settle(h, 0).dev_kind, 0) << name;
    }
}

struct Kind {
    uint16_t kind;
    std::string marker;
    bool operator==(const Kind&) const = default;
};

// Places `name` two levels below home under a plain project folder unless told otherwise.
Kind recognise(const MarkerIndex& ix, std::string_view name, const Strings& parent_files,
               const Strings& own_files, uint32_t depth = 2, bool hidden = false,
               bool named = false, bool in_library = false) {
    uint64_t parent = 0, own = 0;
    for (const auto& f : parent_files)
        parent |= ix.entry_bits(f, f == ".git");
    for (const auto& f : own_files)
        own |= ix.entry_bits(f, f == ".git");
    DevClass c = ix.settle(ix.hint_for(name, parent, hidden, named, depth, in_library), own);
    return Kind{c.dev_kind, std::string(c.marker)};
}

TEST(RulesDevBuild, EveryRuleKindByItsMarkers) {
    MarkerIndex ix = defaults().marker_index();
    const auto& entries = defaults().devbuild_markers;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto& [folder, markers] = entries[i];
        SCOPED_TRACE(folder);
        auto kind = static_cast<uint16_t>(i + 1);
        if (markers.empty()) {
            EXPECT_EQ(recognise(ix, folder, {}, {"pyvenv.cfg", "bin"}), (Kind{kind, "pyvenv.cfg"}));
            EXPECT_EQ(recognise(ix, folder, {"package.json"}, {"bin"}), (Kind{0, ""}));
            continue;
        }
        for (const auto& m : markers)
            EXPECT_EQ(recognise(ix, folder, {m, "README"}, {}), (Kind{kind, m}));
        EXPECT_EQ(recognise(ix, folder, {"README", "wrangler.toml"}, {}), (Kind{0, ""}));
        EXPECT_EQ(recognise(ix, folder, {markers[0]}, {".git"}), (Kind{0, ""}));
    }
    // With several markers the first in bit order names the folder.
    EXPECT_EQ(recognise(ix, "dist", {"setup.py", "package.json"}, {}), (Kind{15, "package.json"}));
    EXPECT_EQ(recognise(ix, ".gradle", {"build.gradle", "settings.gradle"}, {}),
              (Kind{9, "build.gradle"}));
}

TEST(RulesDevBuild, PlaceBelowHome) {
    MarkerIndex ix = defaults().marker_index();
    const Strings pkg = {"package.json"};
    EXPECT_EQ(recognise(ix, "node_modules", pkg, {}, 2), (Kind{1, "package.json"}));
    EXPECT_EQ(recognise(ix, "node_modules", pkg, {}, 5), (Kind{1, "package.json"}));
    EXPECT_EQ(recognise(ix, "node_modules", pkg, {}, 1), (Kind{0, ""}));  // directly in home
    EXPECT_EQ(recognise(ix, "node_modules", pkg, {}, DEPTH_OUTSIDE), (Kind{0, ""}));
    EXPECT_EQ(recognise(ix, "node_modules", pkg, {}, 3, false, true), (Kind{0, ""}));  // nested
    EXPECT_EQ(recognise(ix, "node_modules", pkg, {}, 3, true), (Kind{0, ""}));  // hidden parent
    EXPECT_EQ(recognise(ix, "node_modules", pkg, {}, 3, false, false, true), (Kind{0, ""}));
    EXPECT_EQ(recognise(ix, "build", {".git"}, {}), (Kind{0, ""}));  // .git is no marker of build
}

TEST(RulesDevBuild, DerivedDataAndWrangler) {
    MarkerIndex ix = defaults().marker_index();
    EXPECT_EQ(recognise(ix, "DerivedData", {}, {}, 1), (Kind{1000, ""}));
    EXPECT_EQ(recognise(ix, "DerivedData", {}, {".git"}, 4, true, false, true), (Kind{1000, ""}));
    EXPECT_EQ(recognise(ix, "DerivedData", {}, {}, 3, false, true), (Kind{0, ""}));
    EXPECT_EQ(recognise(ix, "DerivedData", {}, {}, DEPTH_OUTSIDE), (Kind{0, ""}));
    for (const char* w : {"wrangler.toml", "wrangler.json", "wrangler.jsonc"})
        EXPECT_EQ(recognise(ix, ".wrangler", {w}, {}), (Kind{1001, ""})) << w;
    EXPECT_EQ(recognise(ix, ".wrangler", {"package.json"}, {}), (Kind{0, ""}));
    EXPECT_EQ(recognise(ix, ".wrangler", {"wrangler.toml"}, {}, 1), (Kind{0, ""}));
}

TEST(RulesDevBuild, FirstRuleForANameWins) {
    Rules r = Rules::defaults();
    r.devbuild_markers.push_back({"node_modules", {"yarn.lock"}});
    MarkerIndex ix = r.marker_index();
    EXPECT_EQ(ix.dev_folder_list.size(), 17u);
    EXPECT_EQ(ix.dev_folder("node_modules")->entry, 0u);
    EXPECT_EQ(recognise(ix, "node_modules", {"yarn.lock"}, {}), (Kind{0, ""}));
}

// ---- JSON form --------------------------------------------------------------------------------

std::string error_of(std::string_view text) {
    auto r = rules::parse_json(text);
    return r.ok() ? "<ok>" : r.error().message;
}

TEST(RulesJson, RoundTrip) {
    auto back = rules::parse_json(rules::to_json(defaults()).dump(2));
    ASSERT_TRUE(back.ok()) << back.error().message;
    EXPECT_EQ(*back, defaults());

    Rules odd;
    odd.forbidden_components = {"caf\xc3\xa9", "quote\"back\\slash"};
    odd.home_deny = {{}, {"a", ""}};
    odd.report_only = {{"", ""}};
    odd.devbuild_markers = {{"x", {}}, {"y", {"a", "b"}}};
    auto again = rules::parse_json(rules::to_json(odd).dump());
    ASSERT_TRUE(again.ok()) << again.error().message;
    EXPECT_EQ(*again, odd);
}

TEST(RulesJson, PartialFilesKeepTheDefaults) {
    EXPECT_EQ(*rules::parse_json("{}"), defaults());
    EXPECT_EQ(*rules::parse_json(" [ ] \n"), defaults());

    auto only = rules::parse_json(R"({"devbuild_markers": [["out", ["make.conf"]]]})");
    ASSERT_TRUE(only.ok());
    Rules expect = Rules::defaults();
    expect.devbuild_markers = {{"out", {"make.conf"}}};
    EXPECT_EQ(*only, expect);

    auto arr = rules::parse_json(R"([["x"], [], [["Big"]]])");
    ASSERT_TRUE(arr.ok());
    EXPECT_EQ(arr->forbidden_components, Strings{"x"});
    EXPECT_TRUE(arr->deny_prefixes.empty());
    EXPECT_EQ(arr->home_deny, std::vector<Strings>{{"Big"}});
    EXPECT_EQ(arr->report_only, defaults().report_only);

    // Other keys are read and skipped whatever they hold.
    auto extra = rules::parse_json(
        R"({"comment": {"a": [1, {"b": null}], "c": true}, "deny_prefixes": ["/opt"],
            "comment": 2})");
    ASSERT_TRUE(extra.ok()) << extra.error().message;
    EXPECT_EQ(extra->deny_prefixes, Strings{"/opt"});
    EXPECT_EQ(extra->home_deny, defaults().home_deny);
}

TEST(RulesJson, ShapeErrors) {
    EXPECT_EQ(error_of(R"({"deny_prefixes": ["/a"], "deny_prefixes": ["/b"]})"),
              "duplicate field `deny_prefixes` at line 1 column 41");
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"true", "expected struct Rules"},
        {"\"x\"", "expected struct Rules"},
        {"[[], [], [], [], [], [], []]", "more than 6 elements"},
        {R"({"forbidden_components": "x"})", "invalid type: a string, expected a list of strings"},
        {R"({"deny_prefixes": [1]})", "invalid type: a number, expected a string"},
        {R"({"devbuild_nested": null})", "invalid type: null"},
        {R"({"home_deny": ["Dropbox"]})", "expected a list of strings"},
        {R"({"report_only": [["a", "b", "c"]]})", "more than 2 elements"},
        {R"({"report_only": [["a"]]})", "invalid length 1"},
        {R"({"report_only": [{"a": "b"}]})", "an object"},
        {R"({"devbuild_markers": [["x", "package.json"]]})", "expected a list of strings"},
        {R"({"devbuild_markers": [[["x"], []]]})", "expected a string"},
        {"{\n  \"deny_prefixes\": [\n    false\n  ]\n}", "at line 3 column"}};
    // clang-format on
    for (const auto& [text, message] : cases)
        EXPECT_THAT(error_of(text), HasSubstr(message));
}

TEST(RulesJson, SyntaxErrorsAndHostileInput) {
    EXPECT_THAT(error_of(""), HasSubstr("line 1"));
    EXPECT_THAT(error_of("{} x"), HasSubstr("syntax error"));
    EXPECT_THAT(error_of("{\"deny_prefixes\": [\"/a\"],}"), HasSubstr("syntax error"));
    EXPECT_THAT(error_of("{\"deny_prefixes\": [\"\xff\"]}"), HasSubstr("UTF-8"));
    EXPECT_NE(error_of("{\"comment\": 1e400}"), "<ok>");

    auto nest = [](std::size_t depth) {
        return "{\"comment\": " + std::string(depth - 1, '[') + std::string(depth - 1, ']') + "}";
    };
    EXPECT_EQ(error_of(nest(127)), "<ok>");
    EXPECT_THAT(error_of(nest(128)), HasSubstr("recursion limit exceeded"));
    // Far deeper than any stack could take if the value were built first.
    EXPECT_THAT(error_of("{\"x\": " + std::string(1000000, '[')), HasSubstr("recursion limit"));
    std::string objects;
    for (int i = 0; i < 200000; ++i)
        objects += "{\"k\":";
    EXPECT_THAT(error_of("{\"x\": " + objects), HasSubstr("recursion limit"));
}

}  // namespace
}  // namespace bwcore
