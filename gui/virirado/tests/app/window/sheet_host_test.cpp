#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "SheetHost.hpp"
#include "SheetKeys.hpp"
#include "WindowHarness.hpp"

namespace virirado {
namespace {

using testing::WindowHarness;

PreviewPayload preview(std::string token) {
    PreviewPayload p;
    p.token = std::move(token);
    PreviewRow row;
    row.id = "derived";
    row.label = "DerivedData";
    row.realisticSize = 1000;
    row.safety = "safe";
    row.action = "rm";
    p.rows = {row};
    return p;
}

void setPreview(WindowHarness& h, std::optional<PreviewPayload> p) {
    h.engine.value.preview = std::move(p);
    h.engine.announce();
    h.settle();
}

TEST(SheetHost, EveryWayOutOfThePreviewGoesThroughTheWindow) {
    WindowHarness h;
    h.show();
    h.loadDemo();
    setPreview(h, preview("t1"));
    SheetDialog* sheet = h.content->sheets().current();
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->isVisible());

    // Escape asks the engine client to dismiss; the sheet stays until it does.
    QTest::keyClick(sheet, Qt::Key_Escape);
    h.settle();
    EXPECT_EQ(h.engine.calls.back(), "dismiss");
    EXPECT_EQ(h.content->sheets().current(), sheet);
    EXPECT_TRUE(sheet->isVisible());

    // So does the window manager's close button.
    sheet->close();
    h.settle();
    EXPECT_EQ(std::count(h.engine.calls.begin(), h.engine.calls.end(), "dismiss"), 2);
    EXPECT_TRUE(sheet->isVisible());

    setPreview(h, std::nullopt);
    EXPECT_EQ(h.content->sheets().current(), nullptr);
}

TEST(SheetHost, KeysGoBackToTheWindowWhenASheetCloses) {
    WindowHarness h;
    h.show();
    h.loadDemo();
    setPreview(h, preview("t1"));
    SheetDialog* sheet = h.content->sheets().current();
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(virirado::testing::activateSheet(sheet));

    setPreview(h, std::nullopt);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // Without it a desktop with no window manager leaves the keys nowhere.
    EXPECT_TRUE(QTest::qWaitForWindowActive(h.content->window()));
    EXPECT_EQ(QApplication::activeWindow(), h.content->window());
}

TEST(SheetHost, ANewPreviewIsANewSheet) {
    WindowHarness h;
    h.show();
    setPreview(h, preview("t1"));
    QPointer<SheetDialog> first = h.content->sheets().current();
    ASSERT_TRUE(first);
    setPreview(h, preview("t2"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    ASSERT_NE(h.content->sheets().current(), nullptr);
    EXPECT_EQ(h.content->sheets().currentKey(), "preview:t2");
}

TEST(SheetHost, OneSheetAtATimeTheOthersWait) {
    WindowHarness h;
    h.show();
    h.loadDemo();
    const VadeRow& review = *h.content->model().rows()->find("sim2");
    h.content->model().toggle(review);
    h.settle();
    EXPECT_EQ(h.content->sheets().currentKey(), "check:sim2");

    // The preview arrives while the check-first sheet is up: it waits.
    setPreview(h, preview("t9"));
    EXPECT_EQ(h.content->sheets().currentKey(), "check:sim2");

    h.content->model().keepCheckFirst();
    h.settle();
    EXPECT_EQ(h.content->sheets().currentKey(), "preview:t9");
}

TEST(SheetHost, CheckFirstButtonsTickThenClose) {
    WindowHarness h;
    h.show();
    h.loadDemo();
    h.content->model().toggle(*h.content->model().rows()->find("sim2"));
    h.settle();
    SheetDialog* sheet = h.content->sheets().current();
    ASSERT_NE(sheet, nullptr);
    QTest::keyClick(sheet, Qt::Key_Escape);
    h.settle();
    EXPECT_EQ(h.content->sheets().current(), nullptr);
    EXPECT_TRUE(std::none_of(h.engine.calls.begin(), h.engine.calls.end(),
                             [](const std::string& c) { return c.starts_with("tick"); }));
}

}  // namespace
}  // namespace virirado
