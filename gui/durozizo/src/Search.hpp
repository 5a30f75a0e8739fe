// The searchable form of a list row and the one-line query language of the
// result window: free words mixed with key:value filters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace durozizo {

// Times in the app core are seconds since the Unix epoch as a double, so that
// any time another process reports stays representable.
using Seconds = double;

// One list row as the search sees it. `haystack` is fixed at construction:
// changing name, path or memberText later does not refresh it.
struct SearchItem {
    SearchItem(std::string id, std::string name, std::string path, int64_t size,
               std::optional<int64_t> realistic, std::string kind, std::string category,
               std::string ext, std::optional<Seconds> modified, std::string safety,
               std::string action, bool ticked, bool tickable, std::string memberText);

    std::string id;
    std::string name;
    std::string path;
    int64_t size = 0;
    int64_t realistic = 0;
    std::string kind;
    std::string category;
    std::string ext;
    std::optional<Seconds> modified;
    std::string safety;
    std::string action;
    bool ticked = false;
    bool tickable = false;
    std::string memberText;

    // Lower-cased name, path and memberText, one per line, in canonical
    // composition, as the search compares them.
    const std::string& haystack() const { return m_haystack; }

    // The byte figure used for ordering and ticked totals.
    int64_t rankBytes() const { return realistic > 0 ? realistic : size; }

    bool operator==(const SearchItem&) const = default;

private:
    std::string m_haystack;
};

// Inclusive byte bounds on the listed size; an absent side is open.
struct SizeBound {
    std::optional<int64_t> min;
    std::optional<int64_t> max;

    bool operator==(const SizeBound&) const = default;
};

// A parsed search text. Every text field holds lower-cased words in canonical
// composition, so canonically equivalent spellings compare equal.
struct VadeQuery {
    std::vector<std::string> terms;
    std::vector<std::string> excluded;
    SizeBound size;
    std::vector<std::string> kinds;
    std::vector<std::string> exts;
    std::vector<std::string> paths;
    std::vector<std::string> names;
    std::optional<double> olderThanDays;
    std::optional<double> newerThanDays;
    std::vector<std::string> flags;
    std::vector<std::string> problems;

    static VadeQuery parse(std::string_view text);

    // Adds one token, as typed.
    void add(std::string_view token);

    // True when no filter is set; `problems` does not count.
    bool isEmpty() const;

    // Whether the item passes every filter at the moment `now` (SearchMatch.cpp).
    bool matches(const SearchItem& item, Seconds now) const;

    bool operator==(const VadeQuery&) const = default;

private:
    bool parseAge(std::string_view value);
};

// Cuts a search text into tokens at unquoted white space; U+0022 quotes.
std::vector<std::string> tokenize(std::string_view text);

// Lower-cased, comma-separated pieces, trimmed, empty ones left out.
std::vector<std::string> splitList(std::string_view text);

// "1g..5g", ">=1g", "<500m", "2g" and the like.
std::optional<SizeBound> parseSizeBound(std::string_view text);

// "500", "1.5g", "2GiB", "1 kb" (none) and the like; none when the value does
// not fit a signed 64-bit count.
std::optional<int64_t> parseBytes(std::string_view text);

// "90d", "2w", "3m", "1y" or a bare number of days.
std::optional<double> parseDays(std::string_view text);

// Whether `text` begins with the characters of `prefix`: a prefix that ends
// inside a user-perceived character (a combining mark follows) does not count.
bool hasCharPrefix(std::string_view text, std::string_view prefix);

namespace detail {
inline void hashMix(std::size_t& seed, std::size_t h) {
    seed ^= h + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}
template <typename T>
void hashAdd(std::size_t& seed, const T& v) {
    hashMix(seed, std::hash<T>{}(v));
}
template <typename T>
void hashAdd(std::size_t& seed, const std::vector<T>& v) {
    hashMix(seed, v.size());
    for (const T& e : v)
        hashAdd(seed, e);
}
}  // namespace detail

}  // namespace durozizo

template <>
struct std::hash<durozizo::SizeBound> {
    std::size_t operator()(const durozizo::SizeBound& b) const noexcept;
};
template <>
struct std::hash<durozizo::SearchItem> {
    std::size_t operator()(const durozizo::SearchItem& item) const noexcept;
};
template <>
struct std::hash<durozizo::VadeQuery> {
    std::size_t operator()(const durozizo::VadeQuery& q) const noexcept;
};
