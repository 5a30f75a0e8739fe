// The check-first and first quick-delete sheets over the demo rows: their keys,
// what they ask of the window, and how they look. With VIRIRADO_SHEET_PICTURES
// set to a folder, the sheets' pictures are saved there to be looked at.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QPlainTextEdit>
#include <QTest>
#include <algorithm>

#include "AccessRecorder.hpp"
#include "CapsuleButton.hpp"
#include "CheckList.hpp"
#include "ClampedLabel.hpp"
#include "LivePill.hpp"
#include "RowSheets.hpp"
#include "Settled.hpp"
#include "SheetHost.hpp"
#include "SheetKeys.hpp"
#include "SheetTesting.hpp"
#include "WindowHarness.hpp"

namespace virirado {
namespace {

using testing::AccessRecorder;
using testing::savePicture;
using testing::tabWalk;
using testing::useAppFonts;
using testing::WindowHarness;

SheetDialog* openSheet(WindowHarness& h) {
    h.settle();
    SheetDialog* sheet = h.content->sheets().current();
    if (sheet == nullptr) return nullptr;
    if (!virirado::testing::activateSheet(sheet)) ADD_FAILURE() << "sheet never active";
    return sheet;
}

std::string spoken(const QAccessibleInterface* element) {
    return element != nullptr ? element->text(QAccessible::Name).toStdString() : "(none)";
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

// A "review" row with members, not ticked yet: ticking it asks first.
const VadeRow* uncheckedReview(WindowHarness& h) {
    return firstRow(h, [](const VadeRow& r) {
        return r.safety == "review" && r.tickable && !r.ticked && !r.members.empty();
    });
}

TEST(CheckFirstSheet, ReturnTicksThenClosesEscapeKeeps) {
    useAppFonts();
    WindowHarness h;
    h.show();
    loadWithMembers(h);
    const VadeRow* review = uncheckedReview(h);
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

    // Escape keeps the row unticked and closes, from the list that holds the keys.
    ASSERT_EQ(QApplication::focusWidget(), sheet->findChild<CheckList*>());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    h.settle();
    EXPECT_EQ(h.content->sheets().current(), nullptr);
    EXPECT_TRUE(std::none_of(h.engine.calls.begin(), h.engine.calls.end(),
                             [](const std::string& c) { return c.starts_with("tick"); }));

    // Return ticks it, and the sheet goes.
    h.content->model().toggle(*h.content->model().rows()->find(id));
    sheet = openSheet(h);
    ASSERT_NE(sheet, nullptr);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(h.engine.calls.back(), "tick " + id);
    EXPECT_FALSE(h.content->model().checkFirst().has_value());
    h.settle();
    EXPECT_EQ(h.content->sheets().current(), nullptr);
}

// A reader lands on the row's own line and walks the members with the keys;
// each line says every text it shows. The sheet is named by its title, Tab
// reaches the buttons, and the keys' line shows the ring only once the keys
// moved it.
TEST(CheckFirstSheet, AReaderWalksItsLinesAndButtons) {
    if (!AccessRecorder::canListen()) GTEST_SKIP() << "built without Qt's private headers";
    useAppFonts();
    WindowHarness h;
    h.show();
    loadWithMembers(h);
    const VadeRow* review = uncheckedReview(h);
    ASSERT_NE(review, nullptr);
    AccessRecorder tool;
    h.content->model().toggle(*review);
    SheetDialog* sheet = openSheet(h);
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(spoken(QAccessible::queryAccessibleInterface(sheet)), "Check first");

    auto* list = sheet->findChild<CheckList*>();
    ASSERT_EQ(QApplication::focusWidget(), list);
    QAccessibleInterface* lines = QAccessible::queryAccessibleInterface(list);
    EXPECT_EQ(lines->role(), QAccessible::List);
    EXPECT_EQ(spoken(lines), review->name);
    ASSERT_EQ(lines->childCount(), 4);
    const CheckLine& own = list->lines()[0];
    ASSERT_FALSE(own.detail.empty());
    EXPECT_EQ(spoken(lines->child(0)), own.title + ", " + own.size + ", " + own.detail);
    EXPECT_EQ(spoken(lines->child(1)), "Runtime 17.4, 3.4 GB, ~/Library/Developer/Runtime 17.4");
    EXPECT_EQ(spoken(lines->child(3)), "Device data, 3.4 GB");
    EXPECT_EQ(lines->child(1)->role(), QAccessible::ListItem);
    // The reader is told the focus is on the row's own line.
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return !tool.about(lines->child(0), QAccessible::Focus).empty(); },
                        testing::kHangMs));
    EXPECT_EQ(lines->focusChild(), lines->child(0));

    // The program brought the keys: the list looks as it does without them.
    const QImage opened = list->grab().toImage();
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(lines->focusChild(), lines->child(1));
    EXPECT_EQ(tool.about(lines->child(1), QAccessible::Focus).size(), 1u);
    EXPECT_TRUE(lines->child(1)->state().focused);
    EXPECT_TRUE(list->grab().toImage() != opened);
    // Another window comes and goes: the keys come back to their line, ringed.
    const QImage walked = list->grab().toImage();
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    ASSERT_TRUE(virirado::testing::activateSheet(sheet));
    ASSERT_TRUE(QTest::qWaitFor([list] { return list->hasFocus(); }, testing::kHangMs));
    EXPECT_TRUE(list->grab().toImage() == walked);
    QTest::keyClick(list, Qt::Key_End);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(lines->focusChild(), lines->child(3));
    QTest::keyClick(list, Qt::Key_Home);
    EXPECT_EQ(lines->focusChild(), lines->child(0));

    EXPECT_EQ(tabWalk(), (std::vector<std::string>{"checkList", "keepButton", "cleanItButton"}));
    EXPECT_EQ(tabWalk(Qt::Key_Backtab),
              (std::vector<std::string>{"checkList", "cleanItButton", "keepButton"}));
    list->clearFocus();
    EXPECT_TRUE(list->grab().toImage() == opened);
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
    // A reader hears the sheet by its title, the item with its size and fate
    // as one line (a short name alone is not spoken when the sheet opens), and
    // lands on Cancel; Tab walks the two buttons.
    EXPECT_EQ(spoken(QAccessible::queryAccessibleInterface(sheet)),
              "Quick Delete \u00B7 Confirmation 1 of 2");
    QAccessibleInterface* name =
        QAccessible::queryAccessibleInterface(sheet->findChild<QWidget*>("name"));
    EXPECT_EQ(name->role(), QAccessible::StaticText);
    EXPECT_EQ(spoken(name), row->name + ", " + quickDeleteSize(*row) + " \u00B7 " + row->fate());
    QAccessibleInterface* panel =
        QAccessible::queryAccessibleInterface(sheet->findChild<QWidget*>("sizePanel"));
    EXPECT_EQ(spoken(panel), "");
    EXPECT_EQ(panel->childCount(), 0);
    EXPECT_EQ(QApplication::focusWidget(), sheet->findChild<QWidget*>("cancelButton"));
    EXPECT_EQ(tabWalk(), (std::vector<std::string>{"cancelButton", "continueButton"}));

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
        const VadeRow* review = uncheckedReview(h);
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
