// The sidebar scopes that cut the cleanup list into views.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "Search.hpp"

namespace durozizo {

class VadeScope {
public:
    enum Case : uint8_t {
        everything,
        biggest,
        developer,
        caches,
        files,
        apps,
        system,
        cloud,
        network
    };

    constexpr VadeScope(Case c) : m_case(c) {}  // NOLINT: a scope is its case
    // Compares and switches as its case.
    constexpr operator Case() const { return m_case; }

    // The nine scopes in sidebar order.
    static const std::array<VadeScope, 9>& allCases();
    // Exactly a case name, else none.
    static std::optional<VadeScope> fromRaw(std::string_view raw);

    // The case name, which is also the scope's id.
    std::string_view rawValue() const;
    std::string_view id() const { return rawValue(); }
    std::string_view title() const;
    // The name of the scope's symbol image.
    std::string_view symbol() const;
    bool available() const { return m_case != network; }

    // Whether the item belongs here; kind and category compare exactly.
    bool contains(const SearchItem& item) const;

    // Kind words of single big files (11 words).
    static const std::unordered_set<std::string>& biggestKinds();
    // The "dev" alias set of the query language, or empty without one.
    static const std::unordered_set<std::string>& developerKinds();

private:
    Case m_case;
};

}  // namespace durozizo

template <>
struct std::hash<durozizo::VadeScope> {
    std::size_t operator()(durozizo::VadeScope s) const noexcept {
        return std::hash<int>{}(static_cast<int>(static_cast<durozizo::VadeScope::Case>(s)));
    }
};
