// The last line of defence before anything is deleted: whether a selection needs
// the typed confirmation code, whether one item may go at all (and why not, in a
// short user-visible reason), and whether its size on disk moved since the scan.
//
// Stateless; every function may run on any thread. `staticReason` and `measure`
// only read the file system. Paths are compared as bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace durozizo::DeleteGuard {

// A selection whose sizes add up to more than this needs the typed code.
inline constexpr int64_t totalLimit = 5'000'000'000;
// A selection holding one item larger than this needs the typed code.
inline constexpr int64_t itemLimit = 2'000'000'000;

// True when any item is "review", the exact total exceeds `totalLimit`, or one
// size exceeds `itemLimit`. The total never wraps around.
bool needsTypedCode(const std::vector<int64_t>& sizes, bool anyCheckFirst);

// The user's home folder: $HOME when it is an absolute path, else the password
// database's entry for this user, else "". Used to expand a leading "~".
std::string homeFolder();

// The form in which paths are compared: a leading "~" expanded with `homeFolder()`,
// doubled separators, "." and trailing separators removed, and ".." resolved
// physically (through symbolic links, as the kernel would) in absolute paths.
std::string normalized(const std::string& path);

// Why `path` lies in a place that is never cleaned, or none. A leading "~" in
// `path` stands for `home`. A home that is empty, relative or "/" protects
// nothing reliably, so every path is then refused with "outside your home";
// so is a path that is still relative once normalised. A folder that holds a
// protected place (~/.local for ~/.local/share/keyrings, a folder holding the
// home) is a "protected folder" itself.
std::optional<std::string> protectedReason(const std::string& path, const std::string& home);

// `protectedReason` against the home as given and, when the home's own path runs
// through a link, against its real location too: every protection of either
// holds, and a path counts as "outside your home" only when it is outside both.
// Only the home is resolved here, not `path`.
std::optional<std::string> reasonAgainstBothHomes(const std::string& path, const std::string& home);

// Why the item may not be deleted, or none. `scannedPaths` holds the `normalized`
// paths of the current scan's items; `home` is the user's home folder. Where the
// item really lies (its parent resolved through links) is judged against the home
// as given and, when that runs through a link, against the home's real location.
std::optional<std::string> staticReason(const std::optional<std::string>& path,
                                        const std::string& action, const std::string& safety,
                                        const std::unordered_set<std::string>& scannedPaths,
                                        const std::string& home);

// Where the item really lies, as `staticReason` judges it: the normalised path
// with its parent folder resolved through links and its own name kept (a link
// stays the link). None when the parent cannot be resolved, or for a relative
// path or one holding a NUL byte. Many lookups in a row may share `resolved`,
// the folders already resolved, so each parent is resolved once.
using ResolvedFolders = std::unordered_map<std::string, std::optional<std::string>>;
std::optional<std::string> realLocation(const std::string& path,
                                        ResolvedFolders* resolved = nullptr);

// "smaller than scanned" when a big item lost more than half its size,
// "bigger than scanned" when it grew far beyond it, else none. Exact arithmetic.
std::optional<std::string> sizeReason(int64_t expected, int64_t measured);

// The bytes the item occupies on disk now (allocated, not logical); a folder is
// the saturating sum over everything below it, symbolic links never followed.
// Anything missing or unreadable counts as 0.
int64_t measure(const std::string& path);

}  // namespace durozizo::DeleteGuard
