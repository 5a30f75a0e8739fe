#include "bincode.hpp"

#include <tbb/parallel_for.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include "cache_check.hpp"
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
    return read_file_recs(r, n.all_files) && cache_check::consistent(n);
}

// Where one node's bytes lie: its head, its tail (after every child) and its end. Spans are
// kept in pre-order for the nodes near the top only; `next` is the span after this node's
// subtree, so a node's children are the spans from the one after it, sibling by sibling.
struct Span {
    uint64_t begin = 0;
    uint64_t tail = 0;
    uint64_t end = 0;
    uint64_t children = 0;
    uint32_t next = 0;
    bool kids_indexed = false;
};

// Nodes this deep or deeper are decoded with their subtree, never on their own.
constexpr std::size_t SPLIT_DEPTH = 6;

// Walks the encoded tree checking every length against the bytes left, as the Reader does,
// without building anything. UTF-8 is left to the decoding that follows.
class Skipper {
public:
    explicit Skipper(std::string_view d)
        : m_begin(d.data()), m_cur(d.data()), m_end(d.data() + d.size()) {}
    uint64_t offset() const { return static_cast<uint64_t>(m_cur - m_begin); }
    uint64_t left() const { return static_cast<uint64_t>(m_end - m_cur); }
    bool u64(uint64_t& v) {
        if (left() < 8) return false;
        std::memcpy(&v, m_cur, 8);
        if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
        m_cur += 8;
        return true;
    }
    bool skip(uint64_t n) {
        if (n > left()) return false;
        m_cur += n;
        return true;
    }
    bool str() {
        uint64_t n;
        return u64(n) && skip(n);
    }
    bool count(uint64_t& n, uint64_t min_item) { return u64(n) && n <= left() / min_item; }
    // A list of records, each a string then `fixed` bytes.
    bool records(uint64_t min_item, uint64_t fixed) {
        uint64_t n;
        if (!count(n, min_item)) return false;
        for (uint64_t i = 0; i < n; ++i)
            if (!(str() && skip(fixed))) return false;
        return true;
    }
    bool head(uint64_t& children) {
        return str() && skip(5 * 8 + AGG_SIZE) && records(LINKREC_MIN, 5 * 8) &&
               records(FILEREC_MIN, 4 * 8) && skip(8) && count(children, NODE_MIN);
    }
    bool tail() {
        uint64_t k;
        if (!(skip(2) && str() && count(k, SKIP_MIN))) return false;
        for (uint64_t i = 0; i < k; ++i)
            if (!(str() && str())) return false;
        return records(FILEREC_MIN, 4 * 8);
    }

private:
    const char* m_begin;
    const char* m_cur;
    const char* m_end;
};

// Indexes the tree in `data`, failing where read_node would on the tree's shape or depth.
bool index_tree(std::string_view data, std::vector<Span>& spans) {
    struct Frame {
        uint64_t children_left;
        int64_t span;  // -1 below the indexed depth
    };
    Skipper sk(data);
    std::vector<Frame> stack;
    auto enter = [&]() {
        uint64_t begin = sk.offset(), children = 0;
        if (!sk.head(children)) return false;
        int64_t at = -1;
        if (stack.size() < SPLIT_DEPTH) {
            at = static_cast<int64_t>(spans.size());
            spans.push_back(Span{begin, 0, 0, children, 0, stack.size() + 1 < SPLIT_DEPTH});
        }
        stack.push_back({children, at});
        return true;
    };
    if (!enter()) return false;
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.children_left > 0) {
            --top.children_left;
            if (stack.size() >= cache::MAX_DEPTH || !enter()) return false;
            continue;
        }
        uint64_t tail = sk.offset();
        if (!sk.tail()) return false;
        if (top.span >= 0) {
            Span& s = spans[static_cast<std::size_t>(top.span)];
            s.tail = tail;
            s.end = sk.offset();
            s.next = static_cast<uint32_t>(spans.size());
        }
        stack.pop_back();
    }
    return true;
}

