// The preview check and the re-check judge each row by the folder on disk it
// names, against the records as they are at that moment: a second name for a
// folder, a stricter item inside it, or a re-listing while the sheet is open
// never lets a row go without the code it needs.
#include <gtest/gtest.h>

#include "pipeline_fixture.hpp"

using namespace virirado;
using virirado::testing::PipelineTest;

namespace {

struct JudgedByPlace : PipelineTest {
    std::string target;

    void SetUp() override {
        PipelineTest::SetUp();
        target = (home.path / "proj/target").string();
        std::filesystem::create_directories(target + "/out");
        // ~/work is ~/proj by another name.
        std::filesystem::create_directory_symlink(home.path / "proj", home.path / "work");
    }
    static Json folder(const std::string& id, const std::string& path, const std::string& safety,
                       bool ticked) {
        Json r = item(id, path);
        r["label"] = id;
        r["safety"] = safety;
        r["action"] = "trash";
        r["ticked"] = ticked;
        return r;
    }
    // A scan's result: `items`, with only x1 ticked.
    void listed(std::vector<Json> items) {
        h->event({{"event", "done"}, {"items", Json(items)}, {"ticked", Json::array({"x1"})}});
    }
    // x1, safe and ticked, at `where`; the preview proposes it as it is.
    std::string shown(const std::string& where, const std::string& token = "tok") {
        preview(Json::array({row("x1", where, 10, "trash", "safe")}), token);
        if (!state().preview) return "held: " + state().banner.value_or("");
        return state().preview->rows.at(0).safety;
    }
};

}  // namespace

TEST_F(JudgedByPlace, APreviewRowIsAsStrictAsTheRecordsAtOrInsideItsFolder) {
    const std::string work = (home.path / "work/target").string();
    listed({folder("r1", target, "review", false), folder("x1", work, "safe", true)});
    EXPECT_EQ(shown(work), "review");

    // The review item lies inside the safe row's folder.
    listed({folder("x1", target, "safe", true), folder("r", target + "/out", "review", false)});
    EXPECT_EQ(shown(target, "tok2"), "review");

    // One nobody may tick inside it holds the row back.
    Json kept = folder("k", work + "/out", "safe", false);
    kept["deletable"] = false;
    listed({folder("x1", target, "safe", true), kept});
    EXPECT_EQ(shown(target, "tok3"),
              "held: Held back 1: Item x1 (not as scanned). Nothing deleted. Preview again.");

    // Nothing stricter anywhere near: the row stays as it was.
    listed({folder("x1", target, "safe", true)});
    EXPECT_EQ(shown(target, "tok4"), "safe");
}

TEST_F(JudgedByPlace, ARowListedStricterWhileTheSheetIsOpenIsHeldBack) {
    listed({folder("x1", target, "safe", true)});
    ASSERT_EQ(shown(target), "safe");
    // The engine lists x1 again, now to check first.
    h->event({{"event", "item"}, {"item", folder("x1", target, "review", true)}});
    h->world->sent.clear();
    h->client->confirmClean();
    EXPECT_EQ(state().banner,
              "Held back 1: Item x1 (changed since the preview). Nothing deleted. Preview again.");
    EXPECT_EQ(h->commandNames(), std::vector<std::string>{"untick"});
    ASSERT_EQ(h->refusedLogs.size(), 1u);
    EXPECT_EQ(h->refusedLogs[0][0].second, "changed since the preview");

    // A second result that puts a review item inside it.
    listed({folder("x1", target, "safe", true)});
    ASSERT_EQ(shown(target, "tok2"), "safe");
    listed({folder("x1", target, "safe", true), folder("r", target + "/out", "review", false)});
    h->world->sent.clear();
    h->client->confirmClean();
    EXPECT_EQ(state().banner,
              "Held back 1: Item x1 (changed since the preview). Nothing deleted. Preview again.");
    EXPECT_EQ(h->commandNames(), std::vector<std::string>{"untick"});

    // Listed again as it was: the clean goes out.
    listed({folder("x1", target, "safe", true)});
    ASSERT_EQ(shown(target, "tok3"), "safe");
    h->event({{"event", "item"}, {"item", folder("x1", target, "safe", true)}});
    h->client->confirmClean();
    EXPECT_EQ(lastSent()["cmd"], "clean");
}
