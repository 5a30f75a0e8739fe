#include "bincode.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include "utf8.hpp"

namespace bwcore::bincode {
namespace {

// The fewest bytes one stored item can take, used to reject list lengths the input cannot hold.
constexpr uint64_t FILEREC_MIN = 8 + 8 + 8 + 8 + 8;
constexpr uint64_t LINKREC_MIN = 8 + 8 + 8 + 8 + 8 + 8;
constexpr uint64_t SKIP_MIN = 8 + 8;
constexpr uint64_t AGG_SIZE = 8 * 8;
constexpr uint64_t NODE_MIN = 8 + 5 * 8 + AGG_SIZE + 8 + 8 + 8 + 8 + 2 + 8 + 8 + 8;
// A hostile length must not reserve much memory before its items are actually read.
constexpr uint64_t RESERVE_CAP = 1 << 16;

void write_agg(Writer& w, const Agg& a) {
    w.u64(a.alloc);
    w.u64(a.logical);
    w.u64(a.files);
    w.u64(a.dirs);
    w.i64(a.mtime);
    w.u64(a.dataless);
    w.u64(a.protected_);
    w.u64(a.skipped);
}

void write_file_recs(Writer& w, const std::vector<FileRec>& list) {
    w.u64(list.size());
    for (const FileRec& f : list) {
        w.str(f.name);
        w.u64(f.alloc);
        w.u64(f.logical);
        w.i64(f.mtime);
        w.u64(f.ino);
    }
}

// Fields 1 to 10 and the children count.
void write_head(Writer& w, const Node& n) {
    w.str(n.name);
    w.u64(n.ino);
    w.u64(n.dev);
    w.i64(n.mtime);
    w.u64(n.self_alloc);
    w.u64(n.self_logical);
    write_agg(w, n.own);
    w.u64(n.links.size());
    for (const LinkRec& l : n.links) {
        w.str(l.name);
        w.u64(l.dev);
        w.u64(l.ino);
        w.u64(l.alloc);
        w.u64(l.logical);
        w.i64(l.mtime);
    }
    write_file_recs(w, n.files);
    w.u64(n.markers);
    w.u64(n.children.size());
}

// Fields 12 to 15, written once every child is.
void write_tail(Writer& w, const Node& n) {
    w.u16(n.dev_kind);
    w.str(n.marker);
    w.u64(n.skipped.size());
    for (const SkipSample& s : n.skipped) {
        w.str(s.path);
        w.str(s.reason);
    }
    write_file_recs(w, n.all_files);
}

void write_node(Writer& w, const Node& root) {
    struct Frame {
        const Node* node;
        std::size_t next;
    };
    std::vector<Frame> stack;
    write_head(w, root);
    stack.push_back({&root, 0});
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next < top.node->children.size()) {
            const Node& child = top.node->children[top.next++];
            write_head(w, child);
            stack.push_back({&child, 0});
            continue;
        }
        write_tail(w, *top.node);
        stack.pop_back();
    }
}

bool read_agg(Reader& r, Agg& a) {
    return r.u64(a.alloc) && r.u64(a.logical) && r.u64(a.files) && r.u64(a.dirs) &&
           r.i64(a.mtime) && r.u64(a.dataless) && r.u64(a.protected_) && r.u64(a.skipped);
}

// Stored names are nearly always plain ASCII; eight bytes at a time settles those without the
// full UTF-8 check.
bool plain_ascii(std::string_view s) {
    std::size_t i = 0;
    uint64_t high = 0;
    for (; i + 8 <= s.size(); i += 8) {
        uint64_t w;
        std::memcpy(&w, s.data() + i, sizeof w);
        high |= w;
    }
    for (; i < s.size(); ++i)
        high |= static_cast<unsigned char>(s[i]);
    return (high & 0x8080808080808080ULL) == 0;
}

template <class T>
void reserve_some(std::vector<T>& v, uint64_t n) {
    v.reserve(static_cast<std::size_t>(std::min(n, RESERVE_CAP)));
}

bool read_file_recs(Reader& r, std::vector<FileRec>& list) {
    uint64_t n;
    if (!r.count(n, FILEREC_MIN)) return false;
    reserve_some(list, n);
    for (uint64_t i = 0; i < n; ++i) {
        FileRec& f = list.emplace_back();
        if (!(r.str(f.name) && r.u64(f.alloc) && r.u64(f.logical) && r.i64(f.mtime) &&
              r.u64(f.ino)))
            return false;
    }
    return true;
}

bool read_links(Reader& r, std::vector<LinkRec>& list) {
    uint64_t n;
    if (!r.count(n, LINKREC_MIN)) return false;
    reserve_some(list, n);
    for (uint64_t i = 0; i < n; ++i) {
        LinkRec& l = list.emplace_back();
        if (!(r.str(l.name) && r.u64(l.dev) && r.u64(l.ino) && r.u64(l.alloc) && r.u64(l.logical) &&
              r.i64(l.mtime)))
            return false;
    }
    return true;
}

bool read_head(Reader& r, Node& n, uint64_t& children) {
    if (!(r.str(n.name) && r.u64(n.ino) && r.u64(n.dev) && r.i64(n.mtime) && r.u64(n.self_alloc) &&
          r.u64(n.self_logical) && read_agg(r, n.own) && read_links(r, n.links) &&
          read_file_recs(r, n.files) && r.u64(n.markers) && r.count(children, NODE_MIN)))
        return false;
    // Growing the list child by child would move every node read so far again and again.
    reserve_some(n.children, children);
    return true;
}

