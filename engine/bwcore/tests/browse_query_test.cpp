#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "browse_query.hpp"

namespace bwcore::browse {
namespace {

using Strings = std::vector<std::string>;
constexpr uint64_t U64_MAX = std::numeric_limits<uint64_t>::max();
constexpr int64_t DAY = 86400;

TEST(BrowseQueryParse, SizeBoundsTermsAndExclusions) {
    Query q = Query::parse("size:>=2G photos -cache");
    EXPECT_EQ(q.min_size, 2147483648u);
    EXPECT_EQ(q.max_size, std::nullopt);
    EXPECT_EQ(q.terms, Strings{"photos"});
    EXPECT_EQ(q.excluded, Strings{"cache"});

    // Tokens are lowercased before the prefixes are tested.
    EXPECT_EQ(Query::parse("SIZE:<500MB").max_size, 524288000u);
    EXPECT_EQ(Query::parse("size:<=1k").max_size, 1024u);
    EXPECT_EQ(Query::parse("size:10").min_size, 10u);

    // A value that does not read clears the bound set earlier; the other bound stays.
    q = Query::parse("size:>1k size:<2k size:>lots");
    EXPECT_EQ(q.min_size, std::nullopt);
    EXPECT_EQ(q.max_size, 2048u);
    EXPECT_EQ(Query::parse("size:>1k size:").min_size, std::nullopt);
}

TEST(BrowseQueryParse, ExtensionAndKindListsReplaceEarlierOnes) {
    EXPECT_EQ(Query::parse("ext:.JPG,png,,").exts, (Strings{"jpg", "png"}));
    EXPECT_EQ(Query::parse("ext:.JPG,png ext:mov").exts, Strings{"mov"});
    EXPECT_EQ(Query::parse("ext:..tar,.").exts, Strings{"tar"});
    EXPECT_TRUE(Query::parse("ext:").exts.empty());
    // Kinds are taken as written, without stripping dots or aliases.
    EXPECT_EQ(Query::parse("kind:Video,,.app").kinds, (Strings{"video", ".app"}));
    EXPECT_EQ(Query::parse("kind:video kind:app").kinds, Strings{"app"});
}

TEST(BrowseQueryParse, AgeBounds) {
    EXPECT_EQ(Query::parse("age:30").min_age, 30 * DAY);
    EXPECT_EQ(Query::parse("age:<2w").max_age, 2 * 7 * DAY);
    EXPECT_EQ(Query::parse("age:6m").min_age, 180 * DAY);
    EXPECT_EQ(Query::parse("age:>>1y").min_age, 365 * DAY);
    // No "=" is skipped for ages: the token clears the minimum set before it.
    Query q = Query::parse("age:30 age:>=30d");
    EXPECT_EQ(q.min_age, std::nullopt);
    q = Query::parse("age:<1w age:<x");
    EXPECT_EQ(q.max_age, std::nullopt);
}

TEST(BrowseQueryParse, ItemTypeMinusAndPlainTerms) {
    EXPECT_EQ(Query::parse("is:dir").is, "folder");
    EXPECT_EQ(Query::parse("is:folder").is, "folder");
    EXPECT_EQ(Query::parse("is:folder IS:FILE").is, "file");
    Query q = Query::parse("is:files - -- a");
    EXPECT_EQ(q.is, std::nullopt);
    EXPECT_EQ(q.terms, (Strings{"is:files", "a"}));
    EXPECT_EQ(q.excluded, Strings{"-"});  // "--" excludes "-"; the lone sign adds nothing
    EXPECT_EQ(Query::parse("").terms, Strings{});
    EXPECT_EQ(Query::parse("  \t ").terms, Strings{});
}

TEST(BrowseQueryParse, SplitsOnUnicodeWhiteSpaceOnly) {
    // No-break space, ideographic space, line separator, next line, em space.
    Query q = Query::parse("photos\u00a0cache\u3000raw\u2028a\u0085b\u2003c");
    EXPECT_EQ(q.terms, (Strings{"photos", "cache", "raw", "a", "b", "c"}));
    // Letters outside ASCII are kept as written; only ASCII is lowercased.
    EXPECT_EQ(Query::parse("ÉTÉ Été").terms, (Strings{"ÉtÉ", "Été"}));
    // A zero-width space (U+200B) is not white space.
    EXPECT_EQ(Query::parse("a\u200bb").terms, Strings{"a\u200bb"});
}

TEST(BrowseParseSize, UnitsAndNumberForms) {
    for (const char* s : {"1.5g", "1.5gb", "1.5gib", " 1.5GiB ", "1.5GI"})
        EXPECT_EQ(parse_size(s), 1610612736u) << s;
    EXPECT_EQ(parse_size("500"), 500u);
    EXPECT_EQ(parse_size("500b"), 500u);
    EXPECT_EQ(parse_size("+5k"), 5120u);
    EXPECT_EQ(parse_size("1t"), 1099511627776u);
    EXPECT_EQ(parse_size(".5k"), 512u);
    EXPECT_EQ(parse_size("1.k"), 1024u);
    EXPECT_EQ(parse_size("2e3"), 2000u);
    EXPECT_EQ(parse_size("1E-1k"), 102u);  // truncated
    EXPECT_EQ(parse_size("0.9"), 0u);
    for (const char* s : {"", "b", "kb", "ib", "k", ".", "e5", "1e", "1e+", "0x10", "1 k", "+-5",
                          "5q", "1..2", "nan(1)", "--1"})
        EXPECT_EQ(parse_size(s), std::nullopt) << s;
}

// Out-of-range values never wrap and never hit an undefined conversion: they saturate.
TEST(BrowseParseSize, OutOfRangeSaturates) {
    EXPECT_EQ(parse_size("-5"), 0u);
    EXPECT_EQ(parse_size("-0"), 0u);
    EXPECT_EQ(parse_size("-inf"), 0u);
    EXPECT_EQ(parse_size("nan"), 0u);
    EXPECT_EQ(parse_size("1e-400"), 0u);
    EXPECT_EQ(parse_size("inf"), U64_MAX);
    EXPECT_EQ(parse_size("infinity"), U64_MAX);
    EXPECT_EQ(parse_size("1e400"), U64_MAX);
    EXPECT_EQ(parse_size("16777216t"), U64_MAX);                           // exactly 2^64
    EXPECT_EQ(parse_size("18446744073709551615"), U64_MAX);                // rounds up to 2^64
    EXPECT_EQ(parse_size("18446744073709549568"), 18446744073709549568u);  // largest below
    EXPECT_EQ(parse_size("99999999999999999999999t"), U64_MAX);
}

TEST(BrowseParseAge, UnitsSignsAndRefusals) {
    EXPECT_EQ(parse_age("30"), 30 * DAY);
    EXPECT_EQ(parse_age(" 3D "), 3 * DAY);
    EXPECT_EQ(parse_age("2w"), 14 * DAY);
    EXPECT_EQ(parse_age("1m"), 30 * DAY);
    EXPECT_EQ(parse_age("1y"), 365 * DAY);
    EXPECT_EQ(parse_age("+2"), 2 * DAY);
    EXPECT_EQ(parse_age("-2d"), -2 * DAY);
    EXPECT_EQ(parse_age("0"), 0);
    for (const char* s : {"", "d", "y", "+", "-", "+-1", "1.5", "1h", "1 d", "x1", "1dd"})
        EXPECT_EQ(parse_age(s), std::nullopt) << s;
}

// A number that fits but whose product with the unit does not is refused, never wrapped.
TEST(BrowseParseAge, OverflowGivesNone) {
    EXPECT_EQ(parse_age("9223372036854775808"), std::nullopt);  // past i64
    EXPECT_EQ(parse_age("99999999999999y"), std::nullopt);      // fits, product does not
    EXPECT_EQ(parse_age("-99999999999999y"), std::nullopt);
    EXPECT_EQ(parse_age("106751991167301d"), std::nullopt);
    EXPECT_EQ(parse_age("106751991167300d"), 106751991167300 * DAY);  // the largest that fits
    EXPECT_EQ(Query::parse("age:7d age:>99999999999999y").min_age, std::nullopt);
}

TEST(BrowseFileKind, ExtensionTableAndOddNames) {
    struct Case {
        const char* name;
        const char* kind;
    } cases[] = {{"Movie.MOV", "video"},
                 {"Archive.tar.gz", "archive"},
                 {".zshrc", "other"},
                 {"notes", "other"},
                 {"Tool.app", "app"},
                 {"TOOL.APP", "app"},
                 {".app", "app"},
                 {"app", "other"},
                 {"a.", "other"},
                 {"..foo", "other"},
                 {"x.raw", "image"},
                 {"x.raw-disk", "disk-image"},
                 {"disk.SparseBundle", "disk-image"},
                 {"db.sqlite3", "database"},
                 {"lib.so", "binary"},
                 {"main.C", "code"},
                 {"server.log", "log"},
                 {"talk.key", "document"},
                 {"song.logicx", "audio"},
                 {"x.averyveryverylongextension", "other"},
                 {"photo.jpeg", "image"},
                 {"weird.Ünï", "other"}};
    for (const Case& c : cases)
        EXPECT_EQ(file_kind(c.name), c.kind) << c.name;
    // A stray NUL byte is part of the extension, not its end.
    EXPECT_EQ(file_kind(std::string_view("x.mov\0", 6)), "other");
    EXPECT_EQ(file_kind("x.sparsebundle"), "disk-image");
    EXPECT_EQ(file_kind("x.abcdefghijklmnop"), "other");  // 16 bytes, the longest packed
}

TEST(BrowseExtension, LastDotLowercased) {
    EXPECT_EQ(extension("Archive.TAR.GZ"), "gz");
    EXPECT_EQ(extension(".zshrc"), "");
    EXPECT_EQ(extension("notes"), "");
    EXPECT_EQ(extension("a."), "");
    EXPECT_EQ(extension("..foo"), "foo");
}

TEST(BrowseQueryMatches, SizeExtensionAndKind) {
    Query q = Query::parse("size:>1k size:<2k");
    EXPECT_TRUE(q.matches("/a/x", "x", 1024, 0, "other", std::nullopt));
    EXPECT_TRUE(q.matches("/a/x", "x", 2048, 0, "other", std::nullopt));
    EXPECT_FALSE(q.matches("/a/x", "x", 1023, 0, "other", std::nullopt));
    EXPECT_FALSE(q.matches("/a/x", "x", 2049, 0, "other", std::nullopt));

    q = Query::parse("ext:mov");
    EXPECT_TRUE(q.matches("/a/x.mov", "x.mov", 1, 0, "video", "mov"));
    EXPECT_FALSE(q.matches("/a/x", "x", 1, 0, "folder", std::nullopt));
    EXPECT_FALSE(q.matches("/a/x.mp4", "x.mp4", 1, 0, "video", "mp4"));

    q = Query::parse("kind:app");
    EXPECT_TRUE(q.matches("/Applications/Xcode.app", "Xcode.app", 1, 0, "folder", std::nullopt));
    EXPECT_FALSE(q.matches("/Apps", "Apps", 1, 0, "folder", std::nullopt));
    EXPECT_TRUE(q.matches("/x/Tool.app", "Tool.app", 1, 0, "app", std::nullopt));
    // Only folders are promoted to "app" by their name.
    EXPECT_FALSE(q.matches("/x/y.app", "y.app", 1, 0, "other", std::nullopt));
    EXPECT_TRUE(Query::parse("kind:folder").matches("/x/Apps", "Apps", 1, 0, "folder", {}));
}

TEST(BrowseQueryMatches, AgeFromTheClock) {
    const int64_t now = now_seconds();
    const int64_t ten_days_ago = (now - 10 * DAY) * 1000000000;
    EXPECT_TRUE(Query::parse("age:5").matches("/f", "f", 0, ten_days_ago, "other", {}));
    EXPECT_FALSE(Query::parse("age:20").matches("/f", "f", 0, ten_days_ago, "other", {}));
    EXPECT_TRUE(Query::parse("age:<20").matches("/f", "f", 0, ten_days_ago, "other", {}));
    EXPECT_FALSE(Query::parse("age:<5").matches("/f", "f", 0, ten_days_ago, "other", {}));
    // A time in the future is a negative age: it fails any minimum, even 0.
    const int64_t tomorrow = (now + DAY) * 1000000000;
    EXPECT_FALSE(Query::parse("age:0").matches("/f", "f", 0, tomorrow, "other", {}));
    EXPECT_TRUE(Query::parse("age:<0").matches("/f", "f", 0, tomorrow, "other", {}));
    // Extreme stored times stay clear of overflow.
    const int64_t oldest = std::numeric_limits<int64_t>::min();
    const int64_t newest = std::numeric_limits<int64_t>::max();
    EXPECT_FALSE(Query::parse("age:<1").matches("/f", "f", 0, oldest, "other", {}));
    EXPECT_TRUE(Query::parse("age:1").matches("/f", "f", 0, oldest, "other", {}));
    EXPECT_TRUE(Query::parse("age:<1").matches("/f", "f", 0, newest, "other", {}));
    EXPECT_FALSE(Query::parse("age:1").matches("/f", "f", 0, newest, "other", {}));
}

TEST(BrowseQueryMatches, WordsMatchTheWholeLowercasedPath) {
    Query q = Query::parse("Photos -CACHE");
    EXPECT_TRUE(q.matches("/Users/a/PHOTOS/img.jpg", "img.jpg", 1, 0, "image", "jpg"));
    // A folder's word matches everything below it.
    EXPECT_TRUE(q.matches("/Users/a/photos/2020/x", "x", 1, 0, "other", {}));
    EXPECT_FALSE(q.matches("/Users/a/photos/Cache/x", "x", 1, 0, "other", {}));
    EXPECT_FALSE(q.matches("/Users/a/pics/x", "x", 1, 0, "other", {}));
    // Words may span a "/".
    EXPECT_TRUE(Query::parse("a/ph").matches("/Users/a/photos", "photos", 1, 0, "folder", {}));
}

}  // namespace
}  // namespace bwcore::browse
