#include "items.hpp"

#include <dirent.h>

#include <algorithm>
#include <optional>
#include <string_view>

#include "paths.hpp"
#include "sizes.hpp"

namespace peer::items {
namespace {

using nlohmann::json;

constexpr int64_t kMinCache = 1'000'000;
constexpr int64_t kBigFile = 100'000'000;
constexpr size_t kBigFiles = 50;
constexpr int64_t kDay = 86'400;

// What a look-only item says would become of it.
constexpr const char* kListedOnly = "Nothing happens to it here: it is only listed.";

// Hidden folders of the home that hold programs' folders rather than being one:
// the program is the folder inside, on the way to the item. The longer of two
// that both match wins (".local/share" over ".local").
constexpr std::string_view kHolders[] = {".local/share", ".local/state", ".local/lib", ".var/app",
                                         ".config",      ".cache",       ".local",     ".var"};

std::vector<std::string> children(const std::string& dir) {
    std::vector<std::string> out;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return out;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name != "." && name != "..") out.push_back(dir + "/" + name);
    }
    ::closedir(d);
    std::sort(out.begin(), out.end());
    return out;
}

// An absolute path in its one plain spelling: no empty, "." or ".." name. Any
// other spelling may name a place other than it seems ("~/proj/.." is the home).
bool plain_path(const std::string& path) {
    if (path.size() < 2 || path[0] != '/' || path.back() == '/') return false;
    size_t i = 1;
    while (i <= path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string::npos) j = path.size();
        std::string_view name(path.data() + i, j - i);
        if (name.empty() || name == "." || name == "..") return false;
        i = j + 1;
    }
    return true;
}

// The common checks of every item: a plain path the app can carry, strictly
// inside the home both as written and where it really lies (a linked folder on
// the way may lead elsewhere), present and no symlink. Places the app protects
// become look-only.
std::optional<Item> base_item(const std::string& source, const std::string& path,
                              const std::string& home) {
    if (!plain_path(path) || !plain_path(home) || !paths::carriable(path) ||
        !paths::is_under(path, home) || path == home || !paths::really_inside(path, home))
        return std::nullopt;
    auto id = paths::identify(path);
    auto where = paths::real_location(path);
    if (!id || id->is_link || !where) return std::nullopt;
    Item it;
    it.id = source + ":" + path;
    it.path = path;
    it.where = *where;
    it.dev = id->dev;
    it.ino = id->ino;
    it.safety = "review";
    it.action = "trash";
    return it;
}

// Look-only when the path, or where it really sits, is a protected place:
// nothing happens to it, so it must not say where it would go.
void protect(Item& it, const std::string& home) {
    if (!paths::protected_anywhere(it.path, home)) return;
    it.safety = "info";
    it.action = "info";
    it.deletable = false;
    it.if_gone = kListedOnly;
    it.comes_back = "Look only: not offered here, as it lies in a protected place.";
}

// Asked again each time: the path may have gone since it was first looked at.
bool is_folder(const std::string& path) {
    auto id = paths::identify(path);
    return id && id->is_dir;
}

bool is_file(const std::string& path) {
    auto id = paths::identify(path);
    return id && !id->is_dir;
}

// A program's own files are listed so the space is explained, never offered:
// moving one can break the program that keeps it.
void owned_by_program(Item& it, const std::string& folder) {
    it.safety = "info";
    it.action = "info";
    it.deletable = false;
    it.if_gone = std::string(kListedOnly) + " A program keeps it in " + folder +
                 "; without it that program may stop working or lose its data.";
    it.comes_back =
        "Look only: not offered here. Remove it with the program that owns " + folder + ".";
}

void set_size(Item& it, const sizes::Size& s) {
    it.size = s.bytes;
    it.realistic_size = s.bytes;
    it.file_count = s.files;
    it.modified = s.newest;
}

std::string count_text(size_t n, const std::string& one, const std::string& many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string extension_of(const std::string& name) {
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) return "";
    return name.substr(dot + 1);
}

}  // namespace

bool cleanable(const Item& item) {
    return item.deletable && item.safety != "info" && item.action != "info";
}

bool overlaps(const Item& a, const Item& b) {
    auto nested = [](const std::string& x, const std::string& y) {
        return !x.empty() && !y.empty() && (paths::is_under(x, y) || paths::is_under(y, x));
    };
    bool same_file = a.ino != 0 && a.dev == b.dev && a.ino == b.ino;
    return a.id == b.id || same_file || nested(a.path, b.path) || nested(a.where, b.where);
}

