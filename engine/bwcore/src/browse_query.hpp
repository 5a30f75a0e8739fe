#pragma once
// The browse search language: a few name words with filters for size, age, extension, kind
// and item type ("size:>=2G photos -cache ext:mov"), and the sizes, ages and file kinds it
// speaks of. Nothing here touches the disk or fails: what cannot be read is ignored.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bwcore::browse {

struct Query {
    std::optional<uint64_t> min_size;   // bytes; smaller items fail
    std::optional<uint64_t> max_size;   // bytes; larger items fail
    std::optional<int64_t> min_age;     // seconds; younger items fail
    std::optional<int64_t> max_age;     // seconds; older items fail
    std::vector<std::string> terms;     // each must occur in the lowercased path
    std::vector<std::string> excluded;  // none may occur in the lowercased path
    std::vector<std::string> exts;      // when not empty, the extension must be one of them
    std::vector<std::string> kinds;     // when not empty, the kind must be one of them
    std::optional<std::string> is;      // "file" or "folder"

    // Tokens split on Unicode white space and lowercased (ASCII); later filters override
    // earlier ones, terms and exclusions accumulate.
    static Query parse(std::string_view text);

    // All checks in order: size, extension, kind, age, then terms and exclusions against the
    // ASCII-lowercased path. `mtime` is nanoseconds since the epoch; `ext` is already lowercase.
    bool matches(std::string_view path, std::string_view name, uint64_t size, int64_t mtime,
                 std::string_view kind, std::optional<std::string_view> ext) const;

    // The single checks, so that a caller testing a million files computes each input only
    // when the checks before it passed. `lower_path` must already be ASCII-lowercased.
    bool size_ok(uint64_t size) const;
    bool ext_ok(std::optional<std::string_view> ext) const;
    bool kind_ok(std::string_view kind, std::string_view name) const;
    bool age_ok(int64_t mtime, int64_t now_s) const;
    bool text_ok(std::string_view lower_path) const;

    bool operator==(const Query&) const = default;
};

// Whole seconds since 1970 by the system clock; 0 when the clock is set earlier.
int64_t now_seconds();

// "1.5g", "1.5gb", "1.5gib" -> 1,610,612,736: K, M, G, T are powers of 1024, a trailing "B"
// and "I" are ignored, the number may carry a sign, fraction and exponent. The product is
// truncated to bytes and saturates: negative or NaN gives 0, anything at or past 2^64 the
// largest value. Unreadable text gives none.
std::optional<uint64_t> parse_size(std::string_view text);

// "30" or "30d" days, "2w" weeks, "6m" 30-day months, "1y" 365-day years, as seconds. A
// number that does not fit, or whose product with the unit does not fit, gives none.
std::optional<int64_t> parse_age(std::string_view text);

// "app", "log", "binary", "disk-image", "archive", "image", "audio", "video", "document",
// "code", "database" or "other", from the name's extension (any case).
std::string_view file_kind(std::string_view name);

// The text after the last "." of the name, ASCII-lowercased; empty when there is no "." or the
// only one leads the name.
std::string extension(std::string_view name);

// The name ends with ".app" in any case (an application bundle).
bool is_app_name(std::string_view name);

// ASCII letters lowercased; every other byte unchanged.
std::string ascii_lower(std::string_view s);
void ascii_lower_append(std::string& out, std::string_view s);

// The length of the Unicode white-space character encoded at s[i] (UTF-8), or 0.
std::size_t space_at(std::string_view s, std::size_t i);

}  // namespace bwcore::browse
