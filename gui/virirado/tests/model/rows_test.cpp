#include <gtest/gtest.h>
#include <unicode/locid.h>

#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "Format.hpp"
#include "Rows.hpp"

using virirado::ColumnOrder;
using virirado::ColumnSort;
using virirado::VadePiece;
using virirado::VadeRole;
using virirado::VadeRow;

namespace {

VadeRow row(std::string id, int64_t size, int64_t realistic = 0) {
    VadeRow r;
    r.id = r.name = std::move(id);
    r.size = size;
    r.realistic = realistic;
    r.tickable = true;
    r.safety = "review";
    r.action = "rm";
    return r;
}

std::vector<std::string> ids(const std::vector<VadeRow>& rows) {
    std::vector<std::string> out;
    for (const auto& r : rows)
        out.push_back(r.id);
    return out;
}

}  // namespace

TEST(VadeRows, FlattenItemsWithTheirCategory) {
    virirado::ItemRecord a;
    a.id = a.label = "a";
    a.category = "caches";
    a.members.resize(2);
    a.members[0].id = "m1";
    a.members[0].label = "one";
    a.members[0].size = 4;
    a.members[0].path = "/x/one";
    a.members[1].id = "m2";
    a.members[1].label = "two";
    virirado::ItemRecord b = a;
    b.id = "b";
    b.category = "logs";
    b.members.clear();
    const auto rows = virirado::vadeRows(virirado::makeTree({a, b}, {"a"}, 10, 100, ""));
    ASSERT_EQ(ids(rows), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(rows[0].category, "caches");
    EXPECT_TRUE(rows[0].ticked);
    ASSERT_EQ(rows[0].members.size(), 2u);
    EXPECT_EQ(rows[0].members[0].size, 4);
    EXPECT_EQ(rows[1].category, "logs");

    const auto item = rows[0].searchItem();
    EXPECT_EQ(item.memberText, "/x/one\ntwo");
    EXPECT_EQ(item.category, "caches");
    EXPECT_EQ(item.path, "");
    EXPECT_EQ(item.realistic, 0);  // given as present, so no fallback to size

    EXPECT_TRUE(virirado::vadeRows(virirado::makeTree({}, {}, 10, 100, "")).empty());
    virirado::TreeNode root;
    root.children.emplace();
    virirado::TreeNode loose;
    loose.id = "loose";
    loose.isItem = true;
    root.children->push_back(loose);
    EXPECT_EQ(virirado::vadeRows(root).at(0).category, "");
}

TEST(VadePieces, OrderAndRoles) {
    EXPECT_TRUE(virirado::vadePieces({}, 0, 0, 0).empty());
    auto pieces = virirado::vadePieces({}, 0, 0, 500);
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].id, "fresh");
    EXPECT_EQ(pieces[0].listed, 0);

    auto ticked = row("t", 5);
    ticked.ticked = true;
    pieces =
        virirado::vadePieces({row("small", 3), row("zero", 0), ticked, row("tie", 5)}, 2, 4, 0);
    std::vector<std::string> order;
    for (const auto& p : pieces)
        order.push_back(p.id);
    EXPECT_EQ(order, (std::vector<std::string>{"other", "t", "tie", "small", "fresh"}));
    EXPECT_EQ(pieces[0].role, VadeRole::base);
    EXPECT_EQ(pieces[1].role, VadeRole::clean);
    EXPECT_EQ(pieces[2].role, VadeRole::pebble);
    EXPECT_EQ(pieces[4].role, VadeRole::water);
}

TEST(VadePieces, WeightsFitTheDisk) {
    const auto pieces = virirado::vadePieces({row("r", 80)}, 50, 20, 100);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].weight, 31);
    EXPECT_EQ(pieces[1].weight, 49);
    EXPECT_EQ(pieces[2].weight, 20);
    EXPECT_EQ(pieces[0].listed, 50);
    EXPECT_EQ(pieces[1].listed, 80);

    // Sums past the int64 range neither wrap nor reach undefined behaviour.
    const auto huge = virirado::vadePieces({row("a", INT64_MAX), row("b", INT64_MAX)}, INT64_MAX,
                                           INT64_MAX, 1000);
    for (const auto& p : huge) {
        EXPECT_GE(p.weight, 0) << p.id;
        if (p.role != VadeRole::water) {
            EXPECT_LE(p.weight, 1) << p.id;
        }
    }
}

TEST(VadeSort, ColumnsAndTieBreaks) {
    EXPECT_EQ(virirado::compareVade(row("a", 300, 0), row("b", 900, 300), ColumnSort::size), -1);
    EXPECT_EQ(virirado::compareVade(row("a", 1), row("b", 1), ColumnSort::files), 0);
    auto dated = row("d", 1);
    dated.modified = 5;
    EXPECT_EQ(virirado::compareVade(row("u", 1), dated, ColumnSort::modified), -1);
    auto safe = row("s", 1);
    safe.safety = "safe";
    auto odd = row("o", 1);
    odd.safety = "weird";
    EXPECT_EQ(virirado::compareVade(safe, odd, ColumnSort::safety), -1);
    auto ticked = row("t", 1);
    ticked.ticked = true;
    EXPECT_EQ(virirado::compareVade(safe, row("r", 1), ColumnSort::clean), -1);
    EXPECT_EQ(virirado::compareVade(ticked, row("r", 1), ColumnSort::clean), 1);

    const std::vector<VadeRow> rows{row("Beta", 10), row("alpha", 10), row("big", 50), row("c", 1)};
    EXPECT_EQ(ids(virirado::sortVadeRows(rows, {ColumnSort::size, true})),
              (std::vector<std::string>{"big", "alpha", "Beta", "c"}));
    EXPECT_EQ(ids(virirado::sortVadeRows(rows, {ColumnSort::size, false})),
              (std::vector<std::string>{"c", "alpha", "Beta", "big"}));
    EXPECT_EQ(ids(virirado::sortVadeRows(rows, {ColumnSort::name, false})),
              (std::vector<std::string>{"alpha", "Beta", "big", "c"}));

    EXPECT_EQ(virirado::columnSort("percent"), ColumnSort::percent);
    EXPECT_FALSE(virirado::columnSort("Size"));
    EXPECT_EQ(virirado::columnName(ColumnSort::clean), "clean");
}