std::vector<Item> apart_from(const std::vector<Item>& found, const std::vector<Item>& offered) {
    std::vector<Item> kept;
    auto clashes = [](const Item& it, const std::vector<Item>& others) {
        return std::any_of(others.begin(), others.end(),
                           [&](const Item& o) { return overlaps(it, o); });
    };
    for (const auto& it : found)
        if (!clashes(it, offered) && !clashes(it, kept)) kept.push_back(it);
    return kept;
}

std::optional<std::string> program_folder(const std::string& path, const std::string& home) {
    if (!paths::is_under(path, home) || path == home) return std::nullopt;
    const size_t start = home == "/" ? 1 : home.size() + 1;
    // Only the folders on the way count: a project's own .venv or .next is
    // named with a dot too, and is still the project's build output.
    size_t i = start;
    size_t j;
    while ((j = path.find('/', i)) != std::string::npos && path[i] != '.')
        i = j + 1;
    if (j == std::string::npos) return std::nullopt;
    // A hidden folder of the home itself may hold programs' folders: the
    // program is the next folder on the way, when there is one.
    const std::string_view rest = std::string_view(path).substr(start);
    const auto holds = [&](std::string_view holder) {
        return rest.size() > holder.size() && rest.starts_with(holder) &&
               rest[holder.size()] == '/';
    };
    const auto* holder = std::find_if(std::begin(kHolders), std::end(kHolders), holds);
    if (i == start && holder != std::end(kHolders)) {
        const size_t inside = start + holder->size() + 1;
        const size_t end = path.find('/', inside);
        j = end == std::string::npos ? inside - 1 : end;
    }
    return paths::display(path.substr(0, j), home);
}

json to_json(const Item& it, bool ticked) {
    json j = {
        {"id", it.id},
        {"category", it.category},
        {"label", it.label},
        {"path", it.path},
        {"size", it.size},
        {"realistic_size", it.realistic_size},
        {"file_count", it.file_count},
        {"kind", it.kind},
        {"safety", it.safety},
        {"action", it.action},
        {"deletable", it.deletable},
        {"ticked", ticked},
        {"explain", {{"what", it.what}, {"if_gone", it.if_gone}, {"comes_back", it.comes_back}}}};
    if (it.modified > 0) j["modified"] = it.modified;
    if (!it.extension.empty()) j["extension"] = it.extension;
    if (!it.members.empty()) {
        json members = json::array();
        for (const auto& m : it.members) {
            members.push_back({{"id", it.id + "/" + paths::base_name(m.path)},
                               {"label", paths::base_name(m.path)},
                               {"path", m.path},
                               {"size", m.size},
                               {"realistic_size", m.size},
                               {"file_count", m.file_count},
                               {"kind", it.kind},
                               {"safety", it.safety},
                               {"action", it.action}});
        }
        j["members"] = std::move(members);
    }
    return j;
}

json row_json(const Item& it) {
    return {{"id", it.id},        {"label", it.label},
            {"path", it.path},    {"realistic_size", it.realistic_size},
            {"kind", it.kind},    {"safety", it.safety},
            {"action", it.action}};
}

std::vector<Item> cache_items(const std::string& cache_dir, const std::string& home) {
    std::vector<Item> out;
    // Checked here too: ~/.cache itself may be a link to the home or beyond it.
    if (!paths::usable_cache(cache_dir, home)) return out;
    for (const auto& path : children(cache_dir)) {
        auto it = base_item("cache", path, home);
        if (!it) continue;
        auto s = sizes::freed(path);
        if (s.bytes < kMinCache) continue;
        std::string name = paths::base_name(path);
        it->category = "caches";
        it->kind = "cache";
        it->label = name + " cache";
        it->safety = "safe";
        it->action = "rm";
        it->what = "Files that " + name + " keeps so it can start and load faster.";
        it->if_gone = "Nothing you made is lost. The program downloads or rebuilds what it needs.";
        it->comes_back = "Recreated on demand.";
        set_size(*it, s);
        protect(*it, home);
        out.push_back(std::move(*it));
    }
    return out;
}

