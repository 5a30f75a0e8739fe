#include "DeleteGuard.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <cstdlib>
#include <memory>
#include <set>
#include <string_view>
#include <utility>

#include "Numeric.hpp"

namespace durozizo::DeleteGuard {
namespace {

// Wide enough that sums and bounds of 64-bit byte counts are exact.
__extension__ typedef __int128 Wide;

// Paths are bytes here: a prefix test on bytes cannot be dodged by a combining
// mark after the separator, which a test on user-perceived characters could.
bool startsWith(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

bool endsWith(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// p is t itself or lies below it, by whole components.
bool isUnder(std::string_view p, std::string_view t) {
    if (p == t) return true;
    return p.size() > t.size() && startsWith(p, t) && p[t.size()] == '/';
}

std::vector<std::string> components(std::string_view p) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < p.size()) {
        size_t j = p.find('/', i);
        if (j == std::string_view::npos) j = p.size();
        if (j > i) out.emplace_back(p.substr(i, j - i));
        i = j + 1;
    }
    return out;
}

std::string lastComponent(std::string_view p) {
    auto parts = components(p);
    if (parts.empty()) return p.empty() ? std::string() : std::string("/");
    return parts.back();
}

// The folder holding p; "/" for a top-level item and for "/" itself.
std::string deletingLastComponent(std::string_view p) {
    size_t slash = p.rfind('/');
    if (slash == std::string_view::npos) return {};
    if (slash == 0) return "/";
    return std::string(p.substr(0, slash));
}

std::optional<std::string> realPath(const std::string& p) {
    std::unique_ptr<char, decltype(&std::free)> r(::realpath(p.c_str(), nullptr), &std::free);
    if (!r) return std::nullopt;
    return std::string(r.get());
}

std::optional<std::string> passwdHome(const char* user) {
    long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(hint > 0 ? static_cast<size_t>(hint) : 16384);
    passwd pw{};
    passwd* found = nullptr;
    int rc = user ? ::getpwnam_r(user, &pw, buf.data(), buf.size(), &found)
                  : ::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found);
    if (rc != 0 || !found || !pw.pw_dir || pw.pw_dir[0] != '/') return std::nullopt;
    return std::string(pw.pw_dir);
}

std::string expandTilde(const std::string& path, const std::string& home) {
    if (path.empty() || path[0] != '~') return path;
    size_t slash = path.find('/');
    std::string user = path.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
    std::string rest = slash == std::string::npos ? std::string() : path.substr(slash);
    if (user.empty()) {
        // Without a usable home "~" stays literal: "~/x" must never become "/x".
        if (home.empty() || home[0] != '/') return path;
        return home + rest;
    }
    auto other = passwdHome(user.c_str());
    return other ? *other + rest : path;
}

// Root is held as "" while a path is built, so appending is always "/" + name.
std::string asBuilt(const std::string& canonical) {
    return canonical == "/" ? "" : canonical;
}

// The folder that ".." after `prefix` reaches on disk. When the prefix runs
// through a symbolic link, that is the link target's parent, not the lexical one;
// the lexical form is kept whenever both name the same folder.
std::string parentOf(const std::string& prefix) {
    size_t slash = prefix.rfind('/');
    std::string lexical = slash == std::string::npos ? std::string() : prefix.substr(0, slash);
    auto real = realPath(prefix.empty() ? "/" : prefix);
    if (!real) return lexical;
    std::string physical = deletingLastComponent(*real);
    auto realLexical = realPath(lexical.empty() ? "/" : lexical);
    if (realLexical && *realLexical == physical) return lexical;
    return asBuilt(physical);
}

std::string standardize(const std::string& path) {
    auto parts = components(path);
    if (path.empty() || path[0] != '/') {
        std::string out;
        for (const auto& c : parts) {
            if (c == ".") continue;
            if (!out.empty()) out += '/';
            out += c;
        }
        return out.empty() && !path.empty() ? std::string(".") : out;
    }
    std::string out;
    for (const auto& c : parts) {
        if (c == ".") continue;
        if (c == "..") {
            out = parentOf(out);
        } else {
            out += '/';
            out += c;
        }
    }
    return out.empty() ? std::string("/") : out;
}

std::string norm(const std::string& path, const std::string& home) {
    std::string p = standardize(expandTilde(path, home));
    while (p.size() >= 2 && p.back() == '/')
        p.pop_back();
    return p;
}

bool usableHome(const std::string& h) {
    return h.size() >= 2 && h[0] == '/';
}

// Exact folders that are never cleaned themselves (their contents may be).
constexpr std::array<std::string_view, 26> kExactFolders = {
    "/",     "/System",  "/Users", "/Library", "/Applications", "/usr",  "/bin",
    "/sbin", "/private", "/var",   "/etc",     "/Volumes",      "/home", "/root",
    "/boot", "/dev",     "/proc",  "/sys",     "/run",          "/lib",  "/lib64",
    "/opt",  "/srv",     "/mnt",   "/media",   "/snap"};
constexpr std::array<std::string_view, 4> kExactHomeFolders = {"", "/Library", "/Downloads",
                                                               "/Applications"};

// Trees nothing below may be cleaned, in the order they are tested: the absolute
// ones first, then those relative to the home folder (shown with "~").
constexpr std::array<std::string_view, 6> kTrees = {"/System", "/Applications",     "/usr", "/bin",
                                                    "/sbin",   "/Library/Keychains"};
constexpr std::array<std::string_view, 14> kHomeTrees = {"/Documents",
                                                         "/Desktop",
                                                         "/Pictures",
                                                         "/Music",
                                                         "/Movies",
                                                         "/Library/Mobile Documents",
                                                         "/Library/CloudStorage",
                                                         "/Library/Keychains",
                                                         "/Library/Mail",
                                                         "/Library/Messages",
                                                         "/Library/Photos",
                                                         "/Dropbox",
                                                         "/Google Drive",
                                                         "/iCloud Drive (Archive)"};
constexpr std::array<std::string_view, 7> kLinuxTrees = {"/boot", "/dev", "/proc", "/sys",
                                                         "/etc",  "/lib", "/lib64"};
constexpr std::array<std::string_view, 4> kLinuxHomeTrees = {"/Videos", "/.ssh", "/.gnupg",
                                                             "/.local/share/keyrings"};
constexpr std::array<std::string_view, 4> kSyncPrefixes = {"OneDrive", "Dropbox", "Google Drive",
                                                           "Box"};

std::optional<std::string> exactReason(const std::string& p, const std::string& h) {
    for (auto f : kExactFolders)
        if (p == f) return "protected folder";
    for (auto f : kExactHomeFolders)
        if (p == h + std::string(f)) return "protected folder";
    return std::nullopt;
}

template <size_t N>
bool holdsAny(const std::string& p, const std::string& prefix,
              const std::array<std::string_view, N>& places) {
    for (auto f : places) {
        std::string place = prefix + std::string(f);
        if (place.size() > p.size() && isUnder(place, p)) return true;
    }
    return false;
}

// A folder on the way to a protected place (~/.local for ~/.local/share/keyrings,
// the folders holding the home): removing it removes that place too.
bool holdsProtectedPlace(const std::string& p, const std::string& h) {
    return holdsAny(p, "", kExactFolders) || holdsAny(p, h, kExactHomeFolders) ||
           holdsAny(p, "", kTrees) || holdsAny(p, h, kHomeTrees) || holdsAny(p, "", kLinuxTrees) ||
           holdsAny(p, h, kLinuxHomeTrees);
}

template <size_t N>
std::optional<std::string> treeReason(const std::string& p, const std::string& h,
                                      const std::array<std::string_view, N>& trees, bool inHome) {
    for (auto t : trees) {
        std::string tree = inHome ? h + std::string(t) : std::string(t);
        // Only the leading home is shown as "~": the home's text may recur inside
        // a tree's own name, and that occurrence is part of the name.
        if (isUnder(p, tree)) return "protected: " + (inHome ? "~" + std::string(t) : tree);
    }
    return std::nullopt;
}

std::optional<std::string> componentReason(const std::vector<std::string>& parts) {
    for (const auto& c : parts)
        if (endsWith(c, ".photoslibrary")) return "protected: Photos library";
    for (const auto& c : parts)
        if (endsWith(c, ".keychain") || endsWith(c, ".keychain-db")) return "protected: keychain";
    return std::nullopt;
}

bool inOtherUsersFolder(const std::string& p, const std::vector<std::string>& parts,
                        const std::string& h) {
    return parts.size() >= 3 && (parts[0] == "Users" || parts[0] == "home") &&
           parts[1] != lastComponent(h) && !isUnder(p, h);
}

bool inSyncFolder(const std::string& p, const std::vector<std::string>& parts,
                  const std::string& h) {
    size_t depth = components(h).size();
    if (parts.size() <= depth || !startsWith(p, h + "/")) return false;
    for (auto prefix : kSyncPrefixes)
        if (startsWith(parts[depth], prefix)) return true;
    return false;
}

std::optional<std::string> actionReason(const std::optional<std::string>& path,
                                        const std::string& action, const std::string& safety,
                                        bool& passesWithoutPath) {
    bool deletableTier = safety == "safe" || safety == "review";
    if (action == "rm") {
        if (safety != "safe") return "permanent delete only for Safe items";
    } else if (action == "trash") {
        if (!deletableTier) return "tier not deletable";
    } else if (action == "cmd") {
        if (!deletableTier) return "tier not deletable";
        passesWithoutPath = !path.has_value();
        return std::nullopt;
    } else {
        return "unknown action " + action;
    }
    if (!path) return "no path";
    return std::nullopt;
}

bool hasNul(std::string_view p) {
    return p.find('\0') != std::string_view::npos;
}

// Where the item named by the normalised path p lies: its parent resolved
// through links, its own name kept, so a link is the link and not its target.
std::optional<std::string> realLocationOf(const std::string& p,
                                          ResolvedFolders* resolved = nullptr) {
    if (p == "/") return p;
    const std::string folder = deletingLastComponent(p);
    std::optional<std::string> parent;
    if (resolved == nullptr) {
        parent = realPath(folder);
    } else {
        auto [known, fresh] = resolved->try_emplace(folder);
        if (fresh) known->second = realPath(folder);
        parent = known->second;
    }
    if (!parent) return std::nullopt;
    return asBuilt(*parent) + "/" + lastComponent(p);
}

// The reasons that need the disk: the item itself, a link's target and the
// folder it really sits in.
std::optional<std::string> diskReason(const std::string& p, const std::string& home) {
    // No file's path holds a NUL byte; the system calls would see only the text
    // before it and so judge some other item than the one named.
    if (hasNul(p)) return "gone since the scan";
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0) return "gone since the scan";
    if (S_ISLNK(st.st_mode)) {
        // A target that cannot be resolved (dangling, looping, unreadable) is
        // treated as pointing elsewhere: nothing vouches for where it leads.
        auto target = realPath(p);
        if (!target) return "symlink points outside";
        std::string t = norm(*target, home);
        if (t != p && !startsWith(t, p == "/" ? std::string("/") : p + "/"))
            return "symlink points outside";
    }
    auto real = realLocationOf(p);
    if (!real) return "gone since the scan";
    return reasonAgainstBothHomes(*real, home);
}

