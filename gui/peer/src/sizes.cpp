#include "sizes.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string_view>
#include <utility>
#include <vector>

#include "Numeric.hpp"

namespace peer::sizes {
namespace {

constexpr unsigned kWanted = STATX_TYPE | STATX_NLINK | STATX_INO | STATX_BLOCKS | STATX_MTIME;

struct Entry {
    bool ok = false;
    bool is_dir = false;
    bool is_link = false;
    bool mount_root = false;
    dev_t dev = 0;
    ino_t ino = 0;
    uint32_t links = 1;
    int64_t bytes = 0;
    int64_t mtime = 0;
};

int64_t block_bytes(uint64_t blocks) {
    const auto count = static_cast<int64_t>(std::min<uint64_t>(blocks, durozizo::kInt64Max));
    return durozizo::saturatingMul(count, 512);
}

Entry look(int dirfd, const char* name) {
    struct statx sx {};
    Entry e;
    if (::statx(dirfd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, kWanted, &sx) != 0) return e;
    e.ok = true;
    e.is_dir = S_ISDIR(sx.stx_mode);
    e.is_link = S_ISLNK(sx.stx_mode);
    e.mount_root = (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) &&
                   (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
    e.dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    e.ino = sx.stx_ino;
    e.links = sx.stx_nlink;
    e.bytes = block_bytes(sx.stx_blocks);
    e.mtime = sx.stx_mtime.tv_sec;
    return e;
}

// Files with more than one name: their blocks count once all names were met.
struct Linked {
    uint32_t links = 0;
    uint32_t seen = 0;
    int64_t bytes = 0;
};

struct Tally {
    dev_t dev;
    Size size;
    std::map<std::pair<dev_t, ino_t>, Linked> linked;

    void file(const Entry& e) {
        size.files = add(size.files, 1);
        if (e.mtime > size.newest) size.newest = e.mtime;
        if (e.links <= 1) {
            size.bytes = add(size.bytes, e.bytes);
            return;
        }
        Linked& l = linked[{e.dev, e.ino}];
        l.links = e.links;
        l.bytes = e.bytes;
        l.seen += 1;
    }
    void settle() {
        for (const auto& [key, l] : linked)
            if (l.seen >= l.links) size.bytes = add(size.bytes, l.bytes);
    }
};

// The folders below a mount point are never entered: removal leaves them alone.
bool crosses(const Entry& e, dev_t dev) {
    return e.mount_root || e.dev != dev;
}

void walk_folder(const std::string& dir, Tally& t, std::vector<std::string>& pending) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    DIR* d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return;
    }
    while (dirent* de = ::readdir(d)) {
        std::string_view name = de->d_name;
        if (name == "." || name == "..") continue;
        Entry e = look(fd, de->d_name);
        if (!e.ok || e.is_link || crosses(e, t.dev)) continue;
        if (e.is_dir) {
            if (e.mtime > t.size.newest) t.size.newest = e.mtime;
            pending.push_back(dir + "/" + std::string(name));
        } else {
            t.file(e);
        }
    }
    ::closedir(d);
}

}  // namespace

int64_t add(int64_t a, int64_t b) {
    return durozizo::saturatingAdd(std::max<int64_t>(a, 0), std::max<int64_t>(b, 0));
}

Size freed(const std::string& path) {
    Entry root = look(AT_FDCWD, path.c_str());
    if (!root.ok || root.is_link || root.mount_root) return {};
    Tally t{root.dev, {}, {}};
    t.size.newest = root.mtime;
    if (!root.is_dir) {
        t.file(root);
        t.settle();
        return t.size;
    }
    std::vector<std::string> pending{path};
    while (!pending.empty()) {
        std::string dir = std::move(pending.back());
        pending.pop_back();
        walk_folder(dir, t, pending);
    }
    t.settle();
    return t.size;
}

}  // namespace peer::sizes
