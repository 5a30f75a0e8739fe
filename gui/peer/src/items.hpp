// The cleanup items this engine offers and their wire form, and the places it
// lists on its own (the cache folder, the Trash, the Downloads folder).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace peer::items {

struct Item {
    std::string id;
    std::string category;
    std::string label;
    std::string path;
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
    std::vector<std::string> member_paths;
    // Identity at scan time: the clean refuses a path that is no longer this.
    dev_t dev = 0;
    ino_t ino = 0;
    // Emptying keeps the folder and its direct subfolders and removes what is in them.
    bool empty_only = false;
};

// Whether the item may be ticked and cleaned.
bool cleanable(const Item& item);

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
std::vector<Item> devbuild_items(const std::vector<Found>& rows, const std::string& home);
std::vector<Item> big_file_items(const std::vector<Found>& rows, const std::string& home,
                                 int64_t now);

}  // namespace peer::items
