#include "Search.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <unordered_set>

#include "SearchMatch.hpp"

namespace durozizo {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr Seconds kNow = 1'700'000'000.0;
constexpr Seconds kDay = 86400.0;

struct ItemFields {
    std::string id = "i";
    std::string name = "item";
    std::string path;
    int64_t size = 0;
    std::optional<int64_t> realistic;
    std::string kind = "cache";
    std::string category = "caches";
    std::string ext;
    std::optional<Seconds> modified;
    std::string safety = "safe";
    std::string action = "trash";
    bool ticked = false;
    bool tickable = true;
    std::string memberText;
};

SearchItem make(const ItemFields& s) {
    return SearchItem(s.id, s.name, s.path, s.size, s.realistic, s.kind, s.category, s.ext,
                      s.modified, s.safety, s.action, s.ticked, s.tickable, s.memberText);
}

bool matches(std::string_view text, const ItemFields& fields) {
    return VadeQuery::parse(text).matches(make(fields), kNow);
}

// ---- items ----

TEST(SearchItem, ConstructorRules) {
    SearchItem plain = make({.name = "Xcode DerivedData",
                             .path = "/Users/Me",
                             .size = 10,
                             .ext = "MOV",
                             .memberText = "Line ONE"});
    EXPECT_EQ(plain.realistic, 10);
    EXPECT_EQ(plain.ext, "mov");
    EXPECT_EQ(plain.haystack(), "xcode deriveddata\n/users/me\nline one");

    SearchItem zero = make({.size = 10, .realistic = 0});
    EXPECT_EQ(zero.realistic, 0);
    EXPECT_EQ(zero.rankBytes(), 10);
    EXPECT_EQ(make({.size = 10, .realistic = -4}).rankBytes(), 10);
    EXPECT_EQ(make({.size = 10, .realistic = 3}).rankBytes(), 3);

    plain.name = "renamed";
    EXPECT_EQ(plain.haystack(), "xcode deriveddata\n/users/me\nline one");
}

TEST(SearchItem, EqualityAndHashCoverFields) {
    const SearchItem a = make({.id = "a", .size = 1});
    SearchItem b = a;
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::hash<SearchItem>{}(a), std::hash<SearchItem>{}(b));
    b.ticked = true;
    EXPECT_NE(a, b);
    std::unordered_set<SearchItem> set{a, b, a};
    EXPECT_EQ(set.size(), 2u);
}

// ---- tokens ----

TEST(QueryTokenize, QuotesAndWhiteSpace) {
    EXPECT_THAT(tokenize("name:\"old backups\" x"), ElementsAre("name:old backups", "x"));
    EXPECT_THAT(tokenize("\"\""), IsEmpty());
    EXPECT_THAT(tokenize("  a \t\n b  "), ElementsAre("a", "b"));
    EXPECT_THAT(tokenize("a\u00a0b\u3000c\u2028d"), ElementsAre("a", "b", "c", "d"));
    EXPECT_THAT(tokenize("say \"hello world"), ElementsAre("say", "hello world"));
    EXPECT_THAT(tokenize("\u201cone two\u201d"), ElementsAre("\u201cone", "two\u201d"));
    EXPECT_THAT(tokenize("a\"b c\"d"), ElementsAre("ab cd"));
    // A quote carrying a combining mark is not a quote character.
    EXPECT_THAT(tokenize("\"\u0301a b"), ElementsAre("\"\u0301a", "b"));
}

// ---- words and keys ----

TEST(QueryParse, EmptyTexts) {
    for (const char* t : {"", "   ", "\"\"", "\n\t"}) {
        const VadeQuery q = VadeQuery::parse(t);
        EXPECT_TRUE(q.isEmpty()) << t;
        EXPECT_THAT(q.problems, IsEmpty());
        EXPECT_EQ(q, VadeQuery{});
    }
}

