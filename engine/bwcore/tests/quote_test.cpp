#include <gtest/gtest.h>

#include "quote.hpp"

namespace bwcore {
namespace {

TEST(Quote, DebugFormEscapesWhatWouldBreakTheLine) {
    EXPECT_EQ(quote::debug("plain é"), "\"plain é\"");
    EXPECT_EQ(quote::debug(std::string("a\"b\\c\n\r\t\0d\x1b\x7f", 12)),
              "\"a\\\"b\\\\c\\n\\r\\t\\0d\\u{1b}\\u{7f}\"");
    EXPECT_EQ(quote::debug_list({}), "[]");
    EXPECT_EQ(quote::debug_list({"--json", "x y"}), "[\"--json\", \"x y\"]");
}

}  // namespace
}  // namespace bwcore
