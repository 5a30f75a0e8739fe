#include "cache_check.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "walk.hpp"

namespace bwcore::cache_check {
namespace {

uint64_t load64(const unsigned char* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}

// Sums over file records the way a walk adds them into `own`.
struct Tally {
    uint64_t alloc = 0;
    uint64_t logical = 0;
    uint64_t files = 0;
    int64_t mtime = 0;
    void add(const FileRec& f) {
        alloc = add_sat(alloc, f.alloc);
        logical = add_sat(logical, f.logical);
        files += 1;
        mtime = std::max(mtime, f.mtime);
    }
};

// The link of a name, through a sorted index when there are many links.
class LinkIndex {
public:
    explicit LinkIndex(const std::vector<LinkRec>& links) : m_links(links) {
        if (links.size() <= 16) return;
        m_sorted.reserve(links.size());
        for (const LinkRec& l : links)
            m_sorted.push_back(&l);
        std::sort(m_sorted.begin(), m_sorted.end(),
                  [](const LinkRec* a, const LinkRec* b) { return a->name < b->name; });
    }
    const LinkRec* find(std::string_view name) const {
        if (m_sorted.empty()) {
            for (const LinkRec& l : m_links)
                if (l.name == name) return &l;
            return nullptr;
        }
        auto it =
            std::lower_bound(m_sorted.begin(), m_sorted.end(), name,
                             [](const LinkRec* l, std::string_view n) { return l->name < n; });
        return it != m_sorted.end() && (*it)->name == name ? *it : nullptr;
    }

private:
    const std::vector<LinkRec>& m_links;
    std::vector<const LinkRec*> m_sorted;
};

// Whether every record of `list` has a name a folder listing can give.
template <class List>
bool plain_names(const List& list) {
    return std::all_of(list.begin(), list.end(), [](const auto& r) { return plain_name(r.name); });
}

}  // namespace

void Sum::add(std::string_view data) {
    if (data.empty()) return;  // its pointer may be null
    XXH64_update(&m_state, data.data(), data.size());
}

uint64_t checksum(std::string_view data) {
    return XXH64(data.empty() ? "" : data.data(), data.size(), 0);
}

bool follows(std::string_view file, uint64_t body_end) {
    if (body_end > file.size() || file.size() - body_end < TRAILER_SIZE) return false;
    std::string_view trailer = file.substr(body_end, TRAILER_SIZE);
    return trailer.substr(0, TAG.size()) == TAG &&
           load64(reinterpret_cast<const unsigned char*>(trailer.data() + TAG.size())) ==
               checksum(file.substr(0, body_end));
}

bool plain_name(std::string_view name) {
    // Two plain byte searches: a set search costs a call per byte, on every name of the file.
    return !name.empty() && name != "." && name != ".." &&
           std::memchr(name.data(), '/', name.size()) == nullptr &&
           std::memchr(name.data(), '\0', name.size()) == nullptr;
}

// Every check below holds for each folder a walk stores, whether it was listed, reused, patched
// from its change list or had its big files read again: those steps change a record and the
// own totals together. `total` is not stored; settling rebuilds it from exactly these fields.
bool consistent(const Node& n) {
    if (n.own.dirs != 0) return false;
    // Each name is joined to the folder's path: one that is not a single entry of the folder
    // would lead a later scan out of it, to count or re-read some other place.
    if (!plain_names(n.children) || !plain_names(n.links) || !plain_names(n.files) ||
        !plain_names(n.all_files))
        return false;
    if (n.skipped.size() != std::min<uint64_t>(n.own.skipped, walk::MAX_SAMPLES)) return false;
    if (!n.all_files.empty()) {
        Tally all;
        for (const FileRec& f : n.all_files)
            all.add(f);
        if (all.files != n.own.files || all.alloc != n.own.alloc || all.logical != n.own.logical ||
            all.mtime > n.own.mtime)
            return false;
    }
    LinkIndex links(n.links);
    Tally big;
    for (const FileRec& f : n.files) {
        if (const LinkRec* l = links.find(f.name)) {
            if (l->alloc != f.alloc || l->logical != f.logical || l->mtime != f.mtime ||
                l->ino != f.ino)
                return false;
        } else {
            big.add(f);
        }
    }
    return big.files <= n.own.files && big.alloc <= n.own.alloc && big.logical <= n.own.logical &&
           big.mtime <= n.own.mtime;
}

}  // namespace bwcore::cache_check
