#include "cache_check.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "walk.hpp"

namespace bwcore::cache_check {
namespace {

constexpr uint64_t P1 = 0x9E3779B185EBCA87ULL;
constexpr uint64_t P2 = 0xC2B2AE3D27D4EB4FULL;
constexpr uint64_t P3 = 0x165667B19E3779F9ULL;
constexpr uint64_t P4 = 0x85EBCA77C2B2AE63ULL;
constexpr uint64_t P5 = 0x27D4EB2F165667C5ULL;

uint64_t load64(const unsigned char* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}

uint64_t load32(const unsigned char* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
    return v;
}

uint64_t round64(uint64_t acc, uint64_t in) {
    return std::rotl(acc + in * P2, 31) * P1;
}

uint64_t merge64(uint64_t h, uint64_t acc) {
    return (h ^ round64(0, acc)) * P1 + P4;
}

// Takes whole 32-byte stripes, eight bytes into each of the four lanes; returns the bytes taken.
std::size_t stripes(uint64_t (&acc)[4], const unsigned char* p, std::size_t n) {
    std::size_t at = 0;
    for (; n - at >= 32; at += 32) {
        acc[0] = round64(acc[0], load64(p + at));
        acc[1] = round64(acc[1], load64(p + at + 8));
        acc[2] = round64(acc[2], load64(p + at + 16));
        acc[3] = round64(acc[3], load64(p + at + 24));
    }
    return at;
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

}  // namespace

void Sum::add(std::string_view data) {
    if (data.empty()) return;  // its pointer may be null, which no copy may be handed
    const auto* p = reinterpret_cast<const unsigned char*>(data.data());
    std::size_t n = data.size();
    m_len += n;
    if (m_part_len > 0) {
        std::size_t take = std::min(n, 32 - m_part_len);
        std::memcpy(m_part + m_part_len, p, take);
        m_part_len += take;
        p += take;
        n -= take;
        if (m_part_len < 32) return;
        stripes(m_acc, m_part, 32);
        m_part_len = 0;
    }
    std::size_t done = stripes(m_acc, p, n);
    m_part_len = n - done;
    if (m_part_len > 0) std::memcpy(m_part, p + done, m_part_len);
}

uint64_t Sum::value() const {
    uint64_t h;
    if (m_len >= 32) {
        h = std::rotl(m_acc[0], 1) + std::rotl(m_acc[1], 7) + std::rotl(m_acc[2], 12) +
            std::rotl(m_acc[3], 18);
        for (uint64_t a : m_acc)
            h = merge64(h, a);
    } else {
        h = m_acc[2] + P5;  // the seed
    }
    h += m_len;
    const unsigned char* p = m_part;
    std::size_t n = m_part_len;
    for (; n >= 8; p += 8, n -= 8)
        h = std::rotl(h ^ round64(0, load64(p)), 27) * P1 + P4;
    if (n >= 4) {
        h = std::rotl(h ^ load32(p) * P1, 23) * P2 + P3;
        p += 4;
        n -= 4;
    }
    for (; n > 0; ++p, --n)
        h = std::rotl(h ^ *p * P5, 11) * P1;
    h ^= h >> 33;
    h *= P2;
    h ^= h >> 29;
    h *= P3;
    return h ^ (h >> 32);
}

uint64_t checksum(std::string_view data) {
    Sum s;
    s.add(data);
    return s.value();
}

bool follows(std::string_view file, uint64_t body_end) {
    if (body_end > file.size() || file.size() - body_end < TRAILER_SIZE) return false;
    std::string_view trailer = file.substr(body_end, TRAILER_SIZE);
    return trailer.substr(0, TAG.size()) == TAG &&
           load64(reinterpret_cast<const unsigned char*>(trailer.data() + TAG.size())) ==
               checksum(file.substr(0, body_end));
}

// Every check below holds for each folder a walk stores, whether it was listed, reused, patched
// from its change list or had its big files read again: those steps change a record and the
// own totals together. `total` is not stored; settling rebuilds it from exactly these fields.
bool consistent(const Node& n) {
    if (n.own.dirs != 0) return false;
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
