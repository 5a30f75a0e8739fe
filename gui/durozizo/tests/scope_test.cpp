#include "Scope.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "SearchMatch.hpp"

namespace durozizo {
namespace {

SearchItem item(std::string kind, std::string category) {
    return SearchItem("id", "name", "", 1, std::nullopt, std::move(kind), std::move(category), "",
                      std::nullopt, "safe", "trash", false, true, "");
}

std::set<std::string> scopesOf(const SearchItem& i) {
    std::set<std::string> out;
    for (VadeScope s : VadeScope::allCases()) {
        if (s != VadeScope::everything && s.contains(i)) out.emplace(s.rawValue());
    }
    return out;
}

TEST(VadeScope, CasesInOrderAndRawValues) {
    std::string raws;
    for (VadeScope s : VadeScope::allCases()) {
        raws += std::string(s.rawValue()) + ",";
        EXPECT_EQ(VadeScope::fromRaw(s.rawValue()), s);
        EXPECT_EQ(s.id(), s.rawValue());
        EXPECT_EQ(s.available(), s != VadeScope::network);
        EXPECT_FALSE(s.title().empty());
        EXPECT_FALSE(s.symbol().empty());
    }
    EXPECT_EQ(raws, "everything,biggest,developer,caches,files,apps,system,cloud,network,");
    EXPECT_FALSE(VadeScope::fromRaw("Biggest"));
    EXPECT_FALSE(VadeScope::fromRaw(""));
    EXPECT_EQ(VadeScope(VadeScope::caches).title(), "Caches & temp");
    EXPECT_EQ(VadeScope(VadeScope::biggest).symbol(), "arrow.down.right.and.arrow.up.left.circle");
}

TEST(VadeScope, Membership) {
    using Set = std::set<std::string>;
    EXPECT_EQ(scopesOf(item("installer", "downloads")), (Set{"biggest"}));
    EXPECT_EQ(scopesOf(item("leftover", "downloads")), (Set{"files"}));
    EXPECT_EQ(scopesOf(item("trash", "apps")), (Set{"apps", "files"}));
    EXPECT_EQ(scopesOf(item("trash", "trash")), (Set{"files"}));
    EXPECT_EQ(scopesOf(item("x", "Caches")), Set{});
    EXPECT_EQ(scopesOf(item("x", "logs")), (Set{"caches"}));
    EXPECT_EQ(scopesOf(item("x", "vms")), (Set{"cloud"}));
    EXPECT_EQ(scopesOf(item("android-avd", "android")), (Set{"cloud", "developer"}));
    EXPECT_EQ(scopesOf(item("maven-repo", "other")), (Set{"developer"}));
    EXPECT_EQ(scopesOf(item("cloud-local", "x")), (Set{"biggest", "cloud"}));
    EXPECT_EQ(scopesOf(item("x", "snapshots")), (Set{"system"}));
    EXPECT_EQ(scopesOf(item("share", "network")), (Set{"network"}));
    EXPECT_TRUE(VadeScope(VadeScope::everything).contains(item("", "")));
}

TEST(VadeScope, ConstantSets) {
    EXPECT_EQ(VadeScope::biggestKinds().size(), 11u);
    EXPECT_EQ(VadeScope::developerKinds(), kindAliases().at("dev"));
}

}  // namespace
}  // namespace durozizo
