#include <gtest/gtest.h>
#include <unicode/locid.h>

#include "DetailsContent.hpp"
#include "Format.hpp"

namespace virirado {
namespace {

VadeRow item(std::string id, int64_t size, int64_t realistic = 0) {
    VadeRow r;
    r.id = std::move(id);
    r.name = r.id;
    r.size = size;
    r.realistic = realistic;
    r.safety = "safe";
    r.tickable = true;
    r.action = "rm";
    return r;
}

DetailsContent show(std::optional<std::string> selection, const VadeRow* row,
                    const TreeGroup* group) {
    DetailsInputs in;
    in.selection = std::move(selection);
    in.row = row;
    in.group = group;
    in.freshBytes = 240'400'000'000;
    in.totalBytes = 506'300'000'000;
    in.otherBytes = 153'600'000'000;
    in.home = "/home/al";
    return detailsContent(in);
}

TEST(DetailsContent, WhichCard) {
    const VadeRow r = item("a", 10);
    const TreeGroup g{"caches", "Caches", {&r}, ""};

    // "fresh" and "other" win over a passed row and group.
    const DetailsContent fresh = show("fresh", &r, &g);
    EXPECT_EQ(fresh.face, DetailsFace::fresh);
    EXPECT_EQ(fresh.title, "Fresh water");
    EXPECT_EQ(fresh.size, "240.4 GB");
    EXPECT_EQ(fresh.subtitle, "of 506.3 GB");
    const DetailsContent other = show("other", &r, nullptr);
    EXPECT_EQ(other.face, DetailsFace::other);
    EXPECT_EQ(other.title, "Everything else");
    EXPECT_EQ(other.size, "153.6 GB");

    EXPECT_EQ(show("group:caches", &r, &g).face, DetailsFace::group);
    // Past those two, the pane goes by what it is passed, not by the text.
    EXPECT_EQ(show(std::nullopt, &r, nullptr).face, DetailsFace::row);
    for (const auto& sel : {std::optional<std::string>(), std::optional<std::string>("gone")}) {
        const DetailsContent none = show(sel, nullptr, nullptr);
        EXPECT_EQ(none.face, DetailsFace::pickRow);
        EXPECT_EQ(none.title, "Pick a row.");
    }

    // What each card is about, whatever it says.
    EXPECT_EQ(fresh.subject, "fresh");
    EXPECT_EQ(other.subject, "other");
    EXPECT_EQ(show("group:caches", &r, &g).subject, "group:caches");
    EXPECT_EQ(show(std::nullopt, &r, nullptr).subject, "row:a");
    EXPECT_EQ(show(std::nullopt, nullptr, nullptr).subject, "");
    VadeRow ticked = r;
    ticked.ticked = true;
    EXPECT_NE(show("a", &ticked, nullptr), show("a", &r, nullptr));
    EXPECT_EQ(show("a", &ticked, nullptr).subject, show("a", &r, nullptr).subject);
    // A group and a row whose names meet are still two subjects.
    const VadeRow named = item("group:caches", 10);
    EXPECT_NE(show(std::nullopt, &named, nullptr).subject, show("group:caches", &r, &g).subject);

    // No volume yet: both fresh figures read 0 B.
    DetailsInputs empty;
    empty.selection = "fresh";
    const DetailsContent zero = detailsContent(empty);
    EXPECT_EQ(zero.size, "0 B");
    EXPECT_EQ(zero.subtitle, "of 0 B");
}

TEST(DetailsContent, SafetySentenceForEachTier) {
    VadeRow r = item("a", 10);
    r.blocked = "iCloud is syncing";
    EXPECT_EQ(safetySentence(r),
              (SafetySentence{"Blocked \u00B7 iCloud is syncing", SafetyInk::secondary}));
    r.blocked.clear();
    r.safety = "info";
    EXPECT_EQ(safetySentence(r), (SafetySentence{"Look only", SafetyInk::secondary}));
    r.safety = "safe";
    r.tickable = false;
    EXPECT_EQ(safetySentence(r), (SafetySentence{"Look only", SafetyInk::secondary}));
    r.tickable = true;
    EXPECT_EQ(safetySentence(r),
              (SafetySentence{"Safe \u00B7 removed \u00B7 rebuildable", SafetyInk::safe}));
    r.kind = "trash";
    EXPECT_EQ(safetySentence(r).text, "Safe \u00B7 emptied for good");
    r.kind.clear();
    r.safety = "review";
    r.action = "trash";
    EXPECT_EQ(safetySentence(r),
              (SafetySentence{"Check first \u00B7 goes to trash", SafetyInk::check}));
    r.action = "cmd";
    EXPECT_EQ(safetySentence(r).text, "Check first \u00B7 tool cleans it");
    r.safety = "odd";
    EXPECT_EQ(safetySentence(r), (SafetySentence{"odd", SafetyInk::text}));
}

TEST(DetailsContent, RowCard) {
    VadeRow r = item("a", 5'000'000, 3'000'000);
    r.path = "/home/al/Library/Caches/x";
    const RowCard card = *show("a", &r, nullptr).row;
    EXPECT_EQ(card.size, "3.0 MB");
    EXPECT_EQ(card.sizeSpoken, "You'll really get back 3.0 MB");
    EXPECT_EQ(card.shownPath, "~/Library/Caches/x");
    ASSERT_EQ(card.details.size(), 3u);
    EXPECT_EQ(card.details[0], (DetailLine{"Listed", "5.0 MB"}));
    EXPECT_EQ(card.details[1], (DetailLine{"Files", "\u2014"}));
    EXPECT_EQ(card.details[2], (DetailLine{"Modified", "\u2014"}));

    // No "Listed" line when there is no realistic size or it equals the size.
    r.realistic = 0;
    EXPECT_EQ(rowDetailLines(r).front().label, "Files");
    EXPECT_EQ(show("a", &r, nullptr).row->size, "5.0 MB");
    r.realistic = r.size;
    EXPECT_EQ(rowDetailLines(r).front().label, "Files");
    r.fileCount = 12'400;
    EXPECT_EQ(rowDetailLines(r).front().value, formatCount(12'400));

    // The home itself reads "~", a path beside it is left alone, and a blank
    // path has no line and no file buttons.
    r.path = "/home/al";
    EXPECT_EQ(show("a", &r, nullptr).row->shownPath, "~");
    r.path = "/home/alice/x";
    EXPECT_EQ(show("a", &r, nullptr).row->shownPath, "/home/alice/x");
    r.path = "";
    EXPECT_EQ(show("a", &r, nullptr).row->shownPath, std::nullopt);
    r.path.reset();
    EXPECT_EQ(show("a", &r, nullptr).row->actionPath, std::nullopt);
}

TEST(DetailsContent, FileButtonsActOnTheCleanedPath) {
    VadeRow r = item("a", 1);
    r.path = "  ~/Downloads/Docker.dmg\n";
    const RowCard card = *show("a", &r, nullptr).row;
    EXPECT_EQ(card.actionPath, "/home/al/Downloads/Docker.dmg");
    // Shown as stored (after the home rule), acted on as the row menu would.
    EXPECT_EQ(card.shownPath, "  ~/Downloads/Docker.dmg\n");
    r.path = " \t ";
    EXPECT_EQ(show("a", &r, nullptr).row->actionPath, std::nullopt);
}

TEST(DetailsContent, ExplanationTip) {
    VadeRow r = item("a", 1);
    EXPECT_EQ(explanationTip(r), "");
    r.why = "Why";
    EXPECT_EQ(explanationTip(r), "Why");
    r.explainGone = "Gone";
    EXPECT_EQ(explanationTip(r), "Why\nGone");
    r.explainWhat = "What";
    r.explainBack = "Back";
    EXPECT_EQ(explanationTip(r), "What\nGone\nBack");
}

TEST(DetailsContent, TenLargestMembers) {
    VadeRow r = item("a", 1);
    for (int i = 0; i < 25; ++i) {
        VadeMember m;
        m.id = std::to_string(i);
        m.name = "m" + std::to_string(i);
        m.size = i == 3 || i == 4 ? 1000 : i;
        if (i % 2 == 0) m.path = "/home/al/m" + std::to_string(i);
        r.members.push_back(m);
    }
    const auto lines = memberLines(r, "/home/al");
    ASSERT_EQ(lines.size(), 10u);
    // Equal sizes keep their order.
    EXPECT_EQ(lines[0].name, "m3");
    EXPECT_EQ(lines[1].name, "m4");
    EXPECT_EQ(lines[1].shown, "~/m4");
    EXPECT_EQ(lines[2].name, "m24");
    EXPECT_EQ(lines[3].shown, "m23");
    EXPECT_EQ(lines[9].name, "m17");
    EXPECT_EQ(lines[0].size, "1.0 KB");
}

TEST(DetailsContent, ToggleFaces) {
    VadeRow r = item("a", 1);
    r.tickable = false;
    EXPECT_EQ(toggleLabel(toggleFace(r)), "Look only");
    r.tickable = true;
    EXPECT_EQ(toggleLabel(toggleFace(r)), "Keep");
    r.ticked = true;
    EXPECT_EQ(toggleLabel(toggleFace(r)), "Cleaning");
}

TEST(DetailsContent, GroupCard) {
    std::vector<VadeRow> rows;
    for (int i = 0; i < 12; ++i) {
        VadeRow r = item("r" + std::to_string(i), 1'000'000 * (12 - i), 500'000 * (12 - i));
        r.name = "Caches \u00B7 row" + std::to_string(i);
        r.category = "caches";
        r.ticked = i < 3;
        r.fileCount = 2;
        rows.push_back(r);
    }
    const TreeGroup g{"caches", "Caches & temp", refsOf(rows), ""};
    const GroupCard card = *show("group:caches", nullptr, &g).group;
    EXPECT_EQ(card.title, "Caches & temp");
    EXPECT_EQ(card.size, finderSize(g.back()));
    EXPECT_EQ(card.summary, "3 of 12 ticked \u00B7 " + finderSize(500'000 * (12 + 11 + 10)));
    ASSERT_EQ(card.rows.size(), 8u);
    EXPECT_EQ(card.rows[0], (NameAndSize{"row0", "6.0 MB"}));
    ASSERT_EQ(card.details.size(), 2u);
    EXPECT_EQ(card.details[0], (DetailLine{"Listed", finderSize(78'000'000)}));
    EXPECT_EQ(card.details[1], (DetailLine{"Files", "24"}));

    // Sizes equal to what the group gives back: no "Listed"; no files: "—".
    VadeRow plain = item("p", 700);
    const TreeGroup one{"x", "X", {&plain}, ""};
    const GroupCard small = *show("group:x", nullptr, &one).group;
    ASSERT_EQ(small.details.size(), 1u);
    EXPECT_EQ(small.details[0], (DetailLine{"Files", "\u2014"}));
    EXPECT_EQ(small.summary, "0 of 1 ticked \u00B7 0 B");
}

TEST(DetailsContent, ModifiedDate) {
    EXPECT_EQ(modifiedText(std::nullopt), "\u2014");
    EXPECT_EQ(modifiedText(1e300), "\u2014");
    const icu::Locale before = icu::Locale::getDefault();
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale::getUS(), status);
    // Noon, so no time zone moves it to another day.
    const std::string text = modifiedText(1'764'590'400.0);
    icu::Locale::setDefault(before, status);
    EXPECT_EQ(text, "Dec 1, 2025");
}

}  // namespace
}  // namespace virirado
