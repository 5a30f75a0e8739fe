#include <gtest/gtest.h>

#include "Json.hpp"
#include "Model.hpp"

using virirado::ItemRecord;
using virirado::Json;

namespace {

ItemRecord parsed(const char* text) {
    auto r = ItemRecord::parse(Json::parse(text), "/home/u");
    EXPECT_TRUE(r.has_value()) << text;
    return r.value_or(ItemRecord{});
}

const Json* at(const Json& j, const char* key) {
    return virirado::jsonField(j, key);
}

}  // namespace

TEST(JsonReaders, FollowTheTypeTable) {
    const Json j = Json::parse(R"({"s":"123","f":10.7,"neg":-10.7,"t":true,"n":null,
        "a":[1],"o":{},"big":18446744073709551615,"huge":1e300,"tiny":-1e300,"two":2,"one":1.0})");
    EXPECT_EQ(virirado::jsonString(at(j, "s")), "123");
    EXPECT_FALSE(virirado::jsonString(at(j, "f")));
    EXPECT_FALSE(virirado::jsonString(at(j, "missing")));

    EXPECT_EQ(virirado::jsonInt(at(j, "s")), 0);
    EXPECT_EQ(virirado::jsonInt(at(j, "f")), 10);
    EXPECT_EQ(virirado::jsonInt(at(j, "neg")), -10);
    EXPECT_EQ(virirado::jsonInt(at(j, "t")), 1);
    EXPECT_EQ(virirado::jsonInt(at(j, "n")), 0);
    EXPECT_EQ(virirado::jsonInt(at(j, "a")), 0);
    EXPECT_EQ(virirado::jsonInt(at(j, "big")), INT64_MAX);
    EXPECT_EQ(virirado::jsonInt(at(j, "huge")), INT64_MAX);
    EXPECT_EQ(virirado::jsonInt(at(j, "tiny")), INT64_MIN);
    EXPECT_EQ(virirado::jsonInt(nullptr), 0);

    EXPECT_EQ(virirado::jsonDouble(at(j, "t")), 1.0);
    EXPECT_FALSE(virirado::jsonDouble(at(j, "s")));
    EXPECT_FALSE(virirado::jsonDouble(at(j, "n")));

    EXPECT_TRUE(virirado::jsonBool(at(j, "one"), false));
    EXPECT_TRUE(virirado::jsonBool(at(j, "two"), true));
    EXPECT_FALSE(virirado::jsonBool(at(j, "two"), false));
    EXPECT_TRUE(virirado::jsonBool(at(j, "s"), true));
    EXPECT_TRUE(virirado::jsonBool(at(j, "o"), true));
    EXPECT_FALSE(virirado::jsonBool(at(j, "big"), false));

    EXPECT_EQ(virirado::jsonDate(at(j, "f")), 10.7);
    EXPECT_EQ(virirado::jsonDate(at(j, "t")), 1.0);
    EXPECT_FALSE(virirado::jsonDate(at(j, "s")));
    EXPECT_EQ(virirado::jsonDate(at(j, "huge")), 1e300);
}

TEST(ItemRecordParse, OnlyAnIdGivesTheDefaults) {
    const ItemRecord r = parsed(R"({"id":"x"})");
    EXPECT_EQ(r.label, "x");
    EXPECT_EQ(r.category, "");
    EXPECT_EQ(r.safety, "review");
    EXPECT_EQ(r.action, "rm");
    EXPECT_TRUE(r.deletable);
    EXPECT_FALSE(r.ticked);
    EXPECT_EQ(r.size, 0);
    EXPECT_EQ(r.realisticSize, 0);
    EXPECT_EQ(r.fileCount, 0);
    EXPECT_FALSE(r.modified);
    EXPECT_FALSE(r.path);
    EXPECT_TRUE(r.members.empty());
}

TEST(ItemRecordParse, IdMustBeAString) {
    for (const char* text : {R"({"id":5})", R"({"id":null})", R"({"label":"x"})", "[]", "7"}) {
        EXPECT_FALSE(ItemRecord::parse(Json::parse(text), "/h")) << text;
    }
    EXPECT_EQ(parsed(R"({"id":""})").id, "");
}

