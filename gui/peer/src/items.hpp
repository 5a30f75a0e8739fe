// The cleanup items this engine offers and their wire form, and the places it
// lists on its own (the cache folder, the Trash, the Downloads folder).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace peer::items {

// A part of an item shown on its own (the Trash's files/ and info/), sized at scan time.
struct Member {
    std::string path;
    int64_t size = 0;
    int64_t file_count = 0;
};

struct Item {
    std::string id;
    std::string category;
    std::string label;
    std::string path;
    std::string where;  // where it really lies at scan time (paths::real_location)
    int64_t size = 0;
    int64_t realistic_size = 0;
    int64_t file_count = 0;
    std::string kind;
    std::string safety;  // "safe", "review" or "info"
    std::string action;  // "rm", "trash" or "info"
    bool deletable = true;
    int64_t modified = 0;
    std::string extension;
    std::string what, if_gone, comes_back;
    std::vector<Member> members;
    // Identity at scan time: the clean refuses a path that is no longer this.
    dev_t dev = 0;
    ino_t ino = 0;
    // Emptying keeps the folder and its direct subfolders and removes what is in them.
    bool empty_only = false;
};

// Whether the item may be ticked and cleaned.
bool cleanable(const Item& item);

// True when one lies inside the other or both are the same thing, as written
// or where they really lie: offering both would count the inner bytes twice,
// and cleaning the outer one takes the inner one with it.
bool overlaps(const Item& a, const Item& b);
// The items of `found`, in order, that overlap no item of `offered` and no
// item kept before them.
std::vector<Item> apart_from(const std::vector<Item>& found, const std::vector<Item>& offered);

nlohmann::json to_json(const Item& item, bool ticked);
// The preview row: {"id","label","path","realistic_size","kind","safety","action"}.
nlohmann::json row_json(const Item& item);

// Each direct child of the cache folder of at least 1 MB; none when the folder
// is not a usable cache folder (paths::usable_cache).
std::vector<Item> cache_items(const std::string& cache_dir, const std::string& home);
// The Trash as one item (none when it is empty or missing).
std::vector<Item> trash_items(const std::string& trash_dir, const std::string& home);
// The direct children of ~/Downloads, offered for the Trash.
std::vector<Item> download_items(const std::string& home);

// A file or folder the scanning engine reported, checked against the disk; none
// when it vanished, is a symlink or cannot be carried.
struct Found {
    std::string path;
    int64_t alloc = 0;
    int64_t files = 0;
    int64_t mtime = 0;
    std::string name;  // build folders: the build tool's name
};
// Build folders; one inside another row is handled like any other overlap, one
// below a hidden folder of the home (a program's own folder) is look only.
std::vector<Item> devbuild_items(const std::vector<Found>& rows, const std::string& home);
// At most the 50 biggest files that free at least 100 MB, skipping those that
// overlap an item of `offered`. Files below a hidden folder of the home belong
// to a program and are look only.
std::vector<Item> big_file_items(const std::vector<Found>& rows, const std::string& home,
                                 int64_t now, const std::vector<Item>& offered);

// The folder of the program that keeps `path`, shown with the home as "~": the
// outermost hidden folder between the home and `path` ("~/.rustup",
// "~/proj/.git"), or, when that folder holds programs' folders ("~/.config",
// "~/.cache", "~/.local/share", "~/.var/app", ...), the one inside it on the way
// ("~/.local/share/Steam"). None when no folder on the way starts with a dot.
// The last name of `path` never counts.
std::optional<std::string> program_folder(const std::string& path, const std::string& home);

}  // namespace peer::items
