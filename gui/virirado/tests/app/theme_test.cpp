#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRawFont>
#include <QTemporaryDir>

#include "Fonts.hpp"
#include "Theme.hpp"

using virirado::Color;
using virirado::FontWeight;
namespace Dazu = virirado::Dazu;

TEST(ColorHex, ReadsTheLowTwentyFourBits) {
    EXPECT_EQ(Color("#FF8000"), QColor(255, 128, 0));
    EXPECT_EQ(Color("FF8000"), QColor(255, 128, 0));
    EXPECT_EQ(Color("zz"), QColor(0, 0, 0));
    EXPECT_EQ(Color(""), QColor(0, 0, 0));
    EXPECT_EQ(Color("#12345678"), QColor(0x34, 0x56, 0x78));
    EXPECT_EQ(Color("#FFF"), QColor(0, 0x0F, 0xFF));
    EXPECT_EQ(Color(" FF"), QColor(0, 0, 0xFF));
    EXPECT_EQ(Color("0x00FF00"), QColor(0, 0xFF, 0));
    EXPECT_EQ(Color("#12g456"), QColor(0, 0, 0x12));
    EXPECT_EQ(Color("#123456789ABCDEF0123"), QColor(255, 255, 255));  // overflow pins every bit
    EXPECT_EQ(Color("#FF8000").alpha(), 255);
}

TEST(DazuFonts, FacesByWeight) {
    EXPECT_EQ(Dazu::faceFor(400), "Aileron-Regular");
    EXPECT_EQ(Dazu::faceFor(500), "Aileron-Regular");
    EXPECT_EQ(Dazu::faceFor(501), "Aileron-SemiBold");
    EXPECT_EQ(Dazu::faceFor(650), "Aileron-SemiBold");
    EXPECT_EQ(Dazu::faceFor(749), "Aileron-Bold");
    EXPECT_EQ(Dazu::faceFor(750), "Aileron-Heavy");

    EXPECT_EQ(Dazu::text(13, FontWeight::medium).weight(), QFont::Normal);
    EXPECT_EQ(Dazu::text(13, FontWeight::semibold).weight(), QFont::DemiBold);
    EXPECT_EQ(Dazu::text(13, FontWeight::bold).weight(), QFont::Bold);
    EXPECT_EQ(Dazu::text(13, FontWeight::black).weight(), QFont::Black);
    EXPECT_EQ(Dazu::text(13, FontWeight::regular).pixelSize(), 13);
    EXPECT_EQ(Dazu::text(13, FontWeight::regular).family(), "Aileron");
    EXPECT_NEAR(Dazu::text(12.5, FontWeight::regular).pointSizeF(), 12.5 * 0.75, 1e-9);

    EXPECT_EQ(Dazu::display(20, 650.9).weight(), QFont::DemiBold);
    EXPECT_EQ(Dazu::display(20, 749).weight(), QFont::Bold);
    EXPECT_EQ(Dazu::display(20, 750).weight(), QFont::Black);
    EXPECT_EQ(Dazu::display(20, NAN).weight(), QFont::Normal);
    EXPECT_EQ(Dazu::display(20, 1e300).weight(), QFont::Black);
}

TEST(FontFolders, SixPlacesInOrderEachFileOnce) {
    EXPECT_EQ(virirado::VadeFont::fontFolders("/r", "/e"),
              (QStringList{"/r", "/e", "/e/Virirado_Virirado.bundle",
                           "/e/Virirado_Virirado.bundle/Contents/Resources",
                           "/r/Virirado_Virirado.bundle",
                           "/r/Virirado_Virirado.bundle/Contents/Resources"}));

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString root = dir.path();
    QDir(root).mkpath("Virirado_Virirado.bundle/Contents/Resources");
    for (const char* name : {"A.OTF", "b.ttf", ".hidden.otf", "c.woff2", "readme.txt"}) {
        QFile f(root + '/' + QString::fromUtf8(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QFile nested(root + "/Virirado_Virirado.bundle/Contents/Resources/d.Ttf");
    ASSERT_TRUE(nested.open(QIODevice::WriteOnly));

    const QStringList files = virirado::VadeFont::fontFiles(
        {root, root + "/missing", root, root + "/Virirado_Virirado.bundle/Contents/Resources"});
    EXPECT_EQ(files, (QStringList{root + "/.hidden.otf", root + "/A.OTF", root + "/b.ttf",
                                  root + "/Virirado_Virirado.bundle/Contents/Resources/d.Ttf"}));
    // Files that are no fonts are tried and ignored.
    EXPECT_EQ(virirado::VadeFont::registerFonts({root}).size(), 3);
}

// Changing figures keep their width only because every face they are drawn in
// has digits of one width: Qt 6.4 cannot ask a font for tabular digits, so a
// face that changed this would make the hero and the list's sizes jitter.
TEST(FigureFaces, EveryDigitHasOneAdvance) {
    const QStringList faces{"Aileron-Regular.otf",    "Aileron-SemiBold.otf",
                            "Aileron-Bold.otf",       "Aileron-Heavy.otf",
                            "IBMPlexMono-Medium.ttf", "IBMPlexMono-SemiBold.ttf"};
    const QDir resources(QStringLiteral(VIRIRADO_TEST_RESOURCE_DIR));
    for (const QString& face : faces) {
        if (!resources.exists(face)) {
            GTEST_SKIP() << "the app's fonts are not in the build (" << face.toStdString()
                         << "): run scripts/fonts";
        }
    }
    for (const QString& face : faces) {
        SCOPED_TRACE(face.toStdString());
        const QString path = resources.filePath(face);
        const QRawFont probe(path, 100, QFont::PreferNoHinting);
        ASSERT_TRUE(probe.isValid());
        // At one pixel per font unit the design advances come out whole.
        const QRawFont font(path, probe.unitsPerEm(), QFont::PreferNoHinting);
        const QList<quint32> glyphs = font.glyphIndexesForString(QStringLiteral("0123456789"));
        ASSERT_EQ(glyphs.size(), 10);
        EXPECT_FALSE(glyphs.contains(0u)) << "a digit is missing from the face";
        const QList<QPointF> advances =
            font.advancesForGlyphIndexes(glyphs, QRawFont::UseDesignMetrics);
        ASSERT_EQ(advances.size(), 10);
        EXPECT_GT(advances[0].x(), 0);
        for (int digit = 1; digit < 10; ++digit)
            EXPECT_DOUBLE_EQ(advances[digit].x(), advances[0].x()) << "digit " << digit;
    }
}
