#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <algorithm>

#include "CapsuleButton.hpp"
#include "ClampedLabel.hpp"
#include "DetailsCards.hpp"
#include "DetailsPane.hpp"
#include "MenuAnswer.hpp"
#include "Settled.hpp"
#include "WindowHarness.hpp"

namespace virirado {
namespace {

using testing::WindowHarness;

struct DetailsHarness : WindowHarness {
    DetailsPane* pane = nullptr;
    DetailsHarness() {
        show();
        pane = find<DetailsPane>("details");
    }
    WindowModel& model() { return content->model(); }
    QString text(const char* name) const {
        auto* label = pane->findChild<ClampedLabel*>(QString::fromLatin1(name));
        return label != nullptr ? label->text() : QStringLiteral("<none>");
    }
    CapsuleButton* button(const char* name) const {
        return pane->findChild<CapsuleButton*>(QString::fromLatin1(name));
    }
};

TEST(DetailsPane, PicksARowThenExplainsTheSelectedOne) {
    DetailsHarness h;
    ASSERT_NE(h.pane, nullptr);
    EXPECT_EQ(h.pane->width(), 350);
    EXPECT_EQ(h.text("pickRow"), "Pick a row.");

    // A new result selects its first row: DerivedData.
    h.loadDemo();
    ASSERT_EQ(h.model().selection(), "derived");
    EXPECT_EQ(h.text("detailsTitle"), "DerivedData");
    EXPECT_EQ(h.text("detailsSize"), "18.3 GB");
    EXPECT_EQ(h.text("safetySentence"), "Safe \u00B7 removed \u00B7 rebuildable");
    const auto* path = h.pane->findChild<QPlainTextEdit*>("detailsPath");
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path->toPlainText(), "~/Library/Developer/Xcode/DerivedData");
    EXPECT_TRUE(path->textInteractionFlags() & Qt::TextSelectableByMouse);
    EXPECT_TRUE(path->isReadOnly());
    ASSERT_NE(h.pane->findChild<QWidget*>("explanation"), nullptr);
    EXPECT_TRUE(h.pane->findChild<QWidget*>("explanation")->toolTip().contains("Xcode recreates"));
    const RowCard& card = *h.pane->content().row;
    EXPECT_EQ(card.details.front(), (DetailLine{"Listed", "21.0 GB"}));
    EXPECT_EQ(h.button("tickToggle")->spokenText(), "Cleaning");

