// The pure pieces: which paths may travel and be offered, the Trash record, the
// mount table's escapes and the command reader.
#include <gtest/gtest.h>

#include "paths.hpp"
#include "protocol.hpp"
#include "tokens.hpp"
#include "trash.hpp"

namespace {

using peer::paths::protected_anywhere;

TEST(PeerPaths, OnlyCleanUtf8WithoutControlsTravels) {
    EXPECT_TRUE(peer::paths::carriable("/home/u/caf\xc3\xa9 \xf0\x9f\x98\x80"));
    EXPECT_FALSE(peer::paths::carriable("/home/u/bad\xff"));
    EXPECT_FALSE(peer::paths::carriable("/home/u/line\nfeed"));
    EXPECT_FALSE(peer::paths::carriable("/home/u/tab\there"));
    EXPECT_FALSE(peer::paths::carriable("/home/u/over\xc0\xaflong"));
    EXPECT_FALSE(peer::paths::carriable("/home/u/surrogate\xed\xa0\x80"));
    EXPECT_FALSE(peer::paths::carriable("/home/u/cut\xe2\x82"));
    EXPECT_FALSE(peer::paths::carriable("/home/u/c1\xc2\x85"));
}

TEST(PeerPaths, ProtectedPlacesFollowTheAppGuard) {
    const std::string h = "/home/u";
    EXPECT_EQ(protected_anywhere("/home/u", h), "protected folder");
    EXPECT_EQ(protected_anywhere("/home/u/Downloads", h), "protected folder");
    EXPECT_FALSE(protected_anywhere("/home/u/Downloads/a.zip", h));
    EXPECT_EQ(protected_anywhere("/home/u/Documents/x/target", h), "protected: ~/Documents");
    EXPECT_EQ(protected_anywhere("/home/u/.ssh/id", h), "protected: ~/.ssh");
    EXPECT_EQ(protected_anywhere("/home/u/Videos/f.mkv", h), "protected: ~/Videos");
    EXPECT_EQ(protected_anywhere("/home/u/Dropbox (Work)/a", h), "protected: sync folder");
    EXPECT_EQ(protected_anywhere("/home/other/.cache/x", h), "outside your home");
    EXPECT_EQ(protected_anywhere("/usr/lib/x", h), "protected: /usr");
    EXPECT_EQ(protected_anywhere("/home/u/a.photoslibrary/x", h), "protected: Photos library");
    EXPECT_FALSE(protected_anywhere("/home/u/.cache/pip", h));
    EXPECT_FALSE(protected_anywhere("/home/u/Documentsx/a", h));  // a sibling, not the tree
    EXPECT_EQ(protected_anywhere("/x", "/"), "outside your home");
}

TEST(PeerPaths, DisplayAndNameHelpers) {
    EXPECT_EQ(peer::paths::display("/home/u/.cache", "/home/u"), "~/.cache");
    EXPECT_EQ(peer::paths::display("/home/uu/.cache", "/home/u"), "/home/uu/.cache");
    EXPECT_EQ(peer::paths::parent_of("/a"), "/");
    EXPECT_EQ(peer::paths::base_name("/a/b/"), "b");
    EXPECT_EQ(peer::paths::unescape_mount("/mnt/my\\040disk\\134x"), "/mnt/my disk\\x");
    EXPECT_EQ(peer::paths::unescape_mount("/trailing\\04"), "/trailing\\04");
}

TEST(PeerTrash, RecordEncodesThePathAndTheLocalDate) {
    EXPECT_EQ(peer::trash::percent_encode("/a b/caf\xc3\xa9%#?.~_-"),
              "/a%20b/caf%C3%A9%25%23%3F.~_-");
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    EXPECT_EQ(peer::trash::info_text("/h/x y", 86400 + 3661),
              "[Trash Info]\nPath=/h/x%20y\nDeletionDate=1970-01-02T01:01:01\n");
}

TEST(PeerProtocolUnit, CommandsAreReadStrictly) {
    auto ok = peer::protocol::parse(R"({"id":"gui-3","cmd":"tick","v":1,"ids":["a","b"]})");
    EXPECT_TRUE(ok.error.empty());
    EXPECT_EQ(ok.command.ids, (std::vector<std::string>{"a", "b"}));
    auto path = peer::protocol::parse(R"({"v":1,"cmd":"preview","ids":["c:\/x"]})");
    EXPECT_EQ(path.command.ids.at(0), "c:/x");
    EXPECT_FALSE(peer::protocol::parse(R"({"v":1,"cmd":"tick"})").error.empty());
    EXPECT_FALSE(peer::protocol::parse(R"({"v":1,"cmd":"tick","ids":[1]})").error.empty());
    EXPECT_FALSE(peer::protocol::parse(R"({"v":"1","cmd":"hello"})").error.empty());
    EXPECT_FALSE(peer::protocol::parse(R"([1,2])").error.empty());
    auto clean =
        peer::protocol::parse(R"({"v":1,"cmd":"clean","confirm_token":"t","dry_run":"yes"})");
    EXPECT_FALSE(clean.error.empty());  // never guess whether a clean is real
    auto real =
        peer::protocol::parse(R"({"v":1,"cmd":"clean","confirm_token":"t","dry_run":false})");
    EXPECT_EQ(real.command.confirm_token, "t");
    EXPECT_FALSE(real.command.dry_run);
}

TEST(PeerTokensUnit, TokensAreHexAndDiffer) {
    auto a = peer::tokens::make(), b = peer::tokens::make();
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->size(), 32u);
    EXPECT_EQ(a->find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(*a, *b);
}

}  // namespace
