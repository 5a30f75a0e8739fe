// What the sheets' buttons ask of the window, and in which order: the
// check-first row is ticked before its sheet closes, the first quick-delete
// sheet closes before the one-item preview is asked for, and a confirmation
// only ever confirms the preview that was shown.
#include <gtest/gtest.h>

#include "RecordingEngine.hpp"
#include "WindowModel.hpp"

namespace virirado {
namespace {

using testing::RecordingEngine;

// Notes, at each tick and quick-delete request, whether the request that led
// to it was still pending.
class OrderEngine : public RecordingEngine {
public:
    const WindowModel* model = nullptr;
    std::vector<std::string> seen;

    void tick(const std::vector<std::string>& ids) override {
        seen.push_back(std::string("tick, sheet ") + (model->checkFirst() ? "up" : "gone"));
        RecordingEngine::tick(ids);
    }
    void requestQuickDelete(const std::string& id) override {
        seen.push_back(std::string("quick, sheet ") + (model->quickDeleteFirst() ? "up" : "gone"));
        RecordingEngine::requestQuickDelete(id);
    }
};

ItemRecord record(std::string id, std::string safety) {
    ItemRecord r;
    r.id = id;
    r.label = std::move(id);
    r.category = "caches";
    r.size = 1000;
    r.safety = std::move(safety);
    r.action = "rm";
    r.path = "/home/u/.cache/" + r.label;
    return r;
}

struct Window {
    OrderEngine engine;
    MemoryStore settings;
    FixedClock clock{1'800'000'000, 800'000'000};
    WindowModel model{engine, settings, clock, false, "/home/u"};

    Window() {
        engine.model = &model;
        engine.onChanged = [this] { model.engineChanged(); };
        engine.load({record("safe", "safe"), record("check", "review")}, 100, 10'000);
    }
    const VadeRow& row(const std::string& id) const { return *model.rows()->find(id); }
};

TEST(SheetActions, CheckFirstTicksThenCloses) {
    Window w;
    w.model.toggle(w.row("check"));
    ASSERT_TRUE(w.model.checkFirst());
    EXPECT_TRUE(w.engine.seen.empty());
    w.model.cleanCheckFirst();
    EXPECT_EQ(w.engine.seen, std::vector<std::string>{"tick, sheet up"});
    EXPECT_FALSE(w.model.checkFirst());
    EXPECT_EQ(w.engine.calls.back(), "tick check");
}

TEST(SheetActions, KeepAndCancelAskNothing) {
    Window w;
    w.model.toggle(w.row("check"));
    w.model.keepCheckFirst();
    w.model.quickDelete(w.row("safe"));
    ASSERT_TRUE(w.model.quickDeleteFirst());
    w.model.cancelQuickDelete();
    EXPECT_FALSE(w.model.checkFirst());
    EXPECT_FALSE(w.model.quickDeleteFirst());
    EXPECT_TRUE(w.engine.seen.empty());
}

TEST(SheetActions, QuickDeleteClosesThenAsks) {
    Window w;
    w.model.quickDelete(w.row("safe"));
    w.model.continueQuickDelete();
    EXPECT_EQ(w.engine.seen, std::vector<std::string>{"quick, sheet gone"});
    EXPECT_EQ(w.engine.calls.back(), "quick safe");
    // Nothing pending: the buttons do nothing more.
    w.model.continueQuickDelete();
    w.model.cleanCheckFirst();
    EXPECT_EQ(w.engine.seen.size(), 1u);
}

// The window confirms only the preview the sheet showed, and never twice.
TEST(ConfirmAction, ConfirmsExactlyWhatWasShown) {
    RecordingEngine engine;
    MemoryStore settings;
    FixedClock clock{1'800'000'000, 800'000'000};
    WindowModel model(engine, settings, clock, false, "/home/u");
    PreviewPayload shown;
    shown.token = "t";
    shown.rows = {PreviewRow{"a", "a", std::nullopt, 10, "", "safe", "rm"}};

    model.confirmClean(shown);
    EXPECT_TRUE(engine.calls.empty());  // no preview at all

    PreviewPayload other = shown;
    other.token = "newer";
    engine.value.preview = other;
    model.confirmClean(shown);
    EXPECT_TRUE(engine.calls.empty());

    // The same token with other rows is another list.
    other = shown;
    other.rows[0].realisticSize = 9'000'000'000;
    engine.value.preview = other;
    model.confirmClean(shown);
    EXPECT_TRUE(engine.calls.empty());

    engine.value.preview = shown;
    engine.value.verifying = true;
    model.confirmClean(shown);
    EXPECT_TRUE(engine.calls.empty());

    engine.value.verifying = false;
    model.confirmClean(shown);
    EXPECT_EQ(engine.calls, std::vector<std::string>{"confirm"});

    engine.value.cleanProgress.emplace(1, 10, false, durozizo::CleanProgress::Clock::now());
    model.confirmClean(shown);
    EXPECT_EQ(engine.calls.size(), 1u);
}

}  // namespace
}  // namespace virirado
