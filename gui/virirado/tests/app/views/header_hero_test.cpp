#include <gtest/gtest.h>

#include <QAccessible>
#include <QTest>
#include <QTextDocument>

#include "AccessRecorder.hpp"
#include "ClampedLabel.hpp"
#include "HeroFigures.hpp"
#include "PlainText.hpp"
#include "WindowHarness.hpp"

namespace virirado {
namespace {

using testing::WindowHarness;

TEST(HeaderAndHero, BeforeTheVolumeIsKnown) {
    WindowHarness h;
    h.show();
    auto* volume = h.find<ClampedLabel>("volumeLine");
    auto* hero = h.find<HeroFigures>("hero");
    ASSERT_TRUE(volume && hero);
    EXPECT_EQ(volume->text(), "Read-only");
    EXPECT_EQ(hero->figure(), "0 B");
    EXPECT_EQ(hero->freeNow(), QString::fromUtf8("\u2014"));
    EXPECT_EQ(hero->after(), QString::fromUtf8("\u2014"));

    // Free space alone is not enough: the dash stays until the total arrives.
    h.engine.value.scanning = true;
    h.engine.value.freeBytes = 240'400'000'000;
    h.engine.announce();
    h.settle();
    EXPECT_EQ(volume->text(), QString::fromUtf8("Scanning\u2026"));
    EXPECT_EQ(hero->freeNow(), QString::fromUtf8("\u2014"));

    h.engine.value.totalBytes = 506'300'000'000;
    h.engine.value.volumeName = "Data";
    h.engine.announce();
    h.settle();
    EXPECT_EQ(volume->text(), QString::fromUtf8("Data \u00B7 0 things"));
    EXPECT_EQ(hero->freeNow(), "240.4 GB");
    EXPECT_EQ(hero->after(), "240.4 GB");
}

TEST(HeaderAndHero, DemoFigures) {
    WindowHarness h;
    h.show();
    h.loadDemo();
    EXPECT_EQ(h.find<ClampedLabel>("volumeLine")->text(),
              QString::fromUtf8("Macintosh HD \u00B7 27 things"));
    auto* hero = h.find<HeroFigures>("hero");
    EXPECT_EQ(hero->figure(), "50.8 GB");
    EXPECT_EQ(hero->freeNow(), "240.4 GB");
    EXPECT_EQ(hero->after(), "291.2 GB");
    EXPECT_EQ(hero->accessibleName(), "50.8 GB comes back");

    // The count covers every row, whatever the query.
    h.content->model().setQuery("zzzz-no-such-thing");
    h.settle();
    EXPECT_EQ(h.find<ClampedLabel>("volumeLine")->text(),
              QString::fromUtf8("Macintosh HD \u00B7 27 things"));
    EXPECT_EQ(hero->figure(), "50.8 GB");

    // The orange bar under the figure, in both schemes.
    const QRectF bar = hero->barRect();
    const QPoint probe(static_cast<int>(bar.center().x()), static_cast<int>(bar.bottom() - 2));
    EXPECT_GT(bar.width(), 100);
    EXPECT_EQ(hero->grab().toImage().pixelColor(probe), QColor("#FF7A2F"));
}

TEST(HeaderAndHero, EachStatIsOneElementReadingTitleAndValue) {
    WindowHarness h;
    h.show();
    auto* hero = h.find<HeroFigures>("hero");
    QAccessibleInterface* access = QAccessible::queryAccessibleInterface(hero);
    ASSERT_EQ(access->childCount(), 2);
    QAccessibleInterface* freeNow = access->child(0);
    QAccessibleInterface* after = access->child(1);
    EXPECT_EQ(freeNow->text(QAccessible::Name), QString::fromUtf8("Free now, \u2014"));
    EXPECT_EQ(after->text(QAccessible::Name), QString::fromUtf8("After, \u2014"));

    h.loadDemo();
    EXPECT_EQ(freeNow->text(QAccessible::Name), "Free now, 240.4 GB");
    EXPECT_EQ(after->text(QAccessible::Name), "After, 291.2 GB");
    EXPECT_EQ(access->text(QAccessible::Name), "50.8 GB comes back");
    // Each is text, where its figures are painted, side by side at the row's end.
    const QRect row(hero->mapToGlobal(QPoint()), hero->size());
    for (QAccessibleInterface* stat : {freeNow, after}) {
        EXPECT_EQ(stat->role(), QAccessible::StaticText);
        const QRect r = stat->rect();
        EXPECT_TRUE(row.contains(r)) << stat->text(QAccessible::Name).toStdString();
        EXPECT_EQ(access->childAt(r.center().x(), r.center().y()), stat);
    }
    EXPECT_LT(freeNow->rect().right(), after->rect().left());
    EXPECT_GT(freeNow->rect().left(), row.center().x());

    // A tick moves "After" alone, and a tool that listens is told.
    if (!testing::AccessRecorder::canListen()) GTEST_SKIP() << "built without Qt's private headers";
    testing::AccessRecorder events;
    h.engine.tick({"npm"});
    h.settle();
    ASSERT_EQ(after->text(QAccessible::Name), "After, " + hero->after());
    EXPECT_NE(hero->after(), "291.2 GB");
    const auto renamed = events.about(after, QAccessible::NameChanged);
    ASSERT_EQ(renamed.size(), 1u);
    EXPECT_EQ(renamed[0].name, "After, " + hero->after());
    EXPECT_TRUE(events.about(freeNow, QAccessible::NameChanged).empty());
}

TEST(HeaderAndHero, ALongVolumeNameIsCutNeverTheTitle) {
    WindowHarness h;
    h.show();
    h.loadDemo();
    h.engine.value.volumeName = std::string(40, 'W') + " external archive volume " +
                                std::string(40, 'W') + " with a very long name indeed";
    h.engine.announce();
    h.settle();
    QWidget* title = h.find("title");
    auto* volume = h.find<ClampedLabel>("volumeLine");
    QWidget* search = h.find("searchBar");
    ASSERT_TRUE(title && volume && search);
    // The title keeps its whole width; the volume line is cut to the room left.
    EXPECT_GE(title->width(), title->sizeHint().width());
    EXPECT_LT(volume->width(), volume->sizeHint().width());
    EXPECT_TRUE(volume->lines(volume->width()).at(0).endsWith(QChar(0x2026)));
    EXPECT_LE(volume->geometry().right(), search->geometry().left());
    EXPECT_LE(title->geometry().right(), volume->geometry().left());
}

TEST(HeaderAndHero, GlowUnderTheBarInTheDarkOnly) {
    WindowHarness h;
    h.show();
    h.loadDemo();
    auto* hero = h.find<HeroFigures>("hero");
    // Just left of the bar, in the window's margin: plain background in the
    // light, an orange glow in the dark.
    const QRectF bar = hero->barRect();
    const QPoint outside = hero->mapTo(h.content, QPoint(-2, static_cast<int>(bar.center().y())));
    EXPECT_EQ(h.content->grab().toImage().pixelColor(outside), QColor("#FFFFFF"));
    h.content->setDark(true);
    const QColor glow = h.content->grab().toImage().pixelColor(outside);
    EXPECT_GT(glow.red(), QColor("#07192B").red() + 15);
    h.content->setDark(false);
}

TEST(HeaderAndHero, LivePillAndLimitedCapsule) {
    WindowHarness h;
    h.show();
    QWidget* pill = h.find("livePill");
    ASSERT_NE(pill, nullptr);
    EXPECT_TRUE(pill->isVisible());
    QWidget* limited = h.find("limitedCapsule");
    ASSERT_NE(limited, nullptr);
    EXPECT_FALSE(limited->isVisible());

    h.engine.value.accessNote = "Full Disk Access is off <b>for</b> Mail & Safari.";
    h.engine.announce();
    h.settle();
    EXPECT_TRUE(limited->isVisible());
    // The note as it is, never read as markup.
    EXPECT_FALSE(Qt::mightBeRichText(limited->toolTip()));
    EXPECT_EQ(QString(limited->toolTip()).remove(QChar(kWordJoiner)),
              "Full Disk Access is off <b>for</b> Mail & Safari.");

    h.engine.value.accessNote.reset();
    h.engine.announce();
    h.settle();
    EXPECT_FALSE(limited->isVisible());

    // Snapshot pictures never carry the pill (the window is not shown here: its
    // snapshot run is not the point).
    WindowHarness snapshot([](WindowServices& s) { s.snapshotPrefix = "/tmp/none"; });
    EXPECT_TRUE(snapshot.find("livePill")->isHidden());
    EXPECT_FALSE(h.find("livePill")->isHidden());
}

}  // namespace
}  // namespace virirado
