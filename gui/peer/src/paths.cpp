#include "paths.hpp"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "DeleteGuard.hpp"

namespace peer::paths {
namespace {

namespace DeleteGuard = durozizo::DeleteGuard;

std::string env_abs(const char* name) {
    const char* v = std::getenv(name);
    return (v && v[0] == '/') ? std::string(v) : std::string();
}

std::string strip_slashes(std::string p) {
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return p;
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

// Root is held as "" while a path is built, so appending is always "/" + name.
std::string asBuilt(const std::string& p) {
    return p == "/" ? std::string() : p;
}

bool plain_absolute(const std::string& p) {
    if (p.empty() || p[0] != '/') return false;
    for (const auto& c : components(p))
        if (c == "." || c == "..") return false;
    return true;
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
    if (!is_under(c, h) || c == h || DeleteGuard::protectedReason(c, h)) return false;
    auto real_home = real_path(h);
    auto real = real_path(c);
    // A folder not made yet holds nothing; where it would lie is judged when it exists.
    if (!real) return true;
    if (!real_home || !is_under(*real, *real_home) || *real == *real_home) return false;
    return !DeleteGuard::reasonAgainstBothHomes(*real, h);
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

std::optional<std::string> would_lie(const std::string& path) {
    if (!plain_absolute(path)) return std::nullopt;
    std::string missing;
    std::string p = strip_slashes(path);
    while (true) {
        if (auto real = real_path(p)) return missing.empty() ? *real : asBuilt(*real) + missing;
        // Only a name that is not there may be made; anything else (a dangling
        // link, a file on the way, no permission) leaves no place to make it.
        if (errno != ENOENT || p == "/") return std::nullopt;
        struct stat st {};
        if (::lstat(p.c_str(), &st) == 0) return std::nullopt;
        missing = "/" + base_name(p) + missing;
        p = parent_of(p);
    }
}

std::optional<std::string> trash_refusal(const std::string& dir, const std::string& h) {
    const char* outside = "the Trash folder lies outside your home; not moved to the Trash";
    const char* guarded = "the Trash folder lies in a protected place; not moved to the Trash";
    std::string t = strip_slashes(dir);
    if (!plain_absolute(h) || h == "/") return outside;
    auto real_home = real_path(h);
    if (!real_home || *real_home == "/") return outside;
    // A dangling link, a file or a "." or ".." on the way: nowhere checkable to make it.
    auto real = would_lie(t);
    if (!real) return "cannot make the Trash folder";
    if (!is_under(*real, *real_home) || *real == *real_home) return outside;
    // The Trash folder as written and where it really lies, each against both homes.
    for (const auto& place : {t, *real}) {
        auto r = DeleteGuard::reasonAgainstBothHomes(place, h);
        if (r) return *r == "outside your home" ? outside : guarded;
    }
    return std::nullopt;
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

std::optional<std::string> protected_anywhere(const std::string& path, const std::string& h) {
    if (auto r = DeleteGuard::reasonAgainstBothHomes(path, h)) return r;
    auto real = real_location(path);
    if (!real) return std::nullopt;
    return DeleteGuard::reasonAgainstBothHomes(*real, h);
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