    // A group, then the two pieces of the disk.
    h.model().select("group:caches");
    h.settle();
    EXPECT_EQ(h.text("detailsTitle"), "Caches");
    EXPECT_EQ(h.text("tickedSummary"), "2 of 3 ticked \u00B7 4.8 GB");
    EXPECT_EQ(h.pane->findChildren<ClampedLabel*>("groupRow").size(), 3);
    EXPECT_EQ(h.button("tickToggle"), nullptr);
    h.model().setSelection("fresh");
    h.settle();
    EXPECT_EQ(h.text("detailsSize"), "240.4 GB");
    h.model().setSelection("other");
    h.settle();
    EXPECT_EQ(h.text("detailsSize"), "153.6 GB");
}

TEST(DetailsPane, RevealAndQuickLookUseTheCleanedPath) {
    DetailsHarness h;
    h.loadDemo();
    // Stored as "~/…": acted on in the home, as the row menu would.
    QTest::mouseClick(h.button("reveal"), Qt::LeftButton);
    QTest::mouseClick(h.button("quickLook"), Qt::LeftButton);
    ASSERT_EQ(h.files.calls.size(), 2u);
    EXPECT_EQ(h.files.calls[0], "reveal /home/tester/Library/Developer/Xcode/DerivedData");
    EXPECT_EQ(h.files.calls[1], "quickLook /home/tester/Library/Developer/Xcode/DerivedData");

    // A path of blanks only: shown, but nothing to act on.
    std::vector<ItemRecord> records = SnapshotDemo::records(h.clock.now());
    records.resize(1);
    records[0].path = "   ";
    h.engine.load(records, 1, 2);
    h.model().select(records[0].id);
    h.settle();
    ASSERT_NE(h.button("reveal"), nullptr);
    EXPECT_FALSE(h.button("reveal")->isEnabled());
    QTest::mouseClick(h.button("reveal"), Qt::LeftButton);
    EXPECT_EQ(h.files.calls.size(), 2u);
}

TEST(DetailsPane, TheToggleTicksThroughTheWindow) {
    DetailsHarness h;
    h.loadDemo();
    QTest::mouseClick(h.button("tickToggle"), Qt::LeftButton);
    h.settle();
    EXPECT_EQ(h.engine.calls.back(), "untick derived");
    EXPECT_EQ(h.button("tickToggle")->spokenText(), "Keep");

    // A review row asks first instead of ticking.
    h.model().select("sim2");
    h.settle();
    QTest::mouseClick(h.button("tickToggle"), Qt::LeftButton);
    h.settle();
    ASSERT_TRUE(h.model().checkFirst().has_value());
    EXPECT_EQ(h.model().checkFirst()->id, "sim2");

    // A row that may not go now: "Look only", disabled.
    h.model().keepCheckFirst();
    h.model().select("docker");
    h.settle();
    EXPECT_EQ(h.button("tickToggle")->spokenText(), "Look only");
    EXPECT_FALSE(h.button("tickToggle")->isEnabled());
}

TEST(DetailsPane, KeepsItsPlaceWhileTheSameRowIsShown) {
    DetailsHarness h;
    // The first row, DerivedData, holds ten members: its tick button lies below
    // the fold.
    std::vector<ItemRecord> records = SnapshotDemo::records(h.clock.now());
    auto derived = std::find_if(records.begin(), records.end(),
                                [](const ItemRecord& r) { return r.id == "derived"; });
    ASSERT_NE(derived, records.end());
    for (int i = 0; i < 10; ++i) {
        ItemRecord m;
        m.id = "derived/m" + std::to_string(i);
        m.label = "Member " + std::to_string(i);
        m.size = 1'000'000'000 - i;
        m.path = "/home/tester/Library/Developer/Member " + std::to_string(i);
        derived->members.push_back(m);
    }
    h.engine.load(records, 240'400'000'000, 506'300'000'000);
    h.settle();
    ASSERT_EQ(h.model().selection(), "derived");
    QScrollBar* bar = h.pane->findChild<QScrollArea*>("detailsScroll")->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    bar->setValue(bar->maximum());
    const int bottom = bar->value();
    CapsuleButton* toggle = h.button("tickToggle");
    ASSERT_NE(toggle, nullptr);
    ASSERT_TRUE(toggle->visibleRegion().boundingRect().contains(toggle->rect().center()));

    // The click changes the card's texts; the pane stays where it was.
    const int builds = h.pane->builds();
    QTest::mouseClick(toggle, Qt::LeftButton);
    h.settle();
    EXPECT_EQ(h.pane->builds(), builds + 1);
    EXPECT_EQ(bar->value(), bottom);
    EXPECT_TRUE(h.button("tickToggle")
                    ->visibleRegion()
                    .boundingRect()
                    .contains(h.button("tickToggle")->rect().center()));
    // A new scheme is the same row too.
    h.content->setDark(true);
    EXPECT_EQ(bar->value(), bottom);
    h.content->setDark(false);

    // Another row starts at its top.
    h.model().select("sim2");
    h.settle();
    EXPECT_EQ(bar->value(), 0);
}

TEST(DetailsPane, RebuildsOnlyWhenWhatItSaysChanges) {
    DetailsHarness h;
    h.loadDemo();
    const int builds = h.pane->builds();
    // Changes elsewhere in the window leave the card alone.
    h.model().setMapExpanded(true);
    h.model().setQuery("derived");
    h.settle();
    h.content->refreshNow();
    EXPECT_EQ(h.pane->builds(), builds);
    // A tick changes what the card says; the scheme changes its colours.
    h.engine.untick({"derived"});
    h.settle();
    EXPECT_EQ(h.pane->builds(), builds + 1);
    h.content->setDark(true);
    EXPECT_EQ(h.pane->builds(), builds + 2);
    h.content->setDark(false);
}

// A member's menu belongs to its line, which goes with the card: a card built
// anew while the menu is open (the desktop turning dark, a scan's figures)
// takes the menu along, and the menu's own end must not delete it again.
TEST(DetailsPane, AMemberMenuGoesWithACardBuiltAnewUnderIt) {
    DetailsHarness h;
    std::vector<ItemRecord> records = SnapshotDemo::records(h.clock.now());
    for (ItemRecord& r : records) {
        if (r.id != "derived") continue;
        ItemRecord m;
        m.id = "derived/m";
        m.label = "Member";
        m.size = 1'000'000;
        m.path = "/home/tester/Library/Developer/Member";
        r.members.push_back(m);
    }
    h.engine.load(records, 240'400'000'000, 506'300'000'000);
    h.settle();
    ASSERT_EQ(h.model().selection(), "derived");
    const auto openMenu = [&h] {
        QWidget* member = h.pane->findChild<QWidget*>("member");
        ASSERT_NE(member, nullptr);
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(4, 4),
                                member->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(member, &click);
    };
    const int builds = h.pane->builds();
    bool rebuiltUnderIt = false;
    // On the menu loop's second turn, once it shows.
    QTimer::singleShot(0, h.pane, [&] {
        QTimer::singleShot(0, h.pane, [&] {
            if (qobject_cast<QMenu*>(QApplication::activePopupWidget()) == nullptr) return;
            h.content->setDark(true);
            rebuiltUnderIt = true;
        });
    });
    // Only against a hang: the menu goes with its card.
    QTimer::singleShot(testing::kHangMs, h.pane, [] {
        if (QWidget* menu = QApplication::activePopupWidget()) menu->close();
    });
    openMenu();
    ASSERT_TRUE(rebuiltUnderIt);
    EXPECT_EQ(h.pane->builds(), builds + 1);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);

    // The new card's member has a menu of its own that works.
    testing::MenuAnswer answer;
    answer.arm("Copy Path");
    openMenu();
    ASSERT_TRUE(answer.shown);
    EXPECT_EQ(h.files.calls,
              std::vector<std::string>{"copyText /home/tester/Library/Developer/Member"});
    h.content->setDark(false);
}

TEST(DetailsPane, CardAndStripeColours) {
    for (bool dark : {false, true}) {
        DetailsHarness h;
        h.content->setDark(dark);
        h.settle();
        const QImage image = h.pane->grab().toImage();
        const int mid = h.pane->width() / 2;
        EXPECT_EQ(image.pixelColor(mid, 2), QColor("#19B5C9"));
        EXPECT_EQ(image.pixelColor(6, h.pane->height() - 40), QColor(dark ? "#0D2238" : "#FFFFFF"));
        EXPECT_EQ(image.pixelColor(0, h.pane->height() / 2), QColor(dark ? "#1E3B58" : "#E3E9EF"));
        h.content->setDark(false);
    }
}

}  // namespace
}  // namespace virirado