// Allocated bytes of everything below `root`, one folder at a time from an
// explicit stack so a deep chain cannot exhaust the call stack.
int64_t folderBytes(const std::string& root, const struct stat& rootStat) {
    int64_t total = 0;
    std::set<std::pair<dev_t, ino_t>> seen{{rootStat.st_dev, rootStat.st_ino}};
    std::vector<std::string> pending{root};
    while (!pending.empty()) {
        std::string dir = std::move(pending.back());
        pending.pop_back();
        int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (dir == root ? 0 : O_NOFOLLOW);
        int fd = ::open(dir.c_str(), flags);
        if (fd < 0) continue;
        DIR* d = ::fdopendir(fd);
        if (!d) {
            ::close(fd);
            continue;
        }
        while (dirent* e = ::readdir(d)) {
            std::string_view name = e->d_name;
            if (name == "." || name == "..") continue;
            struct stat st {};
            if (::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
            if (S_ISLNK(st.st_mode)) continue;
            if (S_ISDIR(st.st_mode)) {
                // A bind mount can show a folder inside itself; visit each once.
                if (seen.insert({st.st_dev, st.st_ino}).second)
                    pending.push_back((dir == "/" ? "" : dir) + "/" + std::string(name));
                continue;
            }
            total = saturatingAdd(total, saturatingMul(static_cast<int64_t>(st.st_blocks), 512));
        }
        ::closedir(d);
    }
    return total;
}

}  // namespace

