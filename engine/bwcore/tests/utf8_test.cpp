#include <gtest/gtest.h>

#include "utf8.hpp"

namespace bwcore {
namespace {

TEST(Utf8, ValidAndInvalidForms) {
    EXPECT_TRUE(utf8::valid(""));
    EXPECT_TRUE(utf8::valid("caf\xC3\xA9 \xF0\x9F\x92\xBE"));
    EXPECT_FALSE(utf8::valid("\xC0\xAF"));          // overlong slash
    EXPECT_FALSE(utf8::valid("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(utf8::valid("\xF4\x90\x80\x80"));  // past U+10FFFF
    EXPECT_FALSE(utf8::valid("\xE2\x82"));          // truncated
    EXPECT_FALSE(utf8::valid(std::string("a\xFF", 2)));
}

TEST(Utf8, LossyReplacesEachMaximalBadPart) {
    EXPECT_EQ(utf8::lossy("ok"), "ok");
    EXPECT_EQ(utf8::lossy("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
    // A truncated three-byte sequence is one replacement, then the next byte stands.
    EXPECT_EQ(utf8::lossy("\xE2\x82" "x"), "\xEF\xBF\xBD" "x");
    EXPECT_EQ(utf8::lossy("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_TRUE(utf8::valid(utf8::lossy("\xF0\x9F\x92")));
}

}  // namespace
}  // namespace bwcore

// A bad byte is found at every place of every length, word-sized or not.
TEST(Utf8, BadByteFoundAnywhere) {
    for (std::size_t len = 1; len <= 40; ++len) {
        for (std::size_t at = 0; at < len; ++at) {
            std::string s(len, 'a');
            s[at] = '\xff';
            EXPECT_FALSE(bwcore::utf8::valid(s)) << len << " " << at;
            s[at] = '\x7f';
            EXPECT_TRUE(bwcore::utf8::valid(s)) << len << " " << at;
        }
    }
}
