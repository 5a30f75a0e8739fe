#include "full_opts.hpp"

#include <sys/stat.h>

#include "cache.hpp"
#include "options.hpp"
#include "tree.hpp"

namespace virirado_engine {
namespace {

bool is_folder(std::string_view path) {
    struct stat st {};
    return ::stat(std::string(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool starts_with_data_volume(std::string_view path) {
    return path.substr(0, DATA_VOLUME.size()) == DATA_VOLUME;
}

}  // namespace

FullOpts full_opts(Args& args) {
    auto env_home = env_text("HOME");
    auto root = args.value("--root").value_or("/");
    auto given_home = args.value("--home");
    FullOpts out;
    out.home = given_home ? given_home : env_home;
    if ((root.empty() || root == "/") && is_folder(DATA_VOLUME)) root = std::string(DATA_VOLUME);
    out.options = bwcore::ScanOptions(root);
    out.options.full = true;
    out.options.home = out.home;
    // The walk sees the home under the data volume; a home named from "/" is moved there too.
    if (out.home && starts_with_data_volume(out.options.root) &&
        !starts_with_data_volume(*out.home))
        out.options.home = std::string(DATA_VOLUME) + *out.home;
    out.options.rules = load_rules(args.value("--config"));
    if (args.flag("--no-cache")) out.options.use_cache = false;
    if (args.flag("--no-fsevents")) out.options.fsevents = false;
    auto cache_dir = args.value("--cache-dir");
    // An empty folder name would put the cache at "/full"; it means the default folder.
    std::string base =
        cache_dir && !cache_dir->empty() ? *cache_dir : bwcore::cache::default_dir(out.home);
    out.options.cache_dir = bwcore::tree::join(base, "full");
    if (auto t = args.num("--threads")) out.options.threads = clamp_threads(*t);
    if (auto b = args.num("--big-min")) out.options.big_min = *b;
    if (args.flag("--generic-lister")) out.options.generic_lister = true;
    return out;
}

std::string walked_path(std::string_view root, std::string_view path) {
    while (!path.empty() && path.back() == '/')
        path.remove_suffix(1);
    std::string p = path.empty() ? std::string("/") : std::string(path);
    if (root != DATA_VOLUME || starts_with_data_volume(p)) return p;
    if (p == "/") return std::string(root);
    return std::string(DATA_VOLUME) + p;
}

}  // namespace virirado_engine
