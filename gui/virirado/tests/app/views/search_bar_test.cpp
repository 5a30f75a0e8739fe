#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QLineEdit>
#include <QTest>
#include <cmath>

#include "ChromeFigures.hpp"
#include "ClampedLabel.hpp"
#include "SearchBar.hpp"
#include "WindowHarness.hpp"

namespace virirado {
namespace {

using testing::WindowHarness;

struct Search {
    WindowHarness h;
    QLineEdit* field = nullptr;
    ClampedLabel* count = nullptr;
    QAbstractButton* clear = nullptr;

    Search() {
        h.show();
        h.loadDemo();
        field = h.find<QLineEdit>("searchField");
        count = h.find<ClampedLabel>("searchCount");
        clear = h.find<QAbstractButton>("searchClear");
    }
    void type(const char* text) {
        field->setFocus(Qt::MouseFocusReason);
        QTest::keyClicks(field, QString::fromUtf8(text));
        h.settle();
    }
};

TEST(SearchBar, TypingFiltersAndShowsTheCountAndClearButton) {
    Search s;
    ASSERT_NE(s.field, nullptr);
    ASSERT_NE(s.count, nullptr);
    ASSERT_NE(s.clear, nullptr);
    EXPECT_FALSE(s.count->isVisible());
    EXPECT_FALSE(s.clear->isVisible());
    EXPECT_GT(s.field->width(), 100);

    s.type("xcode");
    WindowModel& model = s.h.content->model();
    EXPECT_EQ(model.query(), "xcode");
    const RowRefs visible = model.visibleRows();
    EXPECT_LT(visible.size(), model.rows()->rows.size());
    ASSERT_FALSE(visible.empty());
    EXPECT_TRUE(s.count->isVisible());
    EXPECT_TRUE(s.clear->isVisible());
    EXPECT_EQ(s.count->text().toStdString(), searchCountText(visible));
    EXPECT_TRUE(s.count->text().startsWith(QString::number(visible.size()) + " \u00B7 "));

    // Spaces alone are a query too; a query that matches nothing counts 0 and 0 B.
    s.field->clear();
    s.type("   ");
    EXPECT_TRUE(s.count->isVisible());
    s.field->clear();
    s.type("zzzz-no-such-thing");
    EXPECT_EQ(s.count->text(), QString::fromUtf8("0 \u00B7 0 B"));
}

TEST(SearchBar, EscapeClearsAndDropsFocusAlsoWhenEmpty) {
    Search s;
    s.type("cache");
    ASSERT_TRUE(s.field->hasFocus());
    ASSERT_TRUE(s.h.content->model().searchFocused());
    QTest::keyClick(s.field, Qt::Key_Escape);
    s.h.settle();
    EXPECT_EQ(s.field->text(), "");
    EXPECT_EQ(s.h.content->model().query(), "");
    EXPECT_FALSE(s.field->hasFocus());
    EXPECT_FALSE(s.h.content->model().searchFocused());
    EXPECT_FALSE(s.count->isVisible());

    // Nothing typed: Escape still gives the focus up.
    s.field->setFocus(Qt::MouseFocusReason);
    s.h.settle();
    ASSERT_TRUE(s.h.content->model().searchFocused());
    QTest::keyClick(s.field, Qt::Key_Escape);
    s.h.settle();
    EXPECT_FALSE(s.field->hasFocus());
    EXPECT_FALSE(s.h.content->model().searchFocused());
}

TEST(SearchBar, ClearButtonEmptiesTheQueryAndKeepsTheFocus) {
    Search s;
    s.type("sim");
    ASSERT_TRUE(s.clear->isVisible());
    QTest::mouseClick(s.clear, Qt::LeftButton);
    s.h.settle();
    EXPECT_EQ(s.h.content->model().query(), "");
    EXPECT_EQ(s.field->text(), "");
    EXPECT_TRUE(s.field->hasFocus());
    EXPECT_TRUE(s.h.content->model().searchFocused());
    EXPECT_FALSE(s.clear->isVisible());
    // The field takes the next query at once.
    QTest::keyClicks(s.field, "npm");
    s.h.settle();
    EXPECT_EQ(s.h.content->model().query(), "npm");
}

TEST(SearchBar, BorderFollowsTheFocus) {
    Search s;
    QWidget* bar = s.h.find("searchBar");
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->width(), 248);
    auto edge = [&] { return bar->grab().toImage().pixelColor(bar->width() / 2, 0); };
    s.field->clearFocus();
    s.h.settle();
    EXPECT_NE(edge(), QColor("#19B5C9"));
    s.field->setFocus(Qt::MouseFocusReason);
    s.h.settle();
    EXPECT_EQ(edge(), QColor("#19B5C9"));
    s.h.content->setDark(true);
    EXPECT_EQ(edge(), QColor("#19B5C9"));
    s.h.content->setDark(false);
}

TEST(SearchBar, OneTextLineInItsMarginsSetsTheHeaderHeight) {
    Search s;
    s.type("cache");
    QWidget* bar = s.h.find("searchBar");
    ASSERT_NE(bar, nullptr);
    // The field is its line of text, not the style's taller box; the bar adds
    // 6 points above and below, and the header row is as tall as the bar.
    const int line = static_cast<int>(std::ceil(QFontMetricsF(s.field->font()).height()));
    EXPECT_LE(s.field->height(), line + 2);
    EXPECT_EQ(bar->height(), s.field->height() + 12);
    EXPECT_EQ(s.h.find("header")->height(), bar->height());
}

}  // namespace
}  // namespace virirado