TEST(ItemRecordParse, FieldsFallBackOnWrongTypes) {
    EXPECT_EQ(parsed(R"({"id":"x","label":null})").label, "x");
    EXPECT_EQ(parsed(R"({"id":"x","label":""})").label, "");
    EXPECT_EQ(parsed(R"({"id":"x","fileCount":null,"file_count":7})").fileCount, 0);
    EXPECT_EQ(parsed(R"({"id":"x","file_count":7})").fileCount, 7);
    EXPECT_EQ(parsed(R"({"id":"x","size":10.7})").size, 10);
    EXPECT_EQ(parsed(R"({"id":"x","size":"10"})").size, 0);
    EXPECT_EQ(parsed(R"({"id":"x","size":true})").size, 1);
    EXPECT_EQ(parsed(R"({"id":"x","size":1e300,"realistic_size":-1e300})").size, INT64_MAX);
    EXPECT_EQ(parsed(R"({"id":"x","realistic_size":-1e300})").realisticSize, INT64_MIN);
    EXPECT_EQ(parsed(R"({"id":"x","size":5})").realisticSize, 0);
    EXPECT_TRUE(parsed(R"({"id":"x","ticked":1})").ticked);
    EXPECT_FALSE(parsed(R"({"id":"x","ticked":2})").ticked);
    EXPECT_TRUE(parsed(R"({"id":"x","deletable":null})").deletable);
    EXPECT_FALSE(parsed(R"({"id":"x","deletable":0})").deletable);
    EXPECT_EQ(parsed(R"({"id":"x","modified":60})").modified, 60.0);
    EXPECT_EQ(parsed(R"({"id":"x","modified":1.5})").modified, 1.5);
    EXPECT_FALSE(parsed(R"({"id":"x","modified":"2024-01-01"})").modified);
    EXPECT_EQ(parsed(R"({"id":"x","extension":"mov","safety":7})").ext, "mov");
    EXPECT_EQ(parsed(R"({"id":"x","safety":7})").safety, "review");
}

TEST(ItemRecordParse, ExplanationComesBackFromTopLevelOnly) {
    auto r = parsed(R"({"id":"x","explain":{"what":"w","if_gone":"g","how_back":"no"},
                        "how_back":"top"})");
    EXPECT_EQ(r.explainWhat, "w");
    EXPECT_EQ(r.explainGone, "g");
    EXPECT_EQ(r.explainBack, "top");
    EXPECT_EQ(parsed(R"({"id":"x","explain":{"comes_back":"c"},"how_back":"t"})").explainBack, "c");
    EXPECT_EQ(parsed(R"({"id":"x","explain":[1],"how_back":"t"})").explainBack, "t");
}

TEST(ItemRecordParse, MembersAreAllObjectsOrNone) {
    auto r = parsed(R"({"id":"x","members":[{"id":"a","size":3},{"label":"no id"},{"id":"b"}]})");
    ASSERT_EQ(r.members.size(), 2u);
    EXPECT_EQ(r.members[0].size, 3);
    EXPECT_EQ(r.members[1].id, "b");
    EXPECT_TRUE(parsed(R"({"id":"x","members":[{"id":"a"},5]})").members.empty());
    EXPECT_TRUE(parsed(R"({"id":"x","members":{"id":"a"}})").members.empty());
}

TEST(ItemRecordParse, DeeplyNestedMembersDoNotExhaustTheStack) {
    std::string text;
    constexpr int kDepth = 100000;
    for (int i = 0; i < kDepth; ++i)
        text += R"({"id":"m","members":[)";
    text += R"({"id":"leaf"})";
    for (int i = 0; i < kDepth; ++i)
        text += "]}";
    const Json j = Json::parse(text);
    auto r = ItemRecord::parse(j, "/h");
    ASSERT_TRUE(r);
    int depth = 0;
    for (const ItemRecord* m = &*r; !m->members.empty(); m = &m->members.front())
        ++depth;
    EXPECT_LE(depth, 64);
    EXPECT_GE(depth, 1);
}