// Decodes the node of span `i` into `n`; a large node's children are decoded side by side.
bool decode_span(std::string_view data, const std::vector<Span>& spans, std::size_t i, Node& n,
                 uint64_t split_bytes) {
    const Span& s = spans[i];
    if (!s.kids_indexed || s.end - s.begin <= split_bytes || s.children < 2) {
        Reader r(data.substr(s.begin, s.end - s.begin));
        return read_node(r, n);
    }
    Reader head(data.substr(s.begin, s.tail - s.begin));
    uint64_t k;
    if (!read_head(head, n, k) || k != s.children) return false;
    n.children.resize(static_cast<std::size_t>(k));
    std::vector<std::size_t> kids;
    kids.reserve(n.children.size());
    for (std::size_t at = i + 1; kids.size() < k; at = spans[at].next)
        kids.push_back(at);
    std::atomic<bool> ok{true};
    tbb::parallel_for(std::size_t{0}, kids.size(), [&](std::size_t j) {
        if (ok.load(std::memory_order_relaxed) &&
            !decode_span(data, spans, kids[j], n.children[j], split_bytes))
            ok.store(false, std::memory_order_relaxed);
    });
    if (!ok.load()) return false;
    Reader tail(data.substr(s.tail, s.end - s.tail));
    return read_tail(tail, n);
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

void Writer::absorb() {
    m_sum.add(std::string_view(m_buf).substr(m_summed));
    m_summed = m_buf.size();
}

void Writer::seal() {
    absorb();
    uint64_t sum = m_sum.value();
    raw(cache_check::TAG.data(), cache_check::TAG.size());
    u64(sum);
}

bool Writer::flush() {
    if (!m_sink) return m_ok;
    absorb();
    if (m_ok && !m_buf.empty()) m_ok = m_sink(m_buf);
    m_buf.clear();
    m_summed = 0;
    return m_ok;
}

Reader::Reader(std::string_view data)
    : m_cur(data.data()),
      m_end(data.data() + data.size()),
      m_summed(data.data()),
      m_input_left(data.size()) {}

Reader::Reader(int fd, uint64_t size) : m_fd(fd), m_input_left(size) {
    m_buf.resize(Writer::CHUNK);
    m_cur = m_end = m_summed = m_buf.data();
}

// Refills the buffer from the file; false at an early end of file or on a read error. Every
// byte of the buffer has been read by then, so all of them go into the checksum first.
bool Reader::fill() {
    if (m_fd < 0) return false;
    m_sum.add(std::string_view(m_summed, static_cast<std::size_t>(m_end - m_summed)));
    m_summed = m_end;
    for (;;) {
        ssize_t got = ::read(m_fd, m_buf.data(), m_buf.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        m_cur = m_summed = m_buf.data();
        m_end = m_cur + got;
        return true;
    }
}

bool Reader::sealed() {
    m_sum.add(std::string_view(m_summed, static_cast<std::size_t>(m_cur - m_summed)));
    m_summed = m_cur;
    const uint64_t want = m_sum.value();
    char tag[cache_check::TAG.size()];
    uint64_t got;
    return raw(tag, sizeof tag) && std::string_view(tag, sizeof tag) == cache_check::TAG &&
           u64(got) && got == want;
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
    return raw(s.data(), s.size()) && utf8::valid(s);
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
    w.seal();
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

bool read_tree(std::string_view data, Node& out, uint64_t split_bytes, uint64_t* used) {
    if (data.size() > cache::DECODE_LIMIT) data = data.substr(0, cache::DECODE_LIMIT);
    std::vector<Span> spans;
    if (!index_tree(data, spans)) return false;
    Node root;
    if (!decode_span(data, spans, 0, root, split_bytes)) return false;
    out = std::move(root);
    if (used) *used = spans[0].end;
    return true;
}

bool read_rest(std::string_view file, CacheBody& body, uint64_t split_bytes) {
    const uint64_t at = header_size(body);
    if (at > file.size()) return false;
    uint64_t used = 0;
    return read_tree(file.substr(at), body.node, split_bytes, &used) &&
           cache_check::follows(file, at + used);
}

uint64_t header_size(const CacheBody& body) {
    return 4 + 8 + body.root.size() + 8 + 8 + 8 + body.volume_uuid.size();
}

std::optional<CacheBody> decode(std::string_view data) {
    try {
        Reader r(data);
        CacheBody body;
        // Split wherever the index reaches, so every input decoded from memory also goes
        // through the side-by-side path the cache file takes when it is large.
        if (read_header(r, body) && read_rest(data, body, 0)) return body;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    return std::nullopt;
}

}  // namespace bwcore::bincode