TEST(QueryParse, WordsAndExclusions) {
    VadeQuery q = VadeQuery::parse("Xcode -Simulator - --x -size:1g :foo foo:bar sizes:1g");
    EXPECT_THAT(q.terms, ElementsAre("xcode", "-", ":foo", "foo:bar", "sizes:1g"));
    EXPECT_THAT(q.excluded, ElementsAre("simulator", "-x", "size:1g"));
    EXPECT_FALSE(q.size.min || q.size.max);
    // A dash carrying a combining mark does not exclude.
    EXPECT_THAT(VadeQuery::parse("-\u0301x").terms, ElementsAre("-\u0301x"));
}

TEST(QueryParse, KeysAreCaseInsensitiveAndValuesKeepTheirColons) {
    const VadeQuery q = VadeQuery::parse("Path:/Users/A:B IN:Downloads name: NAME:\"My File\"");
    EXPECT_THAT(q.paths, ElementsAre("/users/a:b", "downloads"));
    EXPECT_THAT(q.names, ElementsAre("", "my file"));
    EXPECT_FALSE(q.isEmpty());
}

TEST(QueryParse, ListFilters) {
    const VadeQuery q = VadeQuery::parse(
        "kind:Cache,devbuild k:\"Cache, devbuild,,x\" type:, ext:.MOV,.mp4 e:..tar "
        "is:ticked,SAFE safety:review");
    EXPECT_THAT(q.kinds, ElementsAre("cache", "devbuild", "cache", "devbuild", "x"));
    EXPECT_THAT(q.exts, ElementsAre("mov", "mp4", ".tar"));
    EXPECT_THAT(q.flags, ElementsAre("ticked", "safe", "review"));
    EXPECT_THAT(splitList(" a ,\u3000b\t,  ,"), ElementsAre("a", "b"));
    EXPECT_THAT(VadeQuery::parse("kind: is:").kinds, IsEmpty());
    EXPECT_TRUE(VadeQuery::parse("kind: is: ext:,").isEmpty());
}

TEST(QueryParse, SizeFilters) {
    EXPECT_EQ(VadeQuery::parse("size:>1G size:<5G").size, (SizeBound{std::nullopt, 5000000000}));
    EXPECT_EQ(VadeQuery::parse("s:1g..5g").size, (SizeBound{1000000000, 5000000000}));
    EXPECT_EQ(VadeQuery::parse("size:x..1m").size, (SizeBound{std::nullopt, 1000000}));
    EXPECT_EQ(VadeQuery::parse("size:1g..").size, (SizeBound{1000000000, std::nullopt}));
    EXPECT_EQ(VadeQuery::parse("size:>=2k").size, (SizeBound{2000, std::nullopt}));
    EXPECT_EQ(VadeQuery::parse("size:<=2k").size, (SizeBound{std::nullopt, 2000}));
    EXPECT_EQ(VadeQuery::parse("size:300").size, (SizeBound{300, std::nullopt}));
}

TEST(QueryParse, UnreadableFiltersBecomeProblems) {
    const VadeQuery q = VadeQuery::parse(
        "size:1k size: SIZE:Huge size:>99999999t size:.. age:D age: AGE:>x age:3d");
    EXPECT_THAT(q.problems, ElementsAre("size:", "size:Huge", "size:>99999999t", "size:..", "age:D",
                                        "age:", "age:>x"));
    EXPECT_EQ(q.size.min, 1000);  // earlier bound kept
    EXPECT_EQ(q.olderThanDays, 3.0);

    const VadeQuery onlyBad = VadeQuery::parse("size:huge");
    EXPECT_TRUE(onlyBad.isEmpty());
    EXPECT_THAT(onlyBad.problems, ElementsAre("size:huge"));
    EXPECT_NE(onlyBad, VadeQuery{});
}

