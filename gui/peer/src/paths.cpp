#include "paths.hpp"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace peer::paths {
namespace {

std::string env_abs(const char* name) {
    const char* v = std::getenv(name);
    return (v && v[0] == '/') ? std::string(v) : std::string();
}

std::string strip_slashes(std::string p) {
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return p;
}

// Kept in step with the app's delete guard: the places it refuses are the places
// this engine never offers.
constexpr std::array<std::string_view, 26> kExactFolders = {
    "/",     "/System",  "/Users", "/Library", "/Applications", "/usr",  "/bin",
    "/sbin", "/private", "/var",   "/etc",     "/Volumes",      "/home", "/root",
    "/boot", "/dev",     "/proc",  "/sys",     "/run",          "/lib",  "/lib64",
    "/opt",  "/srv",     "/mnt",   "/media",   "/snap"};
constexpr std::array<std::string_view, 4> kExactHomeFolders = {"", "/Library", "/Downloads",
                                                               "/Applications"};
constexpr std::array<std::string_view, 13> kTrees = {
    "/System", "/Applications", "/usr", "/bin", "/sbin", "/Library/Keychains", "/boot", "/dev",
    "/proc",   "/sys",          "/etc", "/lib", "/lib64"};
constexpr std::array<std::string_view, 18> kHomeTrees = {"/Documents",
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
                                                         "/iCloud Drive (Archive)",
                                                         "/Videos",
                                                         "/.ssh",
                                                         "/.gnupg",
                                                         "/.local/share/keyrings"};
constexpr std::array<std::string_view, 4> kSyncPrefixes = {"OneDrive", "Dropbox", "Google Drive",
                                                           "Box"};

bool ends_with(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

std::vector<std::string> components(const std::string& p) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < p.size()) {
        size_t j = p.find('/', i);
        if (j == std::string::npos) j = p.size();
        if (j > i) out.push_back(p.substr(i, j - i));
        i = j + 1;
    }
    return out;
}

// True when `p` holds a protected place: removing it would remove that place.
bool holds_protected(const std::string& p, const std::string& h) {
    auto holds = [&](const std::string& place) {
        return place.size() > p.size() && is_under(place, p);
    };
    for (auto f : kExactFolders)
        if (holds(std::string(f))) return true;
    for (auto f : kExactHomeFolders)
        if (holds(h + std::string(f))) return true;
    for (auto t : kTrees)
        if (holds(std::string(t))) return true;
    for (auto t : kHomeTrees)
        if (holds(h + std::string(t))) return true;
    return false;
}

bool plain_absolute(const std::string& p) {
    if (p.empty() || p[0] != '/') return false;
    for (const auto& c : components(p))
        if (c == "." || c == "..") return false;
    return true;
}

std::optional<std::string> component_reason(const std::string& p, const std::string& h) {
    auto parts = components(p);
    for (const auto& c : parts) {
        if (ends_with(c, ".photoslibrary")) return "protected: Photos library";
        if (ends_with(c, ".keychain") || ends_with(c, ".keychain-db")) return "protected: keychain";
    }
    if (parts.size() >= 3 && (parts[0] == "Users" || parts[0] == "home") &&
        parts[1] != base_name(h) && !is_under(p, h))
        return "outside your home";
    size_t depth = components(h).size();
    if (parts.size() > depth && is_under(p, h) && p != h)
        for (auto prefix : kSyncPrefixes)
            if (parts[depth].starts_with(prefix)) return "protected: sync folder";
    return std::nullopt;
}

}  // namespace

std::string home() {
    std::string h = env_abs("HOME");
    if (h.empty()) {
        if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) h = pw->pw_dir;
    }
    return strip_slashes(h);
}

bool usable_cache(const std::string& dir, const std::string& h) {
    std::string c = strip_slashes(dir);
    if (!plain_absolute(c) || !plain_absolute(h) || h == "/") return false;
    if (!is_under(c, h) || c == h || protected_reason(c, h)) return false;
    auto real_home = real_path(h);
    auto real = real_path(c);
    // A folder not made yet holds nothing; where it would lie is judged when it exists.
    if (!real) return true;
    if (!real_home || !is_under(*real, *real_home) || *real == *real_home) return false;
    return !against_both_homes(*real, h);
}

std::string cache_dir() {
    std::string h = home();
    std::string c = strip_slashes(env_abs("XDG_CACHE_HOME"));
    return !c.empty() && usable_cache(c, h) ? c : h + "/.cache";
}

std::string trash_dir() {
    std::string d = env_abs("XDG_DATA_HOME");
    return strip_slashes(d.empty() ? home() + "/.local/share" : d) + "/Trash";
}

std::string display(const std::string& path, const std::string& h) {
    if (!h.empty() && h != "/" && is_under(path, h)) return "~" + path.substr(h.size());
    return path;
}

