#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <filesystem>
#include <fstream>

#include "RecordingFileActions.hpp"
#include "RowActions.hpp"

namespace virirado {
namespace {

using testing::RecordingFileActions;

struct Menu {
    std::unique_ptr<QMenu> menu;
    QAction* at(const QString& text) const {
        for (QAction* a : menu->actions()) {
            if (a->text() == text) return a;
        }
        return nullptr;
    }
    std::vector<bool> enabled() const {
        std::vector<bool> out;
        for (QAction* a : menu->actions()) {
            if (!a->isSeparator()) out.push_back(a->isEnabled());
        }
        return out;
    }
};

Menu build(const RowMenu& item, FileActions& files, std::function<void()> quick = {}) {
    return {RowActions::build(item, files, std::move(quick), nullptr)};
}

TEST(RowActions, EntriesFollowThePathAndName) {
    RecordingFileActions files;
    Menu noPath = build(RowMenu::make(std::nullopt, "Cache", false, false, "/h"), files);
    EXPECT_EQ(noPath.enabled(), (std::vector<bool>{true, false, false, false}));
    noPath.at("Copy")->trigger();
    EXPECT_EQ(files.calls.back(), "copyText Cache");

    Menu blank = build(RowMenu::make(std::string(" \n\t"), "", false, false, "/h"), files);
    EXPECT_EQ(blank.enabled(), (std::vector<bool>{false, false, false, false}));

    Menu tilde =
        build(RowMenu::make(std::string("  ~/Library/x \n"), "X", true, true, "/h"), files, [] {});
    tilde.at("Copy Path")->trigger();
    EXPECT_EQ(files.calls.back(), "copyText /h/Library/x");
    tilde.at("Open in Finder")->trigger();
    EXPECT_EQ(files.calls.back(), "reveal /h/Library/x");
    tilde.at("Quick Look")->trigger();
    EXPECT_EQ(files.calls.back(), "quickLook /h/Library/x");
    tilde.at("Copy")->trigger();
    EXPECT_EQ(files.calls.back(), "copyFile /h/Library/x | X");
}

TEST(RowActions, QuickDeletePartOnlyWhereOffered) {
    RecordingFileActions files;
    int asked = 0;
    Menu none =
        build(RowMenu::make(std::string("/a"), "a", true, false, "/h"), files, [&] { ++asked; });
    EXPECT_EQ(none.at("Quick Delete\u2026"), nullptr);
    EXPECT_EQ(none.menu->actions().size(), 4);

    Menu blocked =
        build(RowMenu::make(std::string("/a"), "a", false, true, "/h"), files, [&] { ++asked; });
    ASSERT_NE(blocked.at("Quick Delete\u2026"), nullptr);
    EXPECT_FALSE(blocked.at("Quick Delete\u2026")->isEnabled());
    blocked.at("Quick Delete\u2026")->trigger();
    EXPECT_EQ(asked, 0);

    Menu open =
        build(RowMenu::make(std::string("/a"), "a", true, true, "/h"), files, [&] { ++asked; });
    EXPECT_TRUE(open.menu->actions()[4]->isSeparator());
    open.at("Quick Delete\u2026")->trigger();
    EXPECT_EQ(asked, 1);
}

// Pixels of an entry drawn in a strong red.
int redPixels(const QImage& image, const QRect& area) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 150 && c.green() < 100 && c.blue() < 100) ++n;
        }
    }
    return n;
}

TEST(RowActions, QuickDeleteIsDrawnInTheDestructiveRedOnlyWhileItWorks) {
    RecordingFileActions files;
    for (const bool canDelete : {true, false}) {
        Menu m = build(RowMenu::make(std::string("/a"), "a", canDelete, true, "/h"), files, [] {});
        m.menu->popup(QPoint(10, 10));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m.menu.get()));
        const QImage image = m.menu->grab().toImage();
        const int quick = redPixels(image, m.menu->actionGeometry(m.at("Quick Delete\u2026")));
        if (canDelete) {
            EXPECT_GT(quick, 10);
        } else {
            EXPECT_EQ(quick, 0);
        }
        // The other entries keep the menu's own text colour.
        for (const char* other : {"Copy", "Copy Path", "Open in Finder", "Quick Look"})
            EXPECT_EQ(redPixels(image, m.menu->actionGeometry(m.at(other))), 0) << other;
        m.menu->hide();
    }
}

TEST(RowActions, DesktopCopyPutsAFileOrText) {
    QTemporaryDir dir;
    const std::string file = (dir.path() + "/kept.bin").toStdString();
    std::ofstream(file) << "x";
    DesktopFileActions desktop;
    QClipboard* clipboard = QGuiApplication::clipboard();

    desktop.copyFile(file, "Kept");
    const QMimeData* data = clipboard->mimeData();
    ASSERT_NE(data, nullptr);
    ASSERT_TRUE(data->hasUrls());
    EXPECT_EQ(data->urls().front().toLocalFile().toStdString(), file);

    std::filesystem::remove(file);
    desktop.copyFile(file, "Kept");
    EXPECT_EQ(clipboard->text(), "Kept");
    desktop.copyFile(file, "");
    EXPECT_EQ(clipboard->text().toStdString(), file);
}

}  // namespace
}  // namespace virirado