bool needsTypedCode(const std::vector<int64_t>& sizes, bool anyCheckFirst) {
    if (anyCheckFirst) return true;
    Wide sum = 0;
    for (int64_t s : sizes)
        sum += s;
    if (sum > totalLimit) return true;
    for (int64_t s : sizes)
        if (s > itemLimit) return true;
    return false;
}

std::string homeFolder() {
    const char* env = std::getenv("HOME");
    if (env && env[0] == '/') return env;
    return passwdHome(nullptr).value_or(std::string());
}

std::string normalized(const std::string& path) {
    return norm(path, homeFolder());
}

std::optional<std::string> protectedReason(const std::string& path, const std::string& home) {
    std::string h = norm(home, homeFolder());
    if (!usableHome(h)) return "outside your home";
    std::string p = norm(path, h);
    // Every test below places absolute paths; a relative one would be judged
    // against whatever folder the reader happens to work in, so it is never
    // known to lie inside the home.
    if (p.empty() || p[0] != '/') return "outside your home";
    if (auto r = exactReason(p, h)) return r;
    if (holdsProtectedPlace(p, h)) return "protected folder";
    if (auto r = treeReason(p, h, kTrees, false)) return r;
    if (auto r = treeReason(p, h, kHomeTrees, true)) return r;
    if (auto r = treeReason(p, h, kLinuxTrees, false)) return r;
    if (auto r = treeReason(p, h, kLinuxHomeTrees, true)) return r;
    auto parts = components(p);
    if (auto r = componentReason(parts)) return r;
    if (inOtherUsersFolder(p, parts, h)) return "outside your home";
    if (inSyncFolder(p, parts, h)) return "protected: sync folder";
    return std::nullopt;
}

