#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QFontDatabase>
#include <QMenuBar>
#include <QScreen>
#include <utility>

#include "ContentView.hpp"
#include "DesktopHabits.hpp"
#include "Fonts.hpp"
#include "Theme.hpp"
#include "ViriradoApp.hpp"

namespace {

// The fonts the build tree's resource folder holds, when they were fetched.
QString fontFolder() {
    return QStringLiteral(VIRIRADO_TEST_RESOURCE_DIR);
}

}  // namespace

TEST(AppWindow, TitleSizesAndContent) {
    const virirado::ViriradoApp app;
    auto window = app.makeWindow();
    window->show();
    QCoreApplication::processEvents();

    // 1280 by 840 and at least 1100 by 720, as far as the screen has room for
    // them and a frame: the test screen is smaller than that.
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const virirado::FirstWindow fit = virirado::firstWindowSize(
        {area.width(), area.height()}, virirado::kFrameAllowance, {1280, 840}, {1100, 720});
    EXPECT_EQ(window->windowTitle(), "Virirado UI");
    EXPECT_EQ(window->size(), QSize(fit.size.width, fit.size.height));
    EXPECT_LE(window->width() + virirado::kFrameAllowance.width, area.width());
    EXPECT_LE(window->height() + virirado::kFrameAllowance.height, area.height());
    auto* content = qobject_cast<virirado::ContentView*>(window->centralWidget());
    ASSERT_NE(content, nullptr);
    EXPECT_EQ(content->font().pixelSize(), 13);
    EXPECT_EQ(content->font().weight(), QFont::Normal);

    window->resize(600, 400);
    QCoreApplication::processEvents();
    EXPECT_GE(window->width(), fit.minimum.width);
    EXPECT_GE(window->height(), fit.minimum.height);
    EXPECT_EQ(window->minimumSize(), QSize(fit.minimum.width, fit.minimum.height));

    // No menu means no command that opens a second window.
    EXPECT_TRUE(window->findChildren<QMenuBar*>().isEmpty());

    window->resize(1280, 840);
    QCoreApplication::processEvents();
    EXPECT_TRUE(window->grab().save("/tmp/virirado-window.png", "PNG"));
}

TEST(AppFonts, ShippedFacesRegister) {
    const QString folder = fontFolder();
    if (!QFile::exists(folder + "/Aileron-Regular.otf")) {
        GTEST_SKIP() << "fonts not fetched (scripts/fonts); the app runs on fallback faces";
    }
    virirado::VadeFont::registerFonts({folder});
    const QStringList families = QFontDatabase::families();
    EXPECT_TRUE(families.contains("Aileron"));
    EXPECT_TRUE(families.contains("IBM Plex Mono"));
    const QStringList styles = QFontDatabase::styles("Aileron");
    for (const char* style : {"Regular", "SemiBold", "Bold"}) {
        EXPECT_TRUE(styles.contains(style)) << style << " in " << styles.join(',').toStdString();
    }
    const QFontInfo used(virirado::Dazu::text(13, virirado::FontWeight::bold));
    EXPECT_EQ(used.family(), "Aileron");

    // Each weight draws with its own face, the heaviest too (the hero figure, LIVE).
    namespace Dazu = virirado::Dazu;
    using virirado::FontWeight;
    const std::pair<QFont, const char*> faces[] = {
        {Dazu::text(13, FontWeight::medium), "Regular"},
        {Dazu::text(13, FontWeight::semibold), "SemiBold"},
        {Dazu::display(15, 700), "Bold"},
        {Dazu::display(74, 800), "Heavy"},
        {Dazu::text(10.5, FontWeight::heavy), "Heavy"},
        {Dazu::mono(18, Dazu::MonoFace::semibold), "SemiBold"},
        {Dazu::mono(12, Dazu::MonoFace::medium), "Medium"},
    };
    for (const auto& [font, style] : faces) {
        const QFontInfo info(font);
        EXPECT_EQ(info.styleName(), style) << font.toString().toStdString();
    }
}
