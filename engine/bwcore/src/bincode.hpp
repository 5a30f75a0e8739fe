#pragma once
// The cache file's byte layout: little-endian fixed-width integers, strings and lists as a u64
// length followed by their contents, no padding. The body is followed by a checksum of every
// byte before it, which a reader of the plain layout skips as trailing bytes. The reader treats
// every byte as untrusted, and refuses a tree whose own numbers do not add up.
#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "cache.hpp"
#include "cache_check.hpp"

namespace bwcore::bincode {

// Output through a buffer handed to `sink` in chunks of about 1 MiB. Without a sink the whole
// encoding stays in the buffer.
class Writer {
public:
    using Sink = std::function<bool(std::string_view)>;
    static constexpr std::size_t CHUNK = std::size_t{1} << 20;

    Writer() = default;
    explicit Writer(Sink sink);

    void raw(const void* p, std::size_t n);
    void u16(uint16_t v);
    void u32(uint32_t v);
    void u64(uint64_t v);
    void i64(int64_t v) { u64(static_cast<uint64_t>(v)); }
    void str(std::string_view s);
    // Appends the tag and the checksum of everything written before it.
    void seal();
    // Hands what is buffered to the sink; false once the sink has failed.
    bool flush();
    std::string& buffer() { return m_buf; }

private:
    void absorb();

    std::string m_buf;
    std::size_t m_summed = 0;  // bytes of m_buf already added to m_sum
    cache_check::Sum m_sum;
    Sink m_sink;
    bool m_ok = true;
};

// Input from memory, or from a file descriptor through a 1 MiB buffer. Every read is checked
// against the bytes the input has left and against the decoding budget.
class Reader {
public:
    explicit Reader(std::string_view data);
    Reader(int fd, uint64_t size);

    // Nearly every read lies inside the buffer: those copy at once, the rest refill.
    bool raw(void* dst, std::size_t n) {
        if (n > static_cast<std::size_t>(m_end - m_cur) || n > left()) return raw_slow(dst, n);
        if (n == 0) return true;
        std::memcpy(dst, m_cur, n);
        m_cur += n;
        m_input_left -= n;
        m_budget -= n;
        return true;
    }
    bool u16(uint16_t& v) { return little(v); }
    bool u32(uint32_t& v) { return little(v); }
    bool u64(uint64_t& v) { return little(v); }
    bool i64(int64_t& v) { return little(v); }
    // A string of valid UTF-8 whose length fits in what is left.
    bool str(std::string& s);
    // A list length whose items, each at least `min_item` bytes, fit in what is left.
    bool count(uint64_t& n, uint64_t min_item);
    uint64_t left() const { return m_input_left < m_budget ? m_input_left : m_budget; }
    // Reads the tag and the checksum, which must match every byte read before them.
    bool sealed();

private:
    bool fill();
    bool raw_slow(void* dst, std::size_t n);
    template <class T>
    bool little(T& v) {
        if (!raw(&v, sizeof v)) return false;
        if constexpr (std::endian::native == std::endian::big) {
            using U = std::make_unsigned_t<T>;
            U u = static_cast<U>(v), out = 0;
            for (std::size_t i = 0; i < sizeof v; ++i, u >>= 8)
                out = static_cast<U>(out << 8 | (u & 0xff));
            v = static_cast<T>(out);
        }
        return true;
    }

    int m_fd = -1;
    std::string m_buf;
    const char* m_cur = nullptr;
    const char* m_end = nullptr;
    const char* m_summed = nullptr;  // bytes of the buffer before this are in m_sum
    cache_check::Sum m_sum;
    uint64_t m_input_left = 0;
    uint64_t m_budget = cache::DECODE_LIMIT;
};

// The version number, the body (given field by field, so saving never copies a tree) and its
// checksum.
void write_file(Writer& w, std::string_view root, uint64_t key, uint64_t saved_at,
                uint64_t event_id, const VolumeUuid& volume_uuid, const Node& node);
void write_file(Writer& w, const CacheBody& body);
std::string encode(const CacheBody& body);

// The version number and the body's fields before its tree; false on any damage or version.
bool read_header(Reader& r, CacheBody& body);
// One tree, iteratively, at most cache::MAX_DEPTH levels deep. A folder whose numbers do not
// add up (see cache_check::consistent) makes the whole tree unreadable.
bool read_node(Reader& r, Node& out);
// One tree from memory, accepting and rejecting exactly what read_node does. The bytes are
// first indexed without being decoded, so subtrees of more than `split_bytes` bytes near the
// top can be decoded side by side on the current task arena. `used` receives the tree's size.
inline constexpr uint64_t SPLIT_BYTES = uint64_t{1} << 16;
bool read_tree(std::string_view data, Node& out, uint64_t split_bytes = SPLIT_BYTES,
               uint64_t* used = nullptr);
// The tree and the checksum of a whole file in memory whose header read_header took into `body`.
bool read_rest(std::string_view file, CacheBody& body, uint64_t split_bytes = SPLIT_BYTES);
// How many header bytes read_header took for `body`.
uint64_t header_size(const CacheBody& body);
// A whole file from memory; nothing on any damage, and nothing for a file without its
// checksum. Bytes after the checksum are ignored.
std::optional<CacheBody> decode(std::string_view data);

}  // namespace bwcore::bincode
