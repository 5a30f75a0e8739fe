#include "Text.hpp"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>

#include "Search.hpp"

namespace durozizo::text {
namespace {

TEST(TextLower, FullMappingWithoutLocale) {
    EXPECT_EQ(lower("ÄRGER Über"), "ärger über");
    EXPECT_EQ(lower("\u212A"), "k");        // Kelvin sign
    EXPECT_EQ(lower("\u0130"), "i\u0307");  // dotted capital I, full mapping
    EXPECT_EQ(lower("ΣΟΦΙΑ"), "σοφια");
    EXPECT_EQ(lower("MiXeD 123"), "mixed 123");
}

TEST(TextLower, BadBytesBecomeReplacementCharacters) {
    EXPECT_EQ(lower(std::string("A\xff"
                                "B")),
              "a\uFFFD"
              "b");
    EXPECT_EQ(searchForm(std::string("\xc3")), "\uFFFD");
}

TEST(TextNormalForm, CanonicallyEquivalentTextsBecomeEqual) {
    const std::string composed = "caf\u00e9";
    const std::string decomposed = "cafe\u0301";
    EXPECT_NE(composed, decomposed);
    EXPECT_EQ(nfc(decomposed), composed);
    EXPECT_EQ(searchForm("CAFE\u0301"), composed);
    EXPECT_TRUE(occursIn(searchForm("é"), searchForm("Résumé.PDF")));
    EXPECT_FALSE(occursIn("", "anything"));
    EXPECT_FALSE(occursIn("", ""));
}

TEST(TextSpace, WhiteSpaceAndHorizontalSpace) {
    for (char32_t c : {U' ', U'\t', U'\n', U'\r', U'\u0085', U'\u00a0', U'\u2028', U'\u3000'}) {
        EXPECT_TRUE(isWhiteSpace(c)) << static_cast<uint32_t>(c);
    }
    for (char32_t c : {U'a', U'"', U'\u201c', U'\u200b'})
        EXPECT_FALSE(isWhiteSpace(c));
    EXPECT_TRUE(isHorizontalSpace(U'\u3000'));
    EXPECT_TRUE(isHorizontalSpace(U'\t'));
    EXPECT_FALSE(isHorizontalSpace(U'\n'));
    EXPECT_EQ(trimHorizontal(" \t\u3000a b\u00a0 "), "a b");
    EXPECT_EQ(trimHorizontal("\na\n"), "\na\n");
    EXPECT_EQ(trimHorizontal("   "), "");
}

TEST(TextGraphemes, ClustersAreUserPerceivedCharacters) {
    const auto parts = graphemes("e\u0301x\r\n\U0001F469\u200D\U0001F4BB!");
    ASSERT_EQ(parts.size(), 5u);
    EXPECT_EQ(parts[0], "e\u0301");
    EXPECT_EQ(parts[2], "\r\n");
    EXPECT_EQ(parts[3], "\U0001F469\u200D\U0001F4BB");
    EXPECT_EQ(graphemeCount(""), 0u);
    EXPECT_EQ(graphemeCount(std::string("a\xff\xfe")), 3u);
    EXPECT_EQ(firstScalar("\u3000x"), U'\u3000');
    EXPECT_EQ(firstScalar(std::string("\xff")), U'\uFFFD');
}

TEST(TextGraphemes, LastClustersKeepWholeCharacters) {
    EXPECT_EQ(lastGraphemes("abc", 2), "bc");
    EXPECT_EQ(lastGraphemes("abc", 9), "abc");
    EXPECT_EQ(lastGraphemes("ab\U0001F1E9\U0001F1EA", 1), "\U0001F1E9\U0001F1EA");
    EXPECT_EQ(lastGraphemes("xe\u0301", 1), "e\u0301");
    EXPECT_EQ(lastGraphemes("abc", 0), "");
}

TEST(TextCompare, IgnoresCaseButNotLetters) {
    EXPECT_EQ(localizedCaseInsensitiveCompare("alpha", "ALPHA"), 0);
    EXPECT_LT(localizedCaseInsensitiveCompare("alpha", "Beta"), 0);
    EXPECT_GT(localizedCaseInsensitiveCompare("beta", "Alpha"), 0);
    EXPECT_NE(localizedCaseInsensitiveCompare("resume", "résumé"), 0);
}

TEST(TextParseDouble, AcceptedForms) {
    EXPECT_EQ(parseDouble("5"), 5.0);
    EXPECT_EQ(parseDouble("+5"), 5.0);
    EXPECT_EQ(parseDouble("-2.5"), -2.5);
    EXPECT_EQ(parseDouble("5."), 5.0);
    EXPECT_EQ(parseDouble(".5"), 0.5);
    EXPECT_EQ(parseDouble("1.5e2"), 150.0);
    EXPECT_EQ(parseDouble("0x10"), 16.0);
    EXPECT_EQ(parseDouble("0x1p3"), 8.0);
    EXPECT_TRUE(std::isinf(*parseDouble("inf")));
    EXPECT_TRUE(std::isinf(*parseDouble("-Infinity")));
    EXPECT_TRUE(std::isnan(*parseDouble("nan")));
    // Out of range reads like strtod: infinity or zero, not a failure.
    EXPECT_EQ(parseDouble("1e400"), HUGE_VAL);
    EXPECT_EQ(parseDouble("1e-400"), 0.0);
}

TEST(TextParseDouble, RejectedForms) {
    for (const char* bad : {"", "+", "-", ".", "++5", "+-5", "-+5", " 5", "5 ", "1e", "1.2.3", "5d",
                            "0x", "1,5", "\u0665"}) {
        EXPECT_FALSE(parseDouble(bad).has_value()) << bad;
    }
}

// Numbers and lower-casing must not follow the process locale, which the Qt
// app sets from the environment at start-up.
TEST(TextLocale, GermanLocaleChangesNoResult) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr &&
        std::setlocale(LC_ALL, "de_DE.utf8") == nullptr) {
        GTEST_SKIP() << "no German locale installed on this machine (see `locale -a`)";
    }
    const auto days = parseDouble("1.5");
    const auto bytes = parseBytes("1.5g");
    const VadeQuery q = VadeQuery::parse("age:1.5w SIZE:>2.5K Straße");
    std::setlocale(LC_ALL, before.c_str());
    EXPECT_EQ(days, 1.5);
    EXPECT_EQ(bytes, 1500000000);
    EXPECT_EQ(q.olderThanDays, 10.5);
    EXPECT_EQ(q.size.min, 2500);
    EXPECT_EQ(q.terms, std::vector<std::string>{"straße"});
}

}  // namespace
}  // namespace durozizo::text