TEST(QueryParse, AgeFilters) {
    VadeQuery q = VadeQuery::parse("age:>30d old:<90d");
    EXPECT_EQ(q.olderThanDays, 30.0);
    EXPECT_EQ(q.newerThanDays, 90.0);
    EXPECT_EQ(VadeQuery::parse("age:>3m").olderThanDays, 90.0);
    EXPECT_EQ(VadeQuery::parse("modified:<2w").newerThanDays, 14.0);
    EXPECT_EQ(VadeQuery::parse("age:1.5w").olderThanDays, 10.5);
    EXPECT_EQ(VadeQuery::parse("age:+5").olderThanDays, 5.0);
    EXPECT_EQ(VadeQuery::parse("age:1Y").olderThanDays, 365.0);
    EXPECT_EQ(VadeQuery::parse("age:>=2 age:>=7").olderThanDays, 7.0);
    EXPECT_EQ(parseDays("1e1d"), 10.0);
    EXPECT_FALSE(parseDays("d").has_value());
    EXPECT_TRUE(std::isinf(*parseDays("inf")));
}

TEST(QueryParse, ByteCounts) {
    struct Case {
        const char* text;
        std::optional<int64_t> want;
    };
    const Case cases[] = {
        {"500", 500},
        {"500b", 500},
        {"1k", 1000},
        {"1K", 1000},
        {"1kb", 1000},
        {"1ki", 1024},
        {"1kib", 1024},
        {"1KiB", 1024},
        {"1.5g", 1500000000},
        {"2gib", 2147483648},
        {".5k", 500},
        {"5.", 5},
        {"0.0001k", 0},
        {" \t2m\u3000", 2000000},
        {"1\u212A", 1000},
        {"1 kb", std::nullopt},
        {"1.2.3", std::nullopt},
        {"1p", std::nullopt},
        {"1kk", std::nullopt},
        {"", std::nullopt},
        {"k", std::nullopt},
        {".", std::nullopt},
        {"-1k", std::nullopt},
        {"\u0661k", std::nullopt},
        {"9223373t", std::nullopt},  // just above 2^63 does not fit
        {"9223372t", 9223372000000000000},
        {"8ei", std::nullopt},
        {"99999999999999999999999999999999t", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseBytes(c.text), c.want) << c.text;
}

TEST(QueryParse, EqualityAndHash) {
    const VadeQuery a = VadeQuery::parse("x size:1k");
    EXPECT_EQ(a, VadeQuery::parse("X SIZE:1000"));
    EXPECT_EQ(std::hash<VadeQuery>{}(a), std::hash<VadeQuery>{}(VadeQuery::parse("x size:1k")));
    EXPECT_NE(a, VadeQuery::parse("x size:1k size:bad"));
}

// ---- matching ----

TEST(QueryMatch, WordsPathsAndNames) {
    const ItemFields fields{.name = "Old Backups",
                            .path = "/Users/me/Archive",
                            .memberText = "/Users/me/Downloads/a.zip"};
    EXPECT_TRUE(matches("", fields));
    EXPECT_TRUE(matches("old BACKUPS", fields));
    EXPECT_FALSE(matches("old -backups", fields));
    EXPECT_TRUE(matches("path:downloads", fields));
    EXPECT_TRUE(matches("in:archive path:me", fields));
    EXPECT_FALSE(matches("path:nowhere", fields));
    EXPECT_TRUE(matches("name:\"old b\"", fields));
    EXPECT_FALSE(matches("name:archive", fields));
    EXPECT_FALSE(matches("name:", fields));
    EXPECT_FALSE(matches("path:", fields));
    // Canonically equivalent spellings meet.
    EXPECT_TRUE(matches("caf\u00e9", {.name = "Cafe\u0301 photos"}));
    EXPECT_TRUE(matches("name:CAFE\u0301", {.name = "caf\u00e9"}));
}

TEST(QueryMatch, SizeAppliesToListedSizeInclusively) {
    EXPECT_TRUE(matches("size:>1g", {.size = 2000000000, .realistic = 100}));
    EXPECT_FALSE(matches("size:>1g", {.size = 999999999, .realistic = 5000000000}));
    EXPECT_TRUE(matches("size:1000", {.size = 1000}));
    EXPECT_TRUE(matches("size:<1000", {.size = 1000}));
    EXPECT_FALSE(matches("size:<1000", {.size = 1001}));
    EXPECT_TRUE(matches("size:huge", {.size = 1}));  // problems filter nothing
}

TEST(QueryMatch, KindsThroughAliases) {
    EXPECT_TRUE(matches("kind:caches", {.kind = "x", .category = "caches"}));
    EXPECT_TRUE(matches("kind:caches", {.kind = "app-cache", .category = "y"}));
    EXPECT_TRUE(matches("kind:CACHE", {.kind = "app-cache", .category = "y"}));
    EXPECT_TRUE(matches("kind:dev", {.kind = "whatever", .category = "docker"}));
    EXPECT_TRUE(matches("kind:logs", {.kind = "log", .category = "y"}));
    EXPECT_TRUE(matches("kind:biggest-files", {.kind = "biggest-files", .category = "y"}));
    EXPECT_FALSE(matches("kind:biggest-files", {.kind = "biggest-file", .category = "y"}));
    EXPECT_TRUE(matches("kind:nothing,vm", {.kind = "docker-raw", .category = "y"}));
    EXPECT_TRUE(matches("kind:temp", {.kind = "TEMP", .category = "y"}));
    EXPECT_FALSE(matches("kind:s", {.kind = "x", .category = "y"}));
    EXPECT_EQ(kindAliases().size(), 16u);
    EXPECT_EQ(kindAliases().at("dev").size(), 34u);
}

TEST(QueryMatch, Extensions) {
    EXPECT_TRUE(matches("ext:mov", {.ext = "MOV"}));
    EXPECT_FALSE(matches("ext:mov", {.ext = "mov.gz"}));
    EXPECT_TRUE(matches("ext:zip,.mov", {.ext = "mov"}));
    EXPECT_FALSE(matches("ext:mov", {.ext = ""}));
}

TEST(QueryMatch, Ages) {
    EXPECT_FALSE(matches("age:>90d", {}));
    EXPECT_FALSE(matches("age:<90d", {}));
    EXPECT_TRUE(matches("age:>90d", {.modified = kNow - 90 * kDay}));
    EXPECT_FALSE(matches("age:>90d", {.modified = kNow - 89 * kDay}));
    EXPECT_TRUE(matches("age:<7d", {.modified = kNow + 3 * kDay}));
    EXPECT_TRUE(matches("age:>30d age:<90d", {.modified = kNow - 60 * kDay}));
    EXPECT_FALSE(matches("age:>30d age:<90d", {.modified = kNow - 91 * kDay}));
    EXPECT_FALSE(matches("age:nan", {.modified = kNow - 91 * kDay}));
    EXPECT_FALSE(matches("age:inf", {.modified = 0}));
}

TEST(QueryMatch, Flags) {
    const ItemFields ticked{.safety = "safe", .action = "info", .ticked = true, .tickable = false};
    EXPECT_TRUE(matches("is:ticked", ticked));
    EXPECT_TRUE(matches("is:clean,selected,safe", ticked));
    EXPECT_TRUE(matches("is:look", ticked));
    EXPECT_TRUE(matches("is:info", {.safety = "info", .action = "rm"}));
    EXPECT_FALSE(matches("is:keep", ticked));
    EXPECT_FALSE(matches("is:ticked,unticked", ticked));
    EXPECT_FALSE(matches("is:whatever", ticked));
    EXPECT_FALSE(matches("is:trash", ticked));
    EXPECT_FALSE(matches("is:cleanable", ticked));
    EXPECT_TRUE(matches("is:review", {.safety = "review"}));
    EXPECT_TRUE(matches("safety:check,unticked,tickable,trash", {.safety = "review"}));
    EXPECT_FALSE(matches("is:safe", {.safety = "Safe"}));
}

// ---- order and search ----

std::vector<std::string> ids(const std::vector<SearchItem>& items) {
    std::vector<std::string> out;
    for (const SearchItem& i : items)
        out.push_back(i.id);
    return out;
}

TEST(SearchOrder, BiggestFirstWithTies) {
    const std::vector<SearchItem> items{
        make({.id = "small", .name = "z", .size = 1}),
        make({.id = "a2", .name = "same", .size = 50, .realistic = 100}),
        make({.id = "beta", .name = "Beta", .size = 50, .realistic = 100}),
        make({.id = "alpha", .name = "alpha", .size = 50, .realistic = 100}),
        make({.id = "a1", .name = "same", .size = 50, .realistic = 100}),
        make({.id = "bigsize", .name = "zz", .size = 90, .realistic = 100}),
        make({.id = "rank", .name = "q", .size = 5, .realistic = 200}),
        make({.id = "a1", .name = "SAME", .size = 50, .realistic = 100, .kind = "second"}),
    };
    const std::vector<SearchItem> sorted = biggestFirst(items);
    EXPECT_THAT(ids(sorted),
                ElementsAre("rank", "bigsize", "alpha", "beta", "a1", "a1", "a2", "small"));
    EXPECT_EQ(sorted[4].kind, "cache");  // equal keys keep input order
    EXPECT_EQ(sorted[5].kind, "second");
}

// The last key compares ids as text, by code point of the canonical
// composition: two spellings of one id are equal and keep their input order.
TEST(SearchOrder, IdsCompareInCanonicalComposition) {
    const std::vector<SearchItem> items{
        make({.id = "e\u0301b", .name = "n", .size = 5}),
        make({.id = "\u00e9a", .name = "n", .size = 5}),
        make({.id = "e\u0301", .name = "n", .size = 5, .kind = "first"}),
        make({.id = "\u00e9", .name = "n", .size = 5, .kind = "second"}),
        make({.id = "f", .name = "n", .size = 5}),
    };
    const std::vector<SearchItem> sorted = biggestFirst(items);
    EXPECT_THAT(ids(sorted), ElementsAre("f", "e\u0301", "\u00e9", "\u00e9a", "e\u0301b"));
    EXPECT_EQ(sorted[1].kind, "first");
    EXPECT_EQ(sorted[2].kind, "second");
}

TEST(SearchOrder, ScopeThenQuery) {
    const std::vector<SearchItem> items{
        make({.id = "c1", .size = 10, .kind = "cache", .category = "caches"}),
        make({.id = "d1", .size = 30, .kind = "installer", .category = "downloads"}),
        make({.id = "c2", .size = 20, .kind = "app-cache", .category = "caches", .ticked = true}),
    };
    EXPECT_THAT(ids(search(items, "", VadeScope::everything, kNow)), ElementsAre("d1", "c2", "c1"));
    EXPECT_THAT(ids(search(items, "", VadeScope::caches, kNow)), ElementsAre("c2", "c1"));
    EXPECT_THAT(ids(search(items, "is:ticked", VadeScope::caches, kNow)), ElementsAre("c2"));
    EXPECT_THAT(ids(search(items, "kind:download", VadeScope::caches, kNow)), IsEmpty());
    EXPECT_THAT(ids(search(items, "kind:download", VadeScope::biggest, kNow)), ElementsAre("d1"));
}

}  // namespace
}  // namespace durozizo

namespace durozizo {
namespace {

// Text from another process or a paste may hold bytes that are not UTF-8:
// they read as U+FFFD and never stop the parse.
TEST(QueryParse, BytesThatAreNotUtf8) {
    const VadeQuery q = VadeQuery::parse("\xff\xfe size:\xff age:\xc3 kind:\xe2\x82 \"\xf0");
    EXPECT_THAT(q.terms, ElementsAre("\uFFFD\uFFFD", "\uFFFD"));
    EXPECT_THAT(q.problems, ElementsAre("size:\xff", "age:\xc3"));
    EXPECT_THAT(q.kinds, ElementsAre("\uFFFD"));
    const SearchItem bad = make({.name = "\xff"
                                         "abc",
                                 .ext = "\xc0"});
    EXPECT_TRUE(VadeQuery::parse("abc").matches(bad, kNow));
    EXPECT_TRUE(VadeQuery::parse("ext:\xc0").matches(bad, kNow));
}

}  // namespace
}  // namespace durozizo
