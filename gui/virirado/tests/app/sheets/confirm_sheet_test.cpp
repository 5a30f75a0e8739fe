// The final confirmation over the recording engine: which keys and buttons
// reach confirmClean and dismissPreview, and when none do.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QLineEdit>
#include <QTest>
#include <algorithm>

#include "CapsuleButton.hpp"
#include "ClampedLabel.hpp"
#include "CleanProgressView.hpp"
#include "ConfirmSheet.hpp"
#include "FocusRing.hpp"
#include "LivePill.hpp"
#include "PreviewLine.hpp"
#include "SheetHost.hpp"
#include "SheetKeys.hpp"
#include "SheetTesting.hpp"
#include "WindowHarness.hpp"

namespace virirado {
namespace {

using testing::tabWalk;
using testing::WindowHarness;

PreviewRow row(std::string id, int64_t size, std::string safety = "safe",
               std::string action = "rm") {
    PreviewRow r;
    r.id = id;
    r.label = std::move(id);
    r.path = "/home/tester/.cache/" + r.label;
    r.realisticSize = size;
    r.safety = std::move(safety);
    r.action = std::move(action);
    return r;
}

PreviewPayload small(std::string token = "t1") {
    PreviewPayload p;
    p.token = std::move(token);
    p.rows = {row("pip", 120'000'000), row("npm", 80'000'000, "safe", "trash")};
    return p;
}

// A check-first row: the typed code is asked for.
PreviewPayload guarded(std::string token = "t2") {
    PreviewPayload p = small(std::move(token));
    p.rows.push_back(row("sim", 3'000'000, "review", "trash"));
    return p;
}

QAccessibleInterface* element(QObject* object) {
    return QAccessible::queryAccessibleInterface(object);
}

QString spoken(QObject* object) {
    QAccessibleInterface* e = element(object);
    return e != nullptr ? e->text(QAccessible::Name) : QString();
}

long count(const WindowHarness& h, const std::string& call) {
    return std::count(h.engine.calls.begin(), h.engine.calls.end(), call);
}

struct Sheet {
    WindowHarness& h;
    ConfirmSheet* sheet = nullptr;

    Sheet(WindowHarness& harness, const PreviewPayload& p) : h(harness) {
        h.engine.value.preview = p;
        h.engine.announce();
        h.settle();
        sheet = qobject_cast<ConfirmSheet*>(h.content->sheets().current());
        if (sheet == nullptr) {
            ADD_FAILURE() << "no confirmation sheet";
            return;
        }
        if (!virirado::testing::activateSheet(sheet)) ADD_FAILURE() << "sheet never active";
    }
    QLineEdit* field() const { return sheet->findChild<QLineEdit*>("codeField"); }
    CapsuleButton* primary() const { return sheet->findChild<CapsuleButton*>("primaryButton"); }
    QString text(const char* name) const {
        auto* label = sheet->findChild<ClampedLabel*>(name);
        return label != nullptr ? label->text() : QString();
    }
    // A key as the user presses it: to the sheet's focused field, else the sheet.
    void key(int k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* focus = QApplication::focusWidget();
        QWidget* target = focus != nullptr && sheet->isAncestorOf(focus) ? focus : sheet;
        QTest::keyClick(target, static_cast<Qt::Key>(k), mods);
    }
    void deleteChord() { key(Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier); }
    void run(durozizo::CleanProgress::Phase phase) {
        durozizo::CleanProgress p(3, 300, false, durozizo::CleanProgress::Clock::now());
        if (phase != durozizo::CleanProgress::Phase::checking) p.startDeleting();
        if (phase == durozizo::CleanProgress::Phase::finished) p.finish({{"pip", 100, true, ""}});
        h.engine.value.cleanProgress = p;
        h.engine.announce();
        h.settle();
    }
};

TEST(ConfirmSheet, ReturnNeverDeletesOnlyTheChordWithTheRightCode) {
    WindowHarness h;
    h.show();
    Sheet s(h, guarded());
    ASSERT_NE(s.sheet, nullptr);
    EXPECT_EQ(s.text("title"), "Delete for real");
    ASSERT_NE(s.field(), nullptr);
    ASSERT_TRUE(s.field()->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), s.field());
    EXPECT_TRUE(s.field()->text().isEmpty());
    const QString code = QString::fromStdString(s.sheet->code());
    ASSERT_EQ(code.size(), 2);
    EXPECT_EQ(s.text("codePrompt"), "Type " + code + " to delete");
    EXPECT_FALSE(s.primary()->isEnabled());