bool carriable(const std::string& path) {
    const auto* s = reinterpret_cast<const unsigned char*>(path.data());
    size_t n = path.size(), i = 0;
    while (i < n) {
        unsigned c = s[i];
        if (c < 0x20 || c == 0x7f) return false;
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len = c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : c >= 0xc2 ? 2 : 0;
        if (len == 0 || c > 0xf4 || i + len > n) return false;
        unsigned cp = c & (0x3f >> (len - 1));
        for (size_t k = 1; k < len; ++k) {
            if ((s[i + k] & 0xc0) != 0x80) return false;
            cp = (cp << 6) | (s[i + k] & 0x3f);
        }
        bool overlong = (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
        if (overlong || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) return false;
        if (cp >= 0x80 && cp < 0xa0) return false;  // C1 controls
        i += len;
    }
    return true;
}

std::string base_name(const std::string& path) {
    std::string p = strip_slashes(path);
    size_t k = p.rfind('/');
    return k == std::string::npos ? p : p.substr(k + 1);
}

std::string parent_of(const std::string& path) {
    std::string p = strip_slashes(path);
    size_t k = p.rfind('/');
    if (k == std::string::npos) return ".";
    return k == 0 ? "/" : p.substr(0, k);
}

std::optional<std::string> real_path(const std::string& path) {
    char* r = ::realpath(path.c_str(), nullptr);
    if (!r) return std::nullopt;
    std::string out(r);
    std::free(r);
    return out;
}

std::optional<std::string> real_location(const std::string& path) {
    auto parent = real_path(parent_of(path));
    if (!parent) return std::nullopt;
    return (*parent == "/" ? std::string() : *parent) + "/" + base_name(path);
}

bool is_under(const std::string& path, const std::string& dir) {
    if (dir == "/") return !path.empty() && path[0] == '/';
    return path == dir ||
           (path.size() > dir.size() && path.starts_with(dir) && path[dir.size()] == '/');
}

bool really_inside(const std::string& path, const std::string& h) {
    auto real = real_location(path);
    auto real_home = real_path(h);
    return real && real_home && *real_home != "/" && is_under(*real, *real_home) &&
           *real != *real_home;
}

std::optional<std::string> protected_reason(const std::string& path, const std::string& h) {
    if (h.size() < 2 || h[0] != '/') return "outside your home";
    std::string p = strip_slashes(path);
    for (auto f : kExactFolders)
        if (p == f) return "protected folder";
    for (auto f : kExactHomeFolders)
        if (p == h + std::string(f)) return "protected folder";
    if (holds_protected(p, h)) return "protected folder";
    for (auto t : kTrees)
        if (is_under(p, std::string(t))) return "protected: " + std::string(t);
    for (auto t : kHomeTrees)
        if (is_under(p, h + std::string(t))) return "protected: ~" + std::string(t);
    return component_reason(p, h);
}

// Judged against the home as given and, when the home's path runs through a
// link, against its real location too: every protection of either holds, and
// a path is outside the home only when it is outside both (a resolved path never
// starts with the linked one). Kept in step with the app's delete guards.
std::optional<std::string> against_both_homes(const std::string& p, const std::string& h) {
    auto given = protected_reason(p, h);
    auto real_home = real_path(h);
    if (!real_home || *real_home == h) return given;
    auto resolved = protected_reason(p, *real_home);
    auto outside = [](const std::optional<std::string>& r) {
        return r && *r == "outside your home";
    };
    if (given && !outside(given)) return given;
    if (resolved && !outside(resolved)) return resolved;
    if (outside(given) && outside(resolved)) return given;
    return std::nullopt;
}

std::optional<std::string> protected_anywhere(const std::string& path, const std::string& h) {
    if (auto r = against_both_homes(path, h)) return r;
    auto real = real_location(path);
    if (!real) return std::nullopt;
    return against_both_homes(*real, h);
}

std::optional<Identity> identify(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    return Identity{st.st_dev, st.st_ino, S_ISDIR(st.st_mode), S_ISLNK(st.st_mode)};
}

}  // namespace peer::paths

#include <sys/statvfs.h>

#include <fstream>
#include <sstream>

namespace peer::paths {

std::string unescape_mount(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        bool octal = field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
                     field[i + 1] <= '3' && field[i + 2] >= '0' && field[i + 2] <= '7' &&
                     field[i + 3] >= '0' && field[i + 3] <= '7';
        if (octal) {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

Volume volume(const std::string& dir) {
    Volume v;
    struct statvfs s {};
    if (::statvfs(dir.c_str(), &s) == 0) {
        v.free_bytes = static_cast<int64_t>(s.f_bavail) * static_cast<int64_t>(s.f_frsize);
        v.total_bytes = static_cast<int64_t>(s.f_blocks) * static_cast<int64_t>(s.f_frsize);
    }
    std::string real = real_path(dir).value_or(dir);
    std::ifstream in("/proc/self/mountinfo");
    std::string line, best = "/";
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, devno, root, mount;
        if (!(fields >> id >> parent >> devno >> root >> mount)) continue;
        mount = unescape_mount(mount);
        if (is_under(real, mount) && mount.size() > best.size()) best = mount;
    }
    if (best != "/") v.name = best;
    return v;
}

}  // namespace peer::paths