bool read_tail(Reader& r, Node& n) {
    uint64_t k;
    if (!(r.u16(n.dev_kind) && r.str(n.marker) && r.count(k, SKIP_MIN))) return false;
    reserve_some(n.skipped, k);
    for (uint64_t i = 0; i < k; ++i) {
        SkipSample& s = n.skipped.emplace_back();
        if (!(r.str(s.path) && r.str(s.reason))) return false;
    }
    return read_file_recs(r, n.all_files);
}

}  // namespace

Writer::Writer(Sink sink) : m_sink(std::move(sink)) {
    m_buf.reserve(CHUNK + 64);
}

void Writer::raw(const void* p, std::size_t n) {
    m_buf.append(static_cast<const char*>(p), n);
    if (m_sink && m_buf.size() >= CHUNK) flush();
}

void Writer::u16(uint16_t v) {
    char b[2] = {static_cast<char>(v), static_cast<char>(v >> 8)};
    raw(b, 2);
}

void Writer::u32(uint32_t v) {
    char b[4];
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<char>(v >> (8 * i));
    raw(b, 4);
}

void Writer::u64(uint64_t v) {
    char b[8];
    for (int i = 0; i < 8; ++i)
        b[i] = static_cast<char>(v >> (8 * i));
    raw(b, 8);
}

void Writer::str(std::string_view s) {
    u64(s.size());
    raw(s.data(), s.size());
}

bool Writer::flush() {
    if (!m_sink) return m_ok;
    if (m_ok && !m_buf.empty()) m_ok = m_sink(m_buf);
    m_buf.clear();
    return m_ok;
}

Reader::Reader(std::string_view data)
    : m_cur(data.data()), m_end(data.data() + data.size()), m_input_left(data.size()) {}

Reader::Reader(int fd, uint64_t size) : m_fd(fd), m_input_left(size) {
    m_buf.resize(Writer::CHUNK);
    m_cur = m_end = m_buf.data();
}

// Refills the buffer from the file; false at an early end of file or on a read error.
bool Reader::fill() {
    if (m_fd < 0) return false;
    for (;;) {
        ssize_t got = ::read(m_fd, m_buf.data(), m_buf.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        m_cur = m_buf.data();
        m_end = m_cur + got;
        return true;
    }
}

bool Reader::raw_slow(void* dst, std::size_t n) {
    if (n > left()) return false;
    m_input_left -= n;
    m_budget -= n;
    auto* out = static_cast<char*>(dst);
    while (n > 0) {
        if (m_cur == m_end && !fill()) return false;
        std::size_t take = std::min<std::size_t>(n, m_end - m_cur);
        std::memcpy(out, m_cur, take);
        m_cur += take;
        out += take;
        n -= take;
    }
    return true;
}

bool Reader::str(std::string& s) {
    uint64_t n;
    if (!u64(n) || n > left()) return false;
    s.resize(static_cast<std::size_t>(n));
    return raw(s.data(), s.size()) && (plain_ascii(s) || utf8::valid(s));
}

bool Reader::count(uint64_t& n, uint64_t min_item) {
    return u64(n) && n <= left() / min_item;
}

void write_file(Writer& w, std::string_view root, uint64_t key, uint64_t saved_at,
                uint64_t event_id, const VolumeUuid& volume_uuid, const Node& node) {
    w.u32(cache::VERSION);
    w.str(root);
    w.u64(key);
    w.u64(saved_at);
    w.u64(event_id);
    w.raw(volume_uuid.data(), volume_uuid.size());
    write_node(w, node);
}

void write_file(Writer& w, const CacheBody& body) {
    write_file(w, body.root, body.key, body.saved_at, body.event_id, body.volume_uuid, body.node);
}

std::string encode(const CacheBody& body) {
    Writer w;
    write_file(w, body);
    return std::move(w.buffer());
}

bool read_header(Reader& r, CacheBody& body) {
    uint32_t version;
    return r.u32(version) && version == cache::VERSION && r.str(body.root) && r.u64(body.key) &&
           r.u64(body.saved_at) && r.u64(body.event_id) &&
           r.raw(body.volume_uuid.data(), body.volume_uuid.size());
}

// Each node is decoded where it ends up, in its parent's list: only the node being read and its
// ancestors are pointed at, and none of their lists grows while a pointer into it is held.
bool read_node(Reader& r, Node& out) {
    struct Frame {
        Node* node;
        uint64_t children_left = 0;
    };
    Node root;
    std::vector<Frame> stack;
    stack.reserve(64);
    stack.push_back({&root, 0});
    if (!read_head(r, root, stack.back().children_left)) return false;
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.children_left > 0) {
            --top.children_left;
            if (stack.size() >= cache::MAX_DEPTH) return false;
            Node& child = top.node->children.emplace_back();
            stack.push_back({&child, 0});
            if (!read_head(r, child, stack.back().children_left)) return false;
            continue;
        }
        if (!read_tail(r, *top.node)) return false;
        stack.pop_back();
    }
    out = std::move(root);
    return true;
}

std::optional<CacheBody> decode(std::string_view data) {
    try {
        Reader r(data);
        CacheBody body;
        if (read_header(r, body) && read_node(r, body.node)) return body;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    return std::nullopt;
}

}  // namespace bwcore::bincode