TEST(VadeRowFate, FirstRuleWins) {
    auto r = row("r", 1);
    EXPECT_EQ(r.fate(), "Removed \u00B7 rebuildable");
    auto bin = row("bin", 1);
    bin.kind = "trash";
    EXPECT_EQ(bin.fate(), "Emptied for good");  // emptying the Trash cannot be undone
    r.action = "trash";
    EXPECT_EQ(r.fate(), "Goes to Trash");
    r.action = "cmd";
    EXPECT_EQ(r.fate(), "Tool cleans it");
    r.tickable = false;
    EXPECT_EQ(r.fate(), "Look only");
    r.blocked = "in use";
    EXPECT_EQ(r.fate(), "Blocked now");
    r.safety = "info";
    EXPECT_EQ(r.fate(), "Look only");
}

// Switches the C library to a German locale (comma as decimal mark), building one
// in a private folder when the machine has none installed.
bool useGermanLocale() {
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        std::string dir = (std::filesystem::temp_directory_path() / "vloc-XXXXXX").string();
        if (mkdtemp(dir.data()) == nullptr) return false;
        const std::string cmd =
            "localedef -i de_DE -f UTF-8 '" + dir + "/de_DE.UTF-8' >/dev/null 2>&1";
        if (std::system(cmd.c_str()) != 0) return false;
        setenv("LOCPATH", dir.c_str(), 1);
        if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) return false;
    }
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    return std::string(probe) == "1,5";
}

TEST(Formatting, FinderSizeIgnoresTheLocale) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (!useGermanLocale()) GTEST_SKIP() << "no German locale can be made on this machine";
    const std::pair<int64_t, const char*> cases[] = {
        {-5, "0 B"},
        {0, "0 B"},
        {999, "999 B"},
        {1000, "1.0 KB"},
        {99949, "99.9 KB"},
        {99950, "100.0 KB"},
        {150000, "150 KB"},
        {999999, "1000 KB"},
        {1000000, "1.0 MB"},
        {2500000000, "2.5 GB"},
        {5000000000000000, "5000.0 TB"},
        {INT64_MAX, "9223372.0 TB"},
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(virirado::finderSize(bytes), text) << bytes;
    std::setlocale(LC_ALL, previous.c_str());
}

TEST(Formatting, EtaBounds) {
    EXPECT_EQ(virirado::vadeEta(std::nullopt), "estimating");
    EXPECT_EQ(virirado::vadeEta(0), "almost done");
    EXPECT_EQ(virirado::vadeEta(-5), "almost done");
    EXPECT_EQ(virirado::vadeEta(0.3), "about 1s left");
    EXPECT_EQ(virirado::vadeEta(0.4), "about 1s left");
    EXPECT_EQ(virirado::vadeEta(4.4), "about 4s left");
    EXPECT_EQ(virirado::vadeEta(89.5), "about 90s left");
    EXPECT_EQ(virirado::vadeEta(90), "about 2 min left");
    EXPECT_EQ(virirado::vadeEta(150), "about 3 min left");
    EXPECT_EQ(virirado::vadeEta(30000), "about 500 min left");
    EXPECT_EQ(virirado::vadeEta(1e9), "about 16666667 min left");
}

// The engine's time left is unchecked JSON: nothing it sends may reach an
// integer conversion out of range, and no absurd figure is shown as a time.
TEST(Formatting, EtaBeyondReasonIsNoEstimate) {
    EXPECT_EQ(virirado::vadeEta(NAN), "estimating");
    EXPECT_EQ(virirado::vadeEta(INFINITY), "estimating");
    EXPECT_EQ(virirado::vadeEta(-INFINITY), "estimating");
    EXPECT_EQ(virirado::vadeEta(1e9 + 1), "estimating");
    EXPECT_EQ(virirado::vadeEta(1e300), "estimating");
    EXPECT_EQ(virirado::vadeEta(-1e300), "estimating");
}

TEST(Formatting, CountFollowsTheLocale) {
    const icu::Locale previous = icu::Locale::getDefault();
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("de_DE"), status);
    EXPECT_EQ(virirado::formatCount(1234567), "1.234.567");
    icu::Locale::setDefault(icu::Locale("en_US"), status);
    EXPECT_EQ(virirado::formatCount(1234567), "1,234,567");
    EXPECT_EQ(virirado::formatCount(-12), "-12");
    icu::Locale::setDefault(previous, status);
}
