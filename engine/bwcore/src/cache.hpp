#pragma once
// The scan cache: one file per scanned root holding the whole tree, so the next scan of the same
// root can reuse every folder that did not change. A missing, stale, foreign or damaged file is
// never an error, only a miss.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "result.hpp"
#include "tree.hpp"

namespace bwcore {

using VolumeUuid = std::array<uint8_t, 16>;

// What a cache file holds after its version number.
struct CacheBody {
    std::string root;
    uint64_t key = 0;
    uint64_t saved_at = 0;  // Unix seconds
    uint64_t event_id = 0;
    VolumeUuid volume_uuid{};
    Node node;
};

namespace cache {

inline constexpr uint32_t VERSION = 3;
// At most this many bytes are decoded from one file.
inline constexpr uint64_t DECODE_LIMIT = uint64_t{1} << 32;
// Folders nested deeper than this make a file unreadable; real trees stay near 2,000 levels.
inline constexpr std::size_t MAX_DEPTH = 100000;
inline constexpr const char* ENV_VAR = "VIRIRADO_ENGINE_CACHE";

// The cache folder: $VIRIRADO_ENGINE_CACHE, else <home>/Library/Caches/virirado/engine, else the
// same under $HOME, else under the temporary folder. Empty values count as unset.
std::string default_dir(const std::optional<std::string>& home);

// The file name for a root: FNV-1a 64 of its bytes in lower-case hex without leading zeros.
std::string file_name(std::string_view root);

// Writes the tree for `root` into `folder` (created when missing) and moves it into place whole.
// On failure the previous file is left as it was.
Status save(const std::string& folder, std::string_view root, uint64_t key,
            const VolumeUuid& volume_uuid, uint64_t event_id, const Node& node);

// The stored body when the file exists, decodes, and matches `root` and `key`, and was saved at
// most `max_age` seconds ago (a save time in the future is too old). Otherwise nothing.
std::optional<CacheBody> load(const std::string& folder, std::string_view root, uint64_t key,
                              uint64_t max_age);

}  // namespace cache
}  // namespace bwcore
