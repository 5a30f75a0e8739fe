#include "args.hpp"

#include <algorithm>
#include <cstdio>

#include "quote.hpp"

namespace virirado_engine {

std::string usage_text() {
    std::string e = ENGINE_NAME;
    return e + " " + VERSION + "\n" + "usage:\n" + "  " + e +
           " scan [--root DIR] [--home DIR] [--json|--jsonl] [--dirs] [--no-cache] "
           "[--no-fsevents] [--threads N]\n" +
           "                       [--top N] [--min-dir-bytes N] [--priority rel,rel] "
           "[--config FILE] [--generic-lister]\n" +
           "  " + e + " sizes [--home DIR] [--config FILE] [--threads N] PATH...\n" + "  " + e +
           " rules\n" +
           "Read-only: the engine never deletes or changes anything except its own cache file.\n";
}

std::optional<uint64_t> parse_u64(std::string_view s) {
    if (!s.empty() && s[0] == '+') s.remove_prefix(1);
    if (s.empty()) return std::nullopt;
    uint64_t n = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        if (__builtin_mul_overflow(n, 10u, &n) ||
            __builtin_add_overflow(n, static_cast<uint64_t>(c - '0'), &n))
            return std::nullopt;
    }
    return n;
}

std::optional<std::string> Args::value(std::string_view name) {
    auto it = std::find(m_args.begin(), m_args.end(), name);
    if (it == m_args.end()) return std::nullopt;
    if (it + 1 == m_args.end()) throw UsageError{std::string(name) + " needs a value\n"};
    std::string v = std::move(*(it + 1));
    m_args.erase(it, it + 2);
    return v;
}

std::optional<uint64_t> Args::num(std::string_view name) {
    auto v = value(name);
    if (!v) return std::nullopt;
    auto n = parse_u64(*v);
    if (!n) throw UsageError{std::string(name) + ": not a number: " + *v + "\n"};
    return n;
}

bool Args::flag(std::string_view name) {
    auto it = std::find(m_args.begin(), m_args.end(), name);
    if (it == m_args.end()) return false;
    m_args.erase(it);
    return true;
}

bool Args::contains(std::string_view name) const {
    return std::find(m_args.begin(), m_args.end(), name) != m_args.end();
}

void Args::expect_empty() const {
    if (!m_args.empty())
        throw UsageError{"unknown arguments: " + bwcore::quote::debug_list(m_args) + "\n"};
}

}  // namespace virirado_engine
