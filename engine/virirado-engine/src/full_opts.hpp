#pragma once
// The options of the two browsing commands (`tree` and `serve --full`): a whole-disk scan in
// full mode with its cache apart from plain scans, and the mapping of a path a person names onto
// the path under which it was walked.
#include <optional>
#include <string>
#include <string_view>

#include "args.hpp"
#include "scan.hpp"

namespace virirado_engine {

// Where the system keeps the user's files when "/" is a read-only system volume. A folder of
// that name is looked for; where it does not exist, "/" is walked as it is.
inline constexpr std::string_view DATA_VOLUME = "/System/Volumes/Data";

struct FullOpts {
    bwcore::ScanOptions options{"/"};
    // `--home`, else $HOME, before any data-volume prefix: the home the cache folder follows.
    std::optional<std::string> home;
};

// Takes, in this order, --root, --home, --config (reading the rules file), --no-cache,
// --no-fsevents, --cache-dir, --threads, --big-min and --generic-lister out of `args`.
FullOpts full_opts(Args& args);

// `path` without trailing "/" ("" becomes "/"), moved under the data volume when that is the
// scanned root and the path is not already below it.
std::string walked_path(std::string_view root, std::string_view path);

}  // namespace virirado_engine