    // A wrong code: neither key deletes.
    QTest::keyClicks(s.field(), code == "99" ? "98" : "99");
    s.key(Qt::Key_Return);
    s.deleteChord();
    s.key(Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(count(h, "confirm"), 0);

    // The right code: Return still does nothing, the chord confirms once.
    s.field()->clear();
    QTest::keyClicks(s.field(), " " + code + " ");
    EXPECT_TRUE(s.primary()->isEnabled());
    s.key(Qt::Key_Return);
    s.key(Qt::Key_Enter);
    EXPECT_EQ(count(h, "confirm"), 0);
    s.deleteChord();
    s.deleteChord();  // a second press before the window has caught up
    EXPECT_EQ(count(h, "confirm"), 1);
    EXPECT_EQ(count(h, "dismiss"), 0);

    // Escape from the code field backs out through the window.
    s.key(Qt::Key_Escape);
    EXPECT_EQ(count(h, "dismiss"), 1);
}

// What a reader meets: the sheet named by its title, every text a label, each
// row with its size, where it goes and its badge, the code field named by the
// prompt that holds the code, and the real Delete with the chord it answers.
TEST(ConfirmSheet, ReadsAsWhatItShows) {
    WindowHarness h;
    h.show();
    Sheet s(h, guarded());
    ASSERT_NE(s.sheet, nullptr);
    EXPECT_EQ(element(s.sheet)->role(), QAccessible::Dialog);
    EXPECT_EQ(spoken(s.sheet), "Delete for real");
    for (const char* name : {"title", "headline", "split"}) {
        auto* label = s.sheet->findChild<ClampedLabel*>(name);
        EXPECT_EQ(element(label)->role(), QAccessible::StaticText) << name;
        EXPECT_EQ(spoken(label), label->text()) << name;
    }
    // The pill beside the title says that this build really deletes.
    auto* pill = s.sheet->findChild<LivePill*>();
    ASSERT_TRUE(pill != nullptr && pill->isVisible());
    EXPECT_EQ(element(pill)->role(), QAccessible::StaticText);
    EXPECT_EQ(spoken(pill), "LIVE");
    std::vector<std::string> rows;
    for (PreviewLine* line : s.sheet->findChildren<PreviewLine*>()) {
        if (!line->isVisible()) continue;
        EXPECT_EQ(element(line)->role(), QAccessible::StaticText);
        rows.push_back(spoken(line).toStdString());
    }
    EXPECT_EQ(rows,
              (std::vector<std::string>{"pip, 120 MB, removed for good", "npm, 80.0 MB, to Trash",
                                        "sim, 3.0 MB, to Trash, Check first"}));

    const QString prompt = "Type " + QString::fromStdString(s.sheet->code()) + " to delete";
    EXPECT_EQ(spoken(s.field()), prompt);
    const auto labelled =
        element(s.sheet->findChild<ClampedLabel*>("codePrompt"))->relations(QAccessible::Labelled);
    ASSERT_EQ(labelled.size(), 1);
    EXPECT_EQ(labelled[0].first, element(s.field()));

    QAccessibleActionInterface* press = element(s.primary())->actionInterface();
    ASSERT_NE(press, nullptr);
    EXPECT_EQ(element(s.primary())->role(), QAccessible::Button);
    EXPECT_EQ(spoken(s.primary()), "Delete 203 MB");
    EXPECT_EQ(press->keyBindingsForAction(QAccessibleActionInterface::pressAction()).last(),
              "Ctrl+Shift+D");
    // A tool's press is a click, with its checks: only once the code is typed.
    EXPECT_FALSE(press->actionNames().contains(QAccessibleActionInterface::pressAction()));
    QTest::keyClicks(s.field(), QString::fromStdString(s.sheet->code()));
    ASSERT_TRUE(press->actionNames().contains(QAccessibleActionInterface::pressAction()));
    press->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(count(h, "confirm"), 1);
}

// Tab and Shift+Tab walk the sheet in reading order; Space presses the focused
// button as a click does, so the real Delete still wants the code, and Return
// never deletes.
TEST(ConfirmSheet, TabWalksTheSheetAndSpacePressesAsAClickDoes) {
    WindowHarness h;
    h.show();
    Sheet s(h, guarded());
    ASSERT_NE(s.sheet, nullptr);
    ASSERT_EQ(QApplication::focusWidget(), s.field());
    // The program brought the keys here: no ring shows.
    EXPECT_FALSE(showsFocusRing(s.field()));
    // Without the code the real Delete cannot be reached, nor pressed.
    EXPECT_EQ(tabWalk(), (std::vector<std::string>{"codeField", "cancelButton"}));
    QTest::keyClick(s.primary(), Qt::Key_Space);
    EXPECT_FALSE(s.primary()->isDown());
    EXPECT_EQ(count(h, "confirm"), 0);

    QTest::keyClicks(s.field(), QString::fromStdString(s.sheet->code()));
    EXPECT_EQ(tabWalk(), (std::vector<std::string>{"codeField", "cancelButton", "primaryButton"}));
    EXPECT_EQ(tabWalk(Qt::Key_Backtab),
              (std::vector<std::string>{"codeField", "primaryButton", "cancelButton"}));
    QTest::keyClick(s.field(), Qt::Key_Backtab);
    ASSERT_EQ(QApplication::focusWidget(), s.primary());
    EXPECT_TRUE(showsFocusRing(s.primary()));
    s.key(Qt::Key_Return);
    s.key(Qt::Key_Enter);
    EXPECT_EQ(count(h, "confirm"), 0);
    s.key(Qt::Key_Space);
    EXPECT_EQ(count(h, "confirm"), 1);
    EXPECT_EQ(count(h, "dismiss"), 0);
}

TEST(ConfirmSheet, ASmallCleanNeedsNoCodeButStillNotReturn) {
    WindowHarness h;
    h.show();
    Sheet s(h, small());
    ASSERT_NE(s.sheet, nullptr);
    EXPECT_FALSE(s.sheet->findChild<QWidget*>("codeRow")->isVisible());
    // With no code to type the keys come in on Cancel, the step back.
    EXPECT_EQ(QApplication::focusWidget(), s.sheet->findChild<QWidget*>("cancelButton"));
    EXPECT_TRUE(s.primary()->isEnabled());
    EXPECT_EQ(s.primary()->spokenText(), "Delete 200 MB");
    s.key(Qt::Key_Return);
    EXPECT_EQ(count(h, "confirm"), 0);
    QTest::mouseClick(s.primary(), Qt::LeftButton);
    EXPECT_EQ(count(h, "confirm"), 1);
}

TEST(ConfirmSheet, QuickDeleteAlwaysAsksForTheCode) {
    WindowHarness h;
    h.show();
    PreviewPayload quick = small();
    quick.quickDelete = true;
    Sheet s(h, quick);
    ASSERT_NE(s.sheet, nullptr);
    // The engine client's mode moved on (a later "Clean the tank"): the sheet
    // follows its own preview, not the client's last request.
    h.engine.value.quickDeleteMode = false;
    h.engine.announce();
    h.settle();
    EXPECT_EQ(s.text("title"), "Quick Delete \u00B7 Final confirmation (2 of 2)");
    EXPECT_TRUE(s.field()->isVisible());
    s.deleteChord();
    QTest::mouseClick(s.primary(), Qt::LeftButton);
    EXPECT_EQ(count(h, "confirm"), 0);
    QTest::keyClicks(s.field(), QString::fromStdString(s.sheet->code()));
    s.deleteChord();
    EXPECT_EQ(count(h, "confirm"), 1);
}

TEST(ConfirmSheet, ATankPreviewNeverTakesTheQuickDeleteTitle) {
    WindowHarness h;
    h.show();
    h.engine.value.quickDeleteMode = true;
    Sheet s(h, small());
    ASSERT_NE(s.sheet, nullptr);
    EXPECT_EQ(s.text("title"), "Delete for real");
    EXPECT_FALSE(s.field()->isVisible());
}

TEST(ConfirmSheet, NothingWhileTheRecheckRuns) {
    WindowHarness h;
    h.show();
    Sheet s(h, small());
    ASSERT_NE(s.sheet, nullptr);
    h.engine.value.verifying = true;
    h.engine.announce();
    h.settle();
    EXPECT_EQ(s.primary()->spokenText(), "Checking\u2026");
    EXPECT_FALSE(s.primary()->isEnabled());
    s.deleteChord();
    s.key(Qt::Key_Escape);
    EXPECT_EQ(count(h, "confirm"), 0);
    EXPECT_EQ(count(h, "dismiss"), 0);
}

TEST(ConfirmSheet, EscapeDismissesExceptWhileACleanRuns) {
    WindowHarness h;
    h.show();
    Sheet s(h, small());
    ASSERT_NE(s.sheet, nullptr);
    s.key(Qt::Key_Escape);
    EXPECT_EQ(count(h, "dismiss"), 1);

    for (auto phase :
         {durozizo::CleanProgress::Phase::checking, durozizo::CleanProgress::Phase::deleting}) {
        s.run(phase);
        EXPECT_TRUE(s.sheet->progressView()->isVisible());
        EXPECT_FALSE(s.sheet->findChild<QWidget*>("confirmPage")->isVisible());
        s.key(Qt::Key_Escape);
        s.key(Qt::Key_Return);
        s.deleteChord();
        h.settle();
        EXPECT_EQ(count(h, "dismiss"), 1);
        EXPECT_EQ(count(h, "confirm"), 0);
        EXPECT_TRUE(s.sheet->isVisible());
    }

    // Once finished, Done answers Return, and Escape closes as well.
    s.run(durozizo::CleanProgress::Phase::finished);
    s.key(Qt::Key_Return);
    EXPECT_EQ(count(h, "dismiss"), 2);
    s.key(Qt::Key_Escape);
    EXPECT_EQ(count(h, "dismiss"), 3);
    EXPECT_EQ(count(h, "confirm"), 0);
}

TEST(ConfirmSheet, ANewPreviewIsANewSheetWithAnEmptyField) {
    WindowHarness h;
    h.show();
    Sheet first(h, guarded("a"));
    ASSERT_NE(first.sheet, nullptr);
    QTest::keyClicks(first.field(), QString::fromStdString(first.sheet->code()));
    QPointer<ConfirmSheet> old = first.sheet;

    Sheet second(h, guarded("b"));
    ASSERT_NE(second.sheet, nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(old.isNull());
    EXPECT_TRUE(second.field()->text().isEmpty());
    EXPECT_FALSE(second.primary()->isEnabled());
    second.deleteChord();
    EXPECT_EQ(count(h, "confirm"), 0);
}

TEST(ConfirmSheet, DryRunAnswersReturnAndNeverTheChord) {
    WindowHarness h([](WindowServices& s) { s.snapshotPrefix = "/nonexistent/shot"; });
    h.show();
    Sheet s(h, guarded());
    ASSERT_NE(s.sheet, nullptr);
    EXPECT_EQ(s.text("title"), "Dry run");
    EXPECT_FALSE(s.sheet->findChild<QWidget*>("codeRow")->isVisible());
    QWidget* page = s.sheet->findChild<QWidget*>("confirmPage");
    EXPECT_FALSE(page->findChild<QWidget*>("livePill")->isVisible());
    EXPECT_EQ(s.sheet->code(), "42");
    EXPECT_EQ(s.primary()->spokenText(), "Run the dry run");
    EXPECT_EQ(element(s.primary())
                  ->actionInterface()
                  ->keyBindingsForAction(QAccessibleActionInterface::pressAction())
                  .last(),
              "Return");
    s.deleteChord();
    EXPECT_EQ(count(h, "confirm"), 0);
    s.key(Qt::Key_Return);
    EXPECT_EQ(count(h, "confirm"), 1);
}

TEST(ConfirmSheet, NoDeletableRowsCannotBeConfirmed) {
    WindowHarness h([](WindowServices& s) { s.snapshotPrefix = "/nonexistent/shot"; });
    h.show();
    PreviewPayload p;
    p.token = "t";
    p.rows = {row("info", 100, "info")};
    Sheet s(h, p);
    ASSERT_NE(s.sheet, nullptr);
    EXPECT_FALSE(s.primary()->isEnabled());
    s.key(Qt::Key_Return);
    QTest::mouseClick(s.primary(), Qt::LeftButton);
    EXPECT_EQ(count(h, "confirm"), 0);
}

TEST(ConfirmSheet, PanelLinesAndTheirColours) {
    WindowHarness h;
    h.show();
    PreviewPayload p = small();
    for (int i = 0; i < 5; ++i)
        p.rows.push_back(row("r" + std::to_string(i), 1000 + i));
    p.blockedCount = 2;
    Sheet s(h, p);
    ASSERT_NE(s.sheet, nullptr);
    EXPECT_EQ(s.text("headline"), "7 items \u00B7 200 MB");
    EXPECT_EQ(s.text("split"), "1 to Trash \u00B7 6 removed for good");
    EXPECT_EQ(s.text("more"), "+ 2 more");
    EXPECT_EQ(s.text("heldBack"), "2 held back by guards");
    EXPECT_EQ(s.sheet->width(), 460);
    EXPECT_GE(s.sheet->height(), 300);

    const QImage light = s.sheet->grab().toImage();
    EXPECT_EQ(light.pixelColor(3, 3).name(), "#ffffff");
    QWidget* button = s.primary();
    const QPoint inside = button->mapTo(s.sheet, QPoint(6, button->height() / 2));
    EXPECT_EQ(light.pixelColor(inside).name(), LivePill::red().name());

    h.content->setDark(true);
    h.settle();
    const QImage dark = s.sheet->grab().toImage();
    EXPECT_EQ(dark.pixelColor(3, 3).name(), "#12304b");
}

// The real sheet with the code asked for: Delete stands at 0.4 until the code
// is typed, then at full strength.
TEST(ConfirmSheet, RealSheetInBothSchemes) {
    testing::useAppFonts();
    for (bool dark : {false, true}) {
        WindowHarness h([dark](WindowServices& s) { s.dark = dark; });
        h.show();
        PreviewPayload p = guarded();
        for (int i = 0; i < 4; ++i)
            p.rows.push_back(
                row("Xcode_15." + std::to_string(i) + ".xip", 900'000'000 + i, "safe", "trash"));
        p.rows[0].label = "A & B <b>not bold</b> with a very long name that does not fit";
        p.blockedCount = 1;
        Sheet s(h, p);
        ASSERT_NE(s.sheet, nullptr);
        EXPECT_EQ(s.text("title"), "Delete for real");
        EXPECT_TRUE(s.sheet->findChild<QWidget*>("confirmPage")
                        ->findChild<QWidget*>("livePill")
                        ->isVisible());
        QWidget* button = s.primary();
        auto probe = [&] {
            const QImage picture = s.sheet->grab().toImage();
            return picture.pixelColor(button->mapTo(s.sheet, QPoint(6, button->height() / 2)));
        };
        const QColor faint = probe();
        const QColor red = LivePill::red();
        EXPECT_NEAR(faint.redF(),
                    0.4 * red.redF() + 0.6 * s.sheet->palette().window().color().redF(), 0.02);
        testing::savePicture(s.sheet, "confirm-real", dark);
        QTest::keyClicks(s.field(), QString::fromStdString(s.sheet->code()));
        EXPECT_EQ(probe().name(), red.name());
    }
}

}  // namespace
}  // namespace virirado
