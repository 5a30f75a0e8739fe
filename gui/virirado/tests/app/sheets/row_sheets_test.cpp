// The check-first and first quick-delete sheets over the demo rows: their keys,
// what they ask of the window, and how they look. With VIRIRADO_SHEET_PICTURES
// set to a folder, the sheets' pictures are saved there to be looked at.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QTest>
#include <algorithm>

#include "CapsuleButton.hpp"
#include "CheckList.hpp"
#include "ClampedLabel.hpp"
#include "LivePill.hpp"
#include "SheetHost.hpp"
#include "SheetKeys.hpp"
#include "SheetTesting.hpp"
#include "WindowHarness.hpp"

namespace virirado {
namespace {

using testing::savePicture;
using testing::useAppFonts;
using testing::WindowHarness;

SheetDialog* openSheet(WindowHarness& h) {
    h.settle();
    SheetDialog* sheet = h.content->sheets().current();
    if (sheet == nullptr) return nullptr;
    if (!virirado::testing::activateSheet(sheet)) ADD_FAILURE() << "sheet never active";
    return sheet;
}

QString text(QWidget* sheet, const char* name) {
    auto* label = sheet->findChild<ClampedLabel*>(name);
    return label != nullptr && label->isVisible() ? label->text() : QString();
}

// The demo rows, the first check-first one holding three members.
void loadWithMembers(WindowHarness& h) {
    std::vector<ItemRecord> records = SnapshotDemo::records(h.clock.now());
    for (ItemRecord& r : records) {
        if (r.safety != "review" || r.ticked) continue;
        const std::string base = r.path.value_or("~/x");
        for (const char* name : {"Runtime 17.4", "Runtime 17.2", "Device data"}) {
            ItemRecord m;
            m.id = r.id + "/" + name;
            m.label = name;
            m.size = 3'400'000'000;
            m.path = base + "/" + name;
            r.members.push_back(m);
        }
        r.members.back().path.reset();
        // One member as the engine reports it, from the home folder.
        r.members.front().path = "/home/tester/Library/Developer/Runtime 17.4";
        break;
    }
    h.engine.value.volumeName = "Macintosh HD";
    h.engine.load(std::move(records), 240'400'000'000, 506'300'000'000);
    h.settle();
}

const VadeRow* firstRow(WindowHarness& h, const std::function<bool(const VadeRow&)>& wanted) {
    for (const VadeRow& r : h.content->model().rows()->rows) {
        if (wanted(r)) return &r;
    }
    return nullptr;
}

TEST(CheckFirstSheet, ReturnTicksThenClosesEscapeKeeps) {
    useAppFonts();
    WindowHarness h;
    h.show();
    loadWithMembers(h);
    const VadeRow* review = firstRow(h, [](const VadeRow& r) {
        return r.safety == "review" && r.tickable && !r.ticked && !r.members.empty();
    });
    ASSERT_NE(review, nullptr);
    const std::string id = review->id;
    h.content->model().toggle(*review);
    SheetDialog* sheet = openSheet(h);
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->objectName(), "checkFirstSheet");
    EXPECT_EQ(text(sheet, "title"), "Check first");
    EXPECT_EQ(text(sheet, "name"), QString::fromStdString(review->name));
    EXPECT_GE(sheet->width(), 520);
    EXPECT_GE(sheet->height(), 420);
    const auto& lines = sheet->findChild<CheckList*>()->lines();
    ASSERT_EQ(lines.size(), review->members.size() + 1);
    EXPECT_EQ(lines[0].title, review->name);
    EXPECT_EQ(lines[1].title, review->members[0].name);
    EXPECT_EQ(lines[1].detail, "~/Library/Developer/Runtime 17.4");
    EXPECT_EQ(lines[3].detail, "");

    // Escape keeps the row unticked and closes.
    QTest::keyClick(sheet, Qt::Key_Escape);
    h.settle();
    EXPECT_EQ(h.content->sheets().current(), nullptr);
    EXPECT_TRUE(std::none_of(h.engine.calls.begin(), h.engine.calls.end(),
                             [](const std::string& c) { return c.starts_with("tick"); }));