std::vector<Item> trash_items(const std::string& trash_dir, const std::string& home) {
    auto it = base_item("trash", trash_dir, home);
    if (!it) return {};
    std::string files = trash_dir + "/files", info = trash_dir + "/info";
    size_t trashed = children(files).size();
    if (trashed == 0 && children(info).empty()) return {};
    it->category = "trash";
    it->kind = "trash";
    it->label = "Trash";
    // Removal for good is only allowed to "safe" items; the texts and the kind
    // say that emptying cannot be undone.
    it->safety = "safe";
    it->action = "rm";
    it->empty_only = true;
    auto f = sizes::freed(files), i = sizes::freed(info);
    it->members = {Member{files, f.bytes, f.files}, Member{info, i.bytes, i.files}};
    it->what = trashed == 0 ? "Records of things that left the Trash; nothing to restore."
                            : count_text(trashed, "item", "items") + " you moved to the Trash.";
    it->if_gone = "Emptied for good: they can no longer be restored. This cannot be undone.";
    it->comes_back = "No. Only what you move to the Trash later.";
    // Only what is in files/ and info/ goes; the rest of the Trash folder stays.
    it->size = it->realistic_size = sizes::add(f.bytes, i.bytes);
    it->file_count = sizes::add(f.files, i.files);
    it->modified = std::max(f.newest, i.newest);
    protect(*it, home);
    return {std::move(*it)};
}

std::vector<Item> download_items(const std::string& home) {
    std::vector<Item> out;
    for (const auto& path : children(home + "/Downloads")) {
        auto it = base_item("downloads", path, home);
        if (!it) continue;
        std::string name = paths::base_name(path);
        it->category = "downloads";
        it->kind = "download";
        it->label = name;
        if (is_file(path)) it->extension = extension_of(name);
        it->what = "Something you downloaded.";
        it->if_gone = "It goes to the Trash, from where you can restore it.";
        it->comes_back = "Only if you download it again.";
        set_size(*it, sizes::freed(path));
        protect(*it, home);
        out.push_back(std::move(*it));
    }
    return out;
}

std::vector<Item> devbuild_items(const std::vector<Found>& rows, const std::string& home) {
    std::vector<Found> sorted = rows;
    // By path, so a folder comes before the rows nested in it and wins over them.
    std::sort(sorted.begin(), sorted.end(),
              [](const Found& a, const Found& b) { return a.path < b.path; });
    std::vector<Item> out;
    for (const auto& r : sorted) {
        auto it = base_item("devbuild", r.path, home);
        if (!it || !is_folder(r.path)) continue;
        std::string project = paths::base_name(paths::parent_of(r.path));
        it->category = "devbuilds";
        it->kind = "devbuild";
        it->label = r.name + " · " + project;
        it->what = "Build output of " + project + ".";
        it->if_gone = "Nothing you wrote is lost. The next build takes longer.";
        it->comes_back = "On the next build.";
        set_size(*it, sizes::freed(r.path));
        if (auto owner = program_folder(r.path, home)) owned_by_program(*it, *owner);
        protect(*it, home);
        out.push_back(std::move(*it));
    }
    return apart_from(out, {});
}

std::vector<Item> big_file_items(const std::vector<Found>& rows, const std::string& home,
                                 int64_t now, const std::vector<Item>& offered) {
    std::vector<Found> sorted = rows;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const Found& a, const Found& b) { return a.alloc > b.alloc; });
    std::vector<Item> out;
    for (const auto& r : sorted) {
        if (out.size() >= kBigFiles) break;
        auto it = base_item("big", r.path, home);
        if (!it || !is_file(r.path)) continue;
        auto size = sizes::freed(r.path);
        // A file with another name elsewhere frees nothing when this one goes.
        if (size.bytes < kBigFile) continue;
        std::string name = paths::base_name(r.path);
        bool downloaded = paths::is_under(r.path, home + "/Downloads");
        it->category = "downloads";
        it->kind = downloaded                         ? "download"
                   : (now - size.newest > 180 * kDay) ? "large-old"
                                                      : "biggest-file";
        it->label = name;
        it->extension = extension_of(name);
        set_size(*it, size);
        it->what = "A big file in " + paths::display(paths::parent_of(r.path), home) + ".";
        it->if_gone = "It goes to the Trash, from where you can restore it.";
        it->comes_back = "No.";
        if (auto owner = program_folder(r.path, home)) owned_by_program(*it, *owner);
        protect(*it, home);
        std::vector<Item> one{std::move(*it)};
        for (auto& kept : apart_from(apart_from(one, offered), out))
            out.push_back(std::move(kept));
    }
    return out;
}

}  // namespace peer::items
