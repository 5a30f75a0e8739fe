#include <gtest/gtest.h>

#include "DisplayPath.hpp"

namespace virirado {
namespace {

TEST(DisplayPath, HomeOnlyAtAFolderBoundary) {
    EXPECT_EQ(displayPath("/home/al/x", "/home/al"), "~/x");
    EXPECT_EQ(displayPath("/home/al", "/home/al"), "~");
    EXPECT_EQ(displayPath("/home/alice/x", "/home/al"), "/home/alice/x");
    EXPECT_EQ(displayPath("/home/al/x", "/home/al/"), "~/x");
    EXPECT_EQ(displayPath("/srv/x", "/home/al"), "/srv/x");
    EXPECT_EQ(displayPath("/x", "/"), "/x");
    EXPECT_EQ(displayPath("/x", ""), "/x");
    EXPECT_EQ(displayPath("~/already", "/home/al"), "~/already");
}

TEST(DisplayPath, CleanPathTrimsAndExpands) {
    EXPECT_EQ(cleanPath(std::nullopt, "/h"), std::nullopt);
    EXPECT_EQ(cleanPath(std::string(" \t\n "), "/h"), std::nullopt);
    EXPECT_EQ(cleanPath(std::string(" ~/a b \n"), "/h"), "/h/a b");
    EXPECT_EQ(cleanPath(std::string("~"), "/h"), "/h");
    EXPECT_EQ(cleanPath(std::string("\u00A0/abs\u2028"), "/h"), "/abs");
    EXPECT_EQ(cleanPath(std::string("~other/x"), "/h"), "~other/x");
}

}  // namespace
}  // namespace virirado