    // Return ticks it, and the sheet goes.
    h.content->model().toggle(*h.content->model().rows()->find(id));
    sheet = openSheet(h);
    ASSERT_NE(sheet, nullptr);
    QTest::keyClick(sheet, Qt::Key_Return);
    EXPECT_EQ(h.engine.calls.back(), "tick " + id);
    EXPECT_FALSE(h.content->model().checkFirst().has_value());
    h.settle();
    EXPECT_EQ(h.content->sheets().current(), nullptr);
}

TEST(QuickDeleteFirstSheet, ReturnClosesThenAsksEscapeCancels) {
    useAppFonts();
    WindowHarness h;
    h.show();
    h.loadDemo();
    const VadeRow* row = firstRow(h, [](const VadeRow& r) {
        return r.tickable && r.blocked.empty() && r.path && !r.path->empty();
    });
    ASSERT_NE(row, nullptr);
    const std::string id = row->id;
    h.content->model().quickDelete(*row);
    SheetDialog* sheet = openSheet(h);
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->objectName(), "quickDeleteFirstSheet");
    EXPECT_EQ(sheet->size(), QSize(460, 290));
    EXPECT_EQ(text(sheet, "title"), "Quick Delete \u00B7 Confirmation 1 of 2");
    EXPECT_TRUE(sheet->findChild<LivePill*>()->isVisible());
    EXPECT_EQ(text(sheet, "fate"), QString::fromStdString(row->fate()));
    EXPECT_FALSE(sheet->findChild<QPlainTextEdit*>("path")->toPlainText().isEmpty());

    QTest::keyClick(sheet, Qt::Key_Escape);
    h.settle();
    EXPECT_EQ(h.content->sheets().current(), nullptr);
    EXPECT_TRUE(std::none_of(h.engine.calls.begin(), h.engine.calls.end(),
                             [](const std::string& c) { return c.starts_with("quick"); }));

    h.content->model().quickDelete(*h.content->model().rows()->find(id));
    sheet = openSheet(h);
    ASSERT_NE(sheet, nullptr);
    // Keys typed while the path is selected still reach the sheet.
    auto* path = sheet->findChild<QPlainTextEdit*>("path");
    QTest::mouseClick(path->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(QApplication::focusWidget(), path);
    QTest::keyClick(path, Qt::Key_Return);
    EXPECT_EQ(h.engine.calls.back(), "quick " + id);
    EXPECT_FALSE(h.content->model().quickDeleteFirst().has_value());
    h.settle();
    EXPECT_EQ(h.content->sheets().current(), nullptr);
}

// Both sheets in both schemes: background, the forward button's fill.
TEST(RowSheets, ColoursInBothSchemes) {
    for (bool dark : {false, true}) {
        useAppFonts();
        WindowHarness h([dark](WindowServices& s) { s.dark = dark; });
        h.show();
        loadWithMembers(h);
        const VadeRow* review = firstRow(h, [](const VadeRow& r) {
            return r.safety == "review" && r.tickable && !r.ticked && !r.members.empty();
        });
        ASSERT_NE(review, nullptr);
        h.content->model().toggle(*review);
        SheetDialog* check = openSheet(h);
        ASSERT_NE(check, nullptr);
        savePicture(check, "check-first", dark);
        const QImage checkPicture = check->grab().toImage();
        EXPECT_EQ(checkPicture.pixelColor(3, 3).name(), dark ? "#12304b" : "#ffffff");
        QWidget* clean = check->findChild<CapsuleButton*>("cleanItButton");
        EXPECT_EQ(
            checkPicture.pixelColor(clean->mapTo(check, QPoint(6, clean->height() / 2))).name(),
            "#ff7a2f");
        h.content->model().keepCheckFirst();

        const VadeRow* row = firstRow(h, [](const VadeRow& r) {
            return r.tickable && r.blocked.empty() && r.path && !r.path->empty();
        });
        h.content->model().quickDelete(*row);
        SheetDialog* quick = openSheet(h);
        ASSERT_NE(quick, nullptr);
        EXPECT_EQ(quick->objectName(), "quickDeleteFirstSheet");
        savePicture(quick, "quick-delete", dark);
        const QImage quickPicture = quick->grab().toImage();
        EXPECT_EQ(quickPicture.pixelColor(3, 3).name(), dark ? "#12304b" : "#ffffff");
        QWidget* go = quick->findChild<CapsuleButton*>("continueButton");
        EXPECT_EQ(quickPicture.pixelColor(go->mapTo(quick, QPoint(6, go->height() / 2))).name(),
                  LivePill::red().name());
    }
}

}  // namespace
}  // namespace virirado
