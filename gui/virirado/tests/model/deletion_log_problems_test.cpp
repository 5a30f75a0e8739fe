// What a full disk or a planted log does to the deletion log: its line is
// written before the traffic log takes the same report, a line that cannot be
// written is said and kept, and written once it can.
#include <gtest/gtest.h>

#include <algorithm>

#include "pipeline_fixture.hpp"

using namespace virirado;
using virirado::testing::PipelineTest;

namespace {

Json result(const std::string& id) {
    return {{"id", id},
            {"label", "Item " + id},
            {"deleted", true},
            {"ok", true},
            {"realistic_size", 10}};
}

Json report(const Json& results) {
    return {{"event", "clean"},
            {"dry_run", false},
            {"clean_count", results.size()},
            {"results", results}};
}

// Where in the trail the first entry that starts with `start` stands.
std::ptrdiff_t at(const std::vector<std::string>& trail, const std::string& start) {
    const auto it = std::find_if(trail.begin(), trail.end(), [&](const std::string& entry) {
        return entry.starts_with(start);
    });
    return it == trail.end() ? -1 : it - trail.begin();
}

}  // namespace

// The engine frees the room with the clean it reports: the deletion log comes
// first, and the traffic log after it takes the report and what it led to, in
// their order.
TEST_F(PipelineTest, TheDeletionLogIsWrittenBeforeTheTrafficLogTakesTheLine) {
    // An answer holding a row nobody asked for: its refusal, then the answer,
    // then the untick it led to.
    h->client->requestPreview();
    h->trail.clear();
    answer(Json::array({row("a", small), row("z", "/tmp/z")}));
    ASSERT_EQ(h->refusedLogs.size(), 1u);
    EXPECT_EQ(at(h->trail, "deletion log"), 0);
    EXPECT_EQ(at(h->trail, "<< {\"blocked\""), 1);
    EXPECT_EQ(at(h->trail, ">> {\"cmd\":\"untick\""), 2);

    h->event({{"event", "selection"}, {"ticked", {"a"}}});
    preview(Json::array({row("a", small)}));
    h->client->confirmClean();
    h->trail.clear();
    h->event(report(Json::array({result("a")})));
    ASSERT_EQ(h->deleteLogs.size(), 1u);
    EXPECT_EQ(at(h->trail, "deletion log"), 0);
    EXPECT_EQ(at(h->trail, "<< {\"clean_count\""), 1);
}
