#include "items.hpp"

#include <dirent.h>

#include <algorithm>
#include <optional>

#include "paths.hpp"

namespace peer::items {
namespace {

using nlohmann::json;

constexpr int64_t kMinCache = 1'000'000;
constexpr int64_t kDay = 86'400;

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

// The common checks of every item: a path the app can carry, inside the home
// both as written and where it really lies (a linked folder on the way may lead
// elsewhere), present and no symlink. Places the app protects become look-only.
std::optional<Item> base_item(const std::string& source, const std::string& path,
                              const std::string& home) {
    if (!paths::carriable(path) || !paths::is_under(path, home) || path == home ||
        !paths::really_inside(path, home))
        return std::nullopt;
    auto id = paths::identify(path);
    if (!id || id->is_link) return std::nullopt;
    Item it;
    it.id = source + ":" + path;
    it.path = path;
    it.dev = id->dev;
    it.ino = id->ino;
    it.safety = "review";
    it.action = "trash";
    return it;
}

// Look-only when the path, or where it really sits, is a protected place.
void protect(Item& it, const std::string& home) {
    if (!paths::protected_anywhere(it.path, home)) return;
    it.safety = "info";
    it.action = "info";
    it.deletable = false;
}

void set_size(Item& it, const paths::Size& s) {
    it.size = s.bytes;
    it.realistic_size = s.bytes;
    it.file_count = s.files;
    it.modified = s.newest;
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
    if (!it.member_paths.empty()) {
        json members = json::array();
        for (const auto& p : it.member_paths) {
            auto s = paths::measure(p);
            members.push_back({{"id", it.id + "/" + paths::base_name(p)},
                               {"label", paths::base_name(p)},
                               {"path", p},
                               {"size", s.bytes},
                               {"realistic_size", s.bytes},
                               {"file_count", s.files},
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
        auto s = paths::measure(path);
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
    if (children(files).empty() && children(info).empty()) return {};
    it->category = "trash";
    it->kind = "trash";
    it->label = "Trash";
    it->safety = "safe";
    it->action = "rm";
    it->empty_only = true;
    it->member_paths = {files, info};
    it->what = "Files and folders you moved to the Trash.";
    it->if_gone = "They can no longer be restored.";
    it->comes_back = "Only when you move more things to the Trash.";
    set_size(*it, paths::measure(trash_dir));
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
        if (!paths::identify(path)->is_dir) it->extension = extension_of(name);
        it->what = "Something you downloaded.";
        it->if_gone = "It goes to the Trash, from where you can restore it.";
        it->comes_back = "Only if you download it again.";
        set_size(*it, paths::measure(path));
        protect(*it, home);
        out.push_back(std::move(*it));
    }
    return out;
}

std::vector<Item> devbuild_items(const std::vector<Found>& rows, const std::string& home) {
    std::vector<Found> sorted = rows;
    std::sort(sorted.begin(), sorted.end(),
              [](const Found& a, const Found& b) { return a.path < b.path; });
    std::vector<Item> out;
    std::vector<std::string> kept;
    for (const auto& r : sorted) {
        // Sorted by path, so a folder's nested rows come right after it.
        if (!kept.empty() && paths::is_under(r.path, kept.back())) continue;
        auto it = base_item("devbuild", r.path, home);
        if (!it || !paths::identify(r.path)->is_dir) continue;
        kept.push_back(r.path);
        std::string project = paths::base_name(paths::parent_of(r.path));
        it->category = "devbuilds";
        it->kind = "devbuild";
        it->label = r.name + " · " + project;
        it->size = it->realistic_size = r.alloc;
        it->file_count = r.files;
        it->modified = r.mtime;
        it->what = "Build output of " + project + ".";
        it->if_gone = "Nothing you wrote is lost. The next build takes longer.";
        it->comes_back = "On the next build.";
        protect(*it, home);
        out.push_back(std::move(*it));
    }
    return out;
}

std::vector<Item> big_file_items(const std::vector<Found>& rows, const std::string& home,
                                 int64_t now) {
    std::vector<Item> out;
    for (const auto& r : rows) {
        auto it = base_item("big", r.path, home);
        if (!it || paths::identify(r.path)->is_dir) continue;
        std::string name = paths::base_name(r.path);
        bool downloaded = paths::is_under(r.path, home + "/Downloads");
        it->category = "downloads";
        it->kind = downloaded                     ? "download"
                   : (now - r.mtime > 180 * kDay) ? "large-old"
                                                  : "biggest-file";
        it->label = name;
        it->extension = extension_of(name);
        it->size = it->realistic_size = r.alloc;
        it->file_count = 1;
        it->modified = r.mtime;
        it->what = "A big file in " + paths::display(paths::parent_of(r.path), home) + ".";
        it->if_gone = "It goes to the Trash, from where you can restore it.";
        it->comes_back = "No.";
        protect(*it, home);
        out.push_back(std::move(*it));
    }
    return out;
}

}  // namespace peer::items