TEST(ItemRecordParse, DisplayPath) {
    EXPECT_EQ(parsed(R"({"id":"x","path":"~/p"})").path, "~/p");
    EXPECT_EQ(parsed(R"({"id":"x","members":[{"id":"a","path":"/Users/u/p/x"},
        {"id":"b","path":"/Users/u/p/y"}]})")
                  .path,
              "/Users/u/p");
    EXPECT_EQ(parsed(R"({"id":"x","members":[{"id":"a","path":"/a/x"},
        {"id":"b","path":"/b/y"}]})")
                  .path,
              "/a/x");
    EXPECT_EQ(parsed(R"({"id":"x","members":[{"id":"a","path":"~/p/x"},
        {"id":"b","path":"~/p/y"}]})")
                  .path,
              "/home/u/p");
    EXPECT_EQ(parsed(R"({"id":"x","members":[{"id":"a","path":"~/p/x"},{"id":"b"}]})").path,
              "~/p/x");
    EXPECT_EQ(parsed(R"({"id":"x","members":[{"id":"a","path":"/a//b/"},
        {"id":"b","path":"/a/b/c"}]})")
                  .path,
              "/a/b");
    EXPECT_EQ(parsed(R"({"id":"x","note":"  ~/Library/Caches/Foo. Safe to remove."})").path,
              "/home/u/Library/Caches/Foo");
    // A no-break space before and a line separator after are white space as well.
    EXPECT_EQ(parsed("{\"id\":\"x\",\"note\":\"\u00A0/var/cache/z\u2028\"}").path, "/var/cache/z");
    EXPECT_FALSE(parsed(R"({"id":"x","note":"Rebuilt on demand: /tmp/x"})").path);
    EXPECT_EQ(parsed(R"({"id":"x","path":"","note":"/var/tmp/y"})").path, "/var/tmp/y");
}

TEST(DisplaySafe, ControlAndDirectionCharactersAreShown) {
    using virirado::displaySafe;
    // "evil\u202Etxt.exe" would read "evilexe.txt" on screen.
    EXPECT_EQ(displaySafe("evil\u202Etxt.exe"), "evil\uFFFDtxt.exe");
    EXPECT_EQ(displaySafe("a\u2066b\u2069c\u202Ad"), "a\uFFFDb\uFFFDc\uFFFDd");
    EXPECT_EQ(displaySafe(std::string("bell\a nul\0 esc\x1b del\x7f", 20)),
              "bell\uFFFD nul\uFFFD esc\uFFFD del\uFFFD");
    EXPECT_EQ(displaySafe("c1 \u0085 \u009b"), "c1 \uFFFD \uFFFD");
    // Tabs and line breaks stay; so does every ordinary character and mark.
    EXPECT_EQ(displaySafe("two\nlines\tand\r\u00e9\u200f\u05d0"),
              "two\nlines\tand\r\u00e9\u200f\u05d0");
    EXPECT_EQ(displaySafe("<b>&amp;</b>"), "<b>&amp;</b>");
}

TEST(ItemRecordParse, ShownTextsAreSafeWhileIdsAndPathsStayExact) {
    const ItemRecord r = parsed(
        R"({"id":"x\u202Ey","label":"a\u202Eb","why":"w\u0007","note":"n\u2067",
            "category":"c\u0008","blocked":"\u202Dblk","path":"/p/\u202Eq",
            "explain":{"what":"\u0001","if_gone":"\u2066","comes_back":"\u009c"}})");
    EXPECT_EQ(r.id, "x\u202Ey");
    EXPECT_EQ(r.path, "/p/\u202Eq");
    EXPECT_EQ(r.label, "a\uFFFDb");
    EXPECT_EQ(r.why, "w\uFFFD");
    EXPECT_EQ(r.note, "n\uFFFD");
    EXPECT_EQ(r.category, "c\uFFFD");
    EXPECT_EQ(r.blocked, "\uFFFDblk");
    EXPECT_EQ(r.explainWhat, "\uFFFD");
    EXPECT_EQ(r.explainGone, "\uFFFD");
    EXPECT_EQ(r.explainBack, "\uFFFD");
}

TEST(ItemRecordParse, SizesAndCountsBelowZeroAreNone) {
    const ItemRecord r = parsed(R"({"id":"n","size":-9e18,"realistic_size":-5,"file_count":-3})");
    EXPECT_EQ(r.size, 0);
    EXPECT_EQ(r.fileCount, 0);
    // A realistic size of 0 or less already means "none given".
    EXPECT_EQ(r.realisticSize, -5);
}
