// The fast search path (positions, radix order, collation keys) must give
// exactly what the plain definition of the order gives.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <string>
#include <vector>

#include "Search.hpp"
#include "SearchMatch.hpp"
#include "Text.hpp"

namespace durozizo {
namespace {

using ::testing::ElementsAre;

constexpr Seconds kNow = 1'700'000'000.0;

SearchItem item(std::string id, std::string name, int64_t size, std::optional<int64_t> realistic,
                std::string kind = "cache", std::string category = "caches", bool ticked = false) {
    return SearchItem(std::move(id), std::move(name), "/home/u/x", size, realistic, std::move(kind),
                      std::move(category), "", kNow, "safe", "trash", ticked, true, "");
}

// Names that collate alike or nearly so, in various cases and forms, and a few
// that are not UTF-8 or hold a NUL.
const std::vector<std::string>& trickyNames() {
    static const std::vector<std::string> names{"alpha",
                                                "Alpha",
                                                "ALPHA",
                                                "beta",
                                                "Béta",
                                                "Beta",
                                                "e\xcc\x81",
                                                "\xc3\xa9",
                                                "",
                                                "zz",
                                                "Zz",
                                                "a b",
                                                "a-b",
                                                "ab",
                                                "\xff\xfe",
                                                "a\xe2\x82",
                                                "Ω",
                                                "ω",
                                                "10",
                                                "9",
                                                "İ",
                                                "i",
                                                std::string("nul\0x", 5),
                                                std::string(300, 'Q') + "a",
                                                std::string(300, 'q') + "B"};
    return names;
}

std::vector<SearchItem> tiedItems(std::size_t n, unsigned seed) {
    const std::vector<std::string>& names = trickyNames();
    std::mt19937_64 rng(seed);
    std::uniform_int_distribution<std::size_t> pick(0, names.size() - 1);
    std::uniform_int_distribution<int> id(0, 40), figure(-3, 3), kind(0, 3);
    const char* kinds[] = {"cache", "log", "docker", "biggest-file"};
    std::vector<SearchItem> out;
    for (std::size_t i = 0; i < n; ++i) {
        int64_t size = figure(rng);
        std::optional<int64_t> realistic;
        if (int r = figure(rng); r != 0) realistic = r;
        if (i % 97 == 0) size = INT64_MIN;
        if (i % 89 == 0) realistic = INT64_MAX;
        out.push_back(item("id" + std::to_string(id(rng)), names[pick(rng)], size, realistic,
                           kinds[kind(rng)], i % 2 ? "caches" : "logs", i % 3 == 0));
    }
    return out;
}

// The order as defined: a stable sort on rank bytes, size, name and id.
std::vector<std::size_t> referenceOrder(const std::vector<SearchItem>& items,
                                        std::vector<std::size_t> positions) {
    std::stable_sort(positions.begin(), positions.end(), [&](std::size_t x, std::size_t y) {
        const SearchItem& a = items[x];
        const SearchItem& b = items[y];
        if (a.rankBytes() != b.rankBytes()) return a.rankBytes() > b.rankBytes();
        if (a.size != b.size) return a.size > b.size;
        if (int c = text::localizedCaseInsensitiveCompare(a.name, b.name); c != 0) return c < 0;
        return text::nfc(a.id) < text::nfc(b.id);
    });
    return positions;
}

std::vector<std::size_t> referenceSearch(const std::vector<SearchItem>& items,
                                         std::string_view text, VadeScope scope) {
    const VadeQuery query = VadeQuery::parse(text);
    std::vector<std::size_t> kept;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (scope.contains(items[i]) && query.matches(items[i], kNow)) kept.push_back(i);
    }
    return referenceOrder(items, std::move(kept));
}

TEST(SearchFastPath, OrderEqualsTheStableDefinitionUnderHeavyTies) {
    for (std::size_t n : {7u, 60u, 2500u}) {
        const std::vector<SearchItem> items = tiedItems(n, static_cast<unsigned>(n));
        std::vector<std::size_t> all(items.size());
        for (std::size_t i = 0; i < all.size(); ++i)
            all[i] = i;
        const std::vector<std::size_t> expected = referenceOrder(items, all);
        EXPECT_EQ(searchIndices(items, "", VadeScope::everything, kNow), expected) << n;
        const std::vector<SearchItem> sorted = biggestFirst(items);
        ASSERT_EQ(sorted.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i)
            EXPECT_EQ(sorted[i], items[expected[i]]) << n << " at " << i;
    }
}

TEST(SearchFastPath, IndicesAndCopiesAgreeWithPerItemMatching) {
    const std::vector<SearchItem> items = tiedItems(800, 5);
    for (const char* text : {"kind:caches,logs", "kind:dev is:ticked", "kinds:log a", "-alpha",
                             "kind:biggest-files", "size:-1..2 kind:LOG"}) {
        for (VadeScope scope : {VadeScope::everything, VadeScope::caches, VadeScope::developer}) {
            const std::vector<std::size_t> expected = referenceSearch(items, text, scope);
            EXPECT_EQ(searchIndices(items, text, scope, kNow), expected) << text;
            const std::vector<SearchItem> copies = search(items, text, scope, kNow);
            ASSERT_EQ(copies.size(), expected.size()) << text;
            for (std::size_t i = 0; i < expected.size(); ++i)
                EXPECT_EQ(copies[i], items[expected[i]]) << text;
        }
    }
}

TEST(SearchFastPath, ExtremeFiguresKeepTheirOrder) {
    const std::vector<SearchItem> items{
        item("min", "a", INT64_MIN, std::nullopt), item("neg", "a", -1, std::nullopt),
        item("zero", "a", 0, std::nullopt),        item("max", "a", INT64_MAX, std::nullopt),
        item("one", "a", 1, std::nullopt),         item("realmax", "a", 5, INT64_MAX),
    };
    std::vector<std::string> ids;
    for (std::size_t p : searchIndices(items, "", VadeScope::everything, kNow))
        ids.push_back(items[p].id);
    EXPECT_THAT(ids, ElementsAre("max", "realmax", "one", "zero", "neg", "min"));
}

TEST(SearchFastPath, CollationKeysOrderAsTheComparison) {
    const std::vector<std::string>& names = trickyNames();
    for (const std::string& a : names) {
        for (const std::string& b : names) {
            const std::optional<std::string> ka = text::localizedCaseInsensitiveKey(a);
            const std::optional<std::string> kb = text::localizedCaseInsensitiveKey(b);
            ASSERT_TRUE(ka && kb);
            const int byKey = ka->compare(*kb);
            const int byCompare = text::localizedCaseInsensitiveCompare(a, b);
            EXPECT_EQ(byKey < 0, byCompare < 0) << a << " | " << b;
            EXPECT_EQ(byKey == 0, byCompare == 0) << a << " | " << b;
        }
    }
}

}  // namespace
}  // namespace durozizo