// An item counts as outside the home only when it is outside both homes, since
// a resolved path never starts with the linked one.
std::optional<std::string> reasonAgainstBothHomes(const std::string& p, const std::string& home) {
    auto given = protectedReason(p, home);
    const std::string h = norm(home, homeFolder());
    const auto realHome = usableHome(h) ? realPath(h) : std::nullopt;
    if (!realHome || *realHome == h) return given;
    auto resolved = protectedReason(p, *realHome);
    auto outside = [](const std::optional<std::string>& r) {
        return r && *r == "outside your home";
    };
    if (given && !outside(given)) return given;
    if (resolved && !outside(resolved)) return resolved;
    if (outside(given) && outside(resolved)) return given;
    return std::nullopt;
}

std::optional<std::string> staticReason(const std::optional<std::string>& path,
                                        const std::string& action, const std::string& safety,
                                        const std::unordered_set<std::string>& scannedPaths,
                                        const std::string& home) {
    if (safety == "info") return "Look only";
    if (safety == "blocked") return "Blocked";
    bool passesWithoutPath = false;
    if (auto r = actionReason(path, action, safety, passesWithoutPath)) return r;
    if (passesWithoutPath) return std::nullopt;
    if (path->empty()) return "no path";
    std::string h = norm(home, homeFolder());
    std::string p = norm(*path, h);
    if (!scannedPaths.contains(p)) return "not in this scan";
    if (auto r = reasonAgainstBothHomes(p, home)) return r;
    return diskReason(p, home);
}

std::optional<std::string> realLocation(const std::string& path, ResolvedFolders* resolved) {
    const std::string p = normalized(path);
    if (hasNul(p) || p.empty() || p[0] != '/') return std::nullopt;
    return realLocationOf(p, resolved);
}

std::optional<std::string> sizeReason(int64_t expected, int64_t measured) {
    if (expected > 50'000'000 && measured < expected / 2) return "smaller than scanned";
    Wide bound = static_cast<Wide>(expected) * 3 + 1'000'000'000;
    if (measured > bound) return "bigger than scanned";
    return std::nullopt;
}

int64_t measure(const std::string& path) {
    std::string p = normalized(path);
    struct stat st {};
    if (hasNul(p) || ::stat(p.c_str(), &st) != 0) return 0;
    if (S_ISDIR(st.st_mode)) return folderBytes(p, st);
    struct stat own {};
    if (::lstat(p.c_str(), &own) != 0) return 0;
    return saturatingMul(static_cast<int64_t>(own.st_blocks), 512);
}

}  // namespace durozizo::DeleteGuard
