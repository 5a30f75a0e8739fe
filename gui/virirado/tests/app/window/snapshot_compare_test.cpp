// The picture comparison tool that guards the snapshot run in CI: it must fail on
// a real change, a missing or extra picture and a changed size, pass within its
// tolerance, and write what a person needs to see the change.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include "Settled.hpp"

namespace {

using virirado::testing::kHangMs;

struct ToolRun {
    int status = -1;
    QString output;
};

ToolRun compareTool(const QStringList& args) {
    QProcess tool;
    tool.start(QStringLiteral(VIRIRADO_SNAPSHOT_COMPARE), args);
    ToolRun r;
    if (!tool.waitForFinished(kHangMs)) {
        tool.kill();
        tool.waitForFinished();
        return r;
    }
    r.status = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    r.output = QString::fromUtf8(tool.readAllStandardOutput() + tool.readAllStandardError());
    return r;
}

QImage plain(QSize size = {100, 100}) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor("#07192B"));
    return image;
}

// `count` pixels from the top left, each moved by `by` on every channel.
QImage changed(int count, int by) {
    QImage image = plain();
    for (int i = 0; i < count; ++i) {
        const int x = i % 100;
        const int y = i / 100;
        const QColor c = image.pixelColor(x, y);
        image.setPixelColor(x, y, QColor(c.red() + by, c.green() + by, c.blue() + by));
    }
    return image;
}

struct Folders {
    QTemporaryDir root;
    QString references = root.path() + "/references";
    QString pictures = root.path() + "/pictures";
    QString diffs = root.path() + "/diffs";

    Folders() {
        QDir().mkpath(references);
        QDir().mkpath(pictures);
    }
    void reference(const QString& name, const QImage& image) const {
        image.save(references + "/" + name, "PNG");
    }
    void picture(const QString& name, const QImage& image) const {
        image.save(pictures + "/" + name, "PNG");
    }
    ToolRun compare(QStringList options = {}) const {
        return compareTool(options << references << pictures << diffs);
    }
};

TEST(SnapshotCompare, PassesWithinTheToleranceAndFailsBeyondIt) {
    Folders f;
    f.reference("a.png", plain());
    // 50 of 10,000 pixels (0.5 %) moved far, others slightly: within the defaults.
    QImage near = changed(50, 40);
    near.setPixelColor(99, 99, QColor(0x07 + 8, 0x19, 0x2B));
    f.picture("a.png", near);
    ToolRun r = f.compare();
    EXPECT_EQ(r.status, 0) << r.output.toStdString();
    EXPECT_FALSE(QFileInfo::exists(f.diffs));

    // One pixel more than the share allows.
    f.picture("a.png", changed(51, 40));
    r = f.compare();
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.output.contains("DIFFERS a.png")) << r.output.toStdString();
    // The difference picture marks the changed pixels in red; the new picture sits beside it.
    const QImage diff(f.diffs + "/a.png");
    ASSERT_FALSE(diff.isNull());
    EXPECT_EQ(diff.pixelColor(0, 0), QColor(230, 20, 20));
    EXPECT_NE(diff.pixelColor(50, 50), QColor(230, 20, 20));
    EXPECT_EQ(QImage(f.diffs + "/a-new.png"),
              changed(51, 40).convertToFormat(QImage::Format_RGB32));

    // A channel tolerance of 40 takes the same picture.
    r = f.compare({"--channel", "40"});
    EXPECT_EQ(r.status, 0) << r.output.toStdString();
}

TEST(SnapshotCompare, MissingExtraAndResizedPicturesFail) {
    Folders f;
    f.reference("a.png", plain());
    f.reference("b.png", plain());
    f.picture("a.png", plain());
    ToolRun r = f.compare();
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.output.contains("MISSING b.png")) << r.output.toStdString();

    // The quick run takes only some pictures: the rest are not missing.
    r = f.compare({"--subset"});
    EXPECT_EQ(r.status, 0) << r.output.toStdString();

    f.picture("c.png", plain());
    r = f.compare({"--subset"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.output.contains("EXTRA   c.png")) << r.output.toStdString();

    QFile::remove(f.pictures + "/c.png");
    f.picture("b.png", plain({100, 99}));
    r = f.compare();
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.output.contains("SIZE    b.png")) << r.output.toStdString();
}

TEST(SnapshotCompare, NothingToCompareIsAFailure) {
    Folders f;
    f.picture("a.png", plain());
    EXPECT_EQ(f.compare().status, 1);  // no references
    f.reference("a.png", plain());
    QFile::remove(f.pictures + "/a.png");
    EXPECT_EQ(f.compare({"--subset"}).status, 1);  // no pictures
    EXPECT_EQ(compareTool({"--channel", "x", f.references, f.pictures}).status, 2);
}

TEST(SnapshotCompare, UpdateMakesThePicturesTheReferences) {
    Folders f;
    f.reference("a.png", plain());
    f.picture("a.png", changed(5000, 30));
    f.picture("b.png", plain());
    ASSERT_EQ(f.compare().status, 1);
    const ToolRun r = compareTool({"--update", f.references, f.pictures});
    EXPECT_EQ(r.status, 0) << r.output.toStdString();
    EXPECT_EQ(f.compare().status, 0);
}

}  // namespace
