#include <gtest/gtest.h>

#include <QTest>

#include "AccessRecorder.hpp"
#include "BannerBar.hpp"
#include "ClampedLabel.hpp"
#include "WindowHarness.hpp"

namespace virirado {
namespace {

using testing::AccessRecorder;
using testing::WindowHarness;

TEST(BannerBar, DismissHidesItAndANewMessageReplacesItInPlace) {
    WindowHarness h;
    h.show();
    h.loadDemo();
    auto* banner = h.find<BannerBar>("banner");
    ASSERT_NE(banner, nullptr);
    EXPECT_FALSE(banner->isVisible());

    h.engine.setBanner(std::string("Scan cancelled. Nothing was deleted."));
    h.settle();
    ASSERT_TRUE(banner->isVisible());
    EXPECT_EQ(banner->text(), "Scan cancelled. Nothing was deleted.");
    const QRect place = banner->geometry();

    // The latest message wins, in the same place: still one banner.
    h.engine.setBanner(std::string("Refused: the list had Look only items."));
    h.settle();
    EXPECT_EQ(banner->text(), "Refused: the list had Look only items.");
    EXPECT_EQ(banner->geometry().topLeft(), place.topLeft());
    EXPECT_EQ(h.content->findChildren<BannerBar*>().size(), 1);

    h.engine.calls.clear();
    QTest::mouseClick(h.find<QWidget>("bannerDismiss"), Qt::LeftButton);
    h.settle();
    EXPECT_EQ(h.engine.calls, std::vector<std::string>{"banner"});
    EXPECT_FALSE(h.engine.value.banner.has_value());
    EXPECT_FALSE(banner->isVisible());
}

TEST(BannerBar, MessagesArePlainTextInTwoLinesAtMost) {
    WindowHarness h;
    h.show();
    auto* text = h.find<ClampedLabel>("bannerText");
    ASSERT_NE(text, nullptr);

    // An empty message still shows the bar, with only the symbol and "Dismiss".
    h.engine.setBanner(std::string());
    h.settle();
    EXPECT_TRUE(h.find("banner")->isVisible());

    QString longer;
    for (int i = 0; i < 40; ++i)
        longer += QStringLiteral("<b>Couldn't</b> talk to the engine & its helper. ");
    h.engine.setBanner(longer.toStdString());
    // The new height travels up through two layouts, one event-loop turn each.
    for (int i = 0; i < 3; ++i)
        h.settle();
    const QStringList lines = text->lines(text->width());
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith("<b>Couldn't</b>"));
    EXPECT_TRUE(lines[1].endsWith(QChar(0x2026)));
    EXPECT_GE(text->height(), 2 * QFontMetricsF(text->font()).height() - 1);
    // "Dismiss" stays in view at the trailing edge.
    QWidget* dismiss = h.find("bannerDismiss");
    EXPECT_TRUE(dismiss->isVisible());
    EXPECT_EQ(dismiss->mapTo(h.find("banner"), QPoint(dismiss->width(), 0)).x(),
              h.find("banner")->width() - 10);
}

TEST(BannerBar, AnEngineThatDiedShowsItsLastLinesInsideTheBar) {
    WindowHarness h;
    h.show();
    h.loadDemo();
    auto* banner = h.find<BannerBar>("banner");
    auto* text = h.find<ClampedLabel>("bannerText");
    ASSERT_TRUE(banner && text);
    // The standard-error tail of an engine that died, as the client hands it on.
    const std::string tail =
        "warning: the cache file is older than a week\n"
        "warning: retrying the listing of ~/Library\n"
        "error: thread 'walk-3' panicked: out of memory\n";
    h.engine.setBanner(tail);
    for (int i = 0; i < 3; ++i)
        h.settle();
    const QStringList lines = text->lines(text->width());
    ASSERT_EQ(lines.size(), 2);
    // Line breaks start lines; the fatal line is the one kept in view.
    EXPECT_TRUE(lines[0].startsWith(QChar(0x2026) + QStringLiteral("warning: retrying")));
    EXPECT_EQ(lines[1], "error: thread 'walk-3' panicked: out of memory");
    // Both lines lie inside the bar, within its 10-point margins.
    const QRect inBar = text->geometry();
    EXPECT_GE(inBar.top(), 10);
    EXPECT_LE(inBar.bottom(), banner->height() - 10);
    const QFontMetricsF fm(text->font());
    EXPECT_GE(text->height(), static_cast<int>(fm.lineSpacing() + fm.height()));
    // The whole text is the tip.
    EXPECT_TRUE(text->toolTip().contains("older than a week"));
    EXPECT_TRUE(text->toolTip().contains("out of memory"));

    // A message of one short line takes one line again.
    h.engine.setBanner(std::string("Scan cancelled. Nothing was deleted."));
    for (int i = 0; i < 3; ++i)
        h.settle();
    EXPECT_EQ(text->lines(text->width()), QStringList{"Scan cancelled. Nothing was deleted."});
    EXPECT_LT(text->height(), static_cast<int>(fm.lineSpacing() + fm.height()));
}

}  // namespace
}  // namespace virirado

namespace virirado {
namespace {

// A banner shows where no key goes: a reader hears each new message once. A
// refresh that keeps it says nothing again; the same words after the banner
// went are new. A clean's own banner is not said over its sheet's result.
TEST(BannerBar, AReaderIsToldEachNewMessageOnce) {
    if (!AccessRecorder::canListen()) GTEST_SKIP() << "built without Qt's private headers";
    WindowHarness h;
    h.show();
    h.loadDemo();
    AccessRecorder tool;
    const auto told = [&] { return tool.announced(); };
    const std::string cancelled = "Scan cancelled. Nothing was deleted.";
    const std::string refused = "Refused: the list had Look only items.";
    h.engine.setBanner(cancelled);
    h.settle();
    h.engine.announce();
    h.settle();
    h.engine.setBanner(refused);
    h.settle();
    EXPECT_EQ(told(), (std::vector<std::string>{cancelled, refused}));

    h.engine.setBanner(std::nullopt);
    h.settle();
    h.engine.setBanner(refused);
    h.settle();
    EXPECT_EQ(told(), (std::vector<std::string>{cancelled, refused, refused}));

    PreviewPayload p;
    p.token = "t";
    PreviewRow row;
    row.id = row.label = "pip";
    row.realisticSize = 100;
    row.safety = "safe";
    row.action = "rm";
    p.rows = {row};
    durozizo::CleanProgress run(1, 100, false, durozizo::CleanProgress::Clock::now());
    run.finish({{"pip", 100, true, ""}});
    h.engine.value.preview = p;
    h.engine.value.cleanProgress = run;
    h.engine.setBanner(std::string("Deleted 1 items. Log: ~/Library/Logs/Virirado/"));
    h.settle();
    ASSERT_EQ(told().size(), 4u);
    EXPECT_EQ(told().back(), "Done. Freed 100 B \u00B7 1 deleted \u00B7 0 failed");
}

}  // namespace
}  // namespace virirado
