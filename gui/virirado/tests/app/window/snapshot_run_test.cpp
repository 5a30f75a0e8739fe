// The snapshot run of the real program: the exact set of pictures, their sizes,
// the exit status, and what the pictures show: compared with the reference
// pictures kept beside the tests, and probed for colours at points computed from
// the window's layout and the demo's figures, which holds on any machine.
#include <gtest/gtest.h>

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>

#include "Palette.hpp"

namespace {

struct SnapshotOutcome {
    int status = -1;
    QStringList pictures;
    QString errors;
};

SnapshotOutcome snapshotRun(const QString& prefix, bool quick) {
    QTemporaryDir home;
    QProcess app;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.path() + "/.config");
    env.insert("XDG_RUNTIME_DIR", home.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("VIRIRADO_SNAPSHOT", prefix);
    if (quick) env.insert("VIRIRADO_SNAPSHOT_QUICK", "1");
    app.setProcessEnvironment(env);
    app.start(QStringLiteral(VIRIRADO_APP_BINARY), {"--no-autoscan"});
    SnapshotOutcome run;
    if (!app.waitForFinished(120'000)) {
        app.kill();
        app.waitForFinished();
        return run;
    }
    run.status = app.exitStatus() == QProcess::NormalExit ? app.exitCode() : -1;
    run.errors = QString::fromUtf8(app.readAllStandardError());
    const QDir dir = QFileInfo(prefix).dir();
    run.pictures = dir.entryList({"*.png"}, QDir::Files, QDir::Name);
    return run;
}

QSize sizeOf(const QString& path) {
    return QImage(path).size();
}

// The references were taken with the app's own fonts; without them every text
// lands elsewhere and a comparison says nothing.
std::optional<std::string> missingFont() {
    for (const char* face :
         {"Aileron-Regular.otf", "Aileron-Bold.otf", "Aileron-SemiBold.otf", "Aileron-Heavy.otf",
          "IBMPlexMono-Medium.ttf", "IBMPlexMono-SemiBold.ttf"}) {
        const QFileInfo file(QStringLiteral(VIRIRADO_TEST_RESOURCE_DIR "/") + face);
        if (!file.exists() || file.size() == 0) return file.filePath().toStdString();
    }
    return std::nullopt;
}

struct Compared {
    int status = -1;
    QString report;
};

// Runs the comparison tool over `pictures`; failures leave their difference
// pictures under the build's "snapshot-diffs/<run>".
Compared compareWithReferences(const QString& pictures, const QString& run, bool subset) {
    QProcess tool;
    QStringList args;
    if (subset) args << "--subset";
    args << VIRIRADO_REFERENCES << pictures << QStringLiteral(VIRIRADO_SNAPSHOT_DIFFS "/") + run;
    tool.start(QStringLiteral(VIRIRADO_SNAPSHOT_COMPARE), args);
    Compared c;
    if (!tool.waitForFinished(120'000)) {
        tool.kill();
        tool.waitForFinished();
        return c;
    }
    c.status = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    c.report = QString::fromUtf8(tool.readAllStandardOutput() + tool.readAllStandardError());
    return c;
}

void expectLikeReferences(const QString& pictures, const QString& run, bool subset) {
    if (const auto face = missingFont()) {
        GTEST_SKIP() << "the app's fonts are not in the build (" << *face
                     << "): run scripts/fonts; pictures not compared";
    }
    const Compared c = compareWithReferences(pictures, run, subset);
    EXPECT_EQ(c.status, 0) << c.report.toStdString();
}

int channelDistance(QColor a, QColor b) {
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())});
}

// The demo's volume as its legend shows it, in GB: what the bar is made of.
struct DemoVolume {
    double other = 153.6;
    double back = 50.8;
    double kept = 58.8;
    double free = 240.4;
    double total() const { return other + back + kept + free; }
};

// The Dazu bar in the 1240-wide picture: the window's 24-point margins, under the
// scope bar.
constexpr double kBarLeft = 24;
constexpr double kBarWidth = 1240 - 2 * 24;
constexpr int kBarMiddleY = 201;

void probeMainPicture(const QString& path, bool dark) {
    SCOPED_TRACE(path.toStdString());
    const QImage picture = QImage(path).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(picture.isNull());
    const virirado::Palette& palette = virirado::Palette::of(dark);
    auto at = [&](double x, int y) {
        return picture.pixelColor(static_cast<int>(std::lround(x)), y);
    };

    // The window's own background below the summary bar's buttons, left of them.
    EXPECT_LE(channelDistance(at(6, 792), palette.window), 2) << at(6, 792).name().toStdString();

    const DemoVolume v;
    // "Other" opens the bar in the title colour (light) or the outline colour (dark).
    const QColor other = at(kBarLeft + kBarWidth * (v.other / v.total()) / 2, kBarMiddleY);
    EXPECT_LE(channelDistance(other, dark ? QColor("#1E3B58") : palette.title), 24)
        << other.name().toStdString();
    // The first piece that comes back is orange.
    const double backStart = kBarLeft + kBarWidth * v.other / v.total();
    const QColor back = at(backStart + 20, kBarMiddleY);
    EXPECT_LE(channelDistance(back, palette.orange), 24) << back.name().toStdString();
    // Free space closes it in water: cyan, blue and green well above red.
    const QColor free = at(kBarLeft + kBarWidth * (1 - v.free / v.total() / 2), kBarMiddleY);
    EXPECT_GT(free.green() - free.red(), 60) << free.name().toStdString();
    EXPECT_GT(free.blue() - free.red(), 60) << free.name().toStdString();

    // "Clean the tank" is an orange capsule at the bottom right.
    const QColor clean = at(1012, 760);
    EXPECT_LE(channelDistance(clean, palette.orange), 24) << clean.name().toStdString();
}

TEST(SnapshotRun, QuickDemoRun) {
    QTemporaryDir out;
    const SnapshotOutcome run = snapshotRun(out.path() + "/demo", true);
    EXPECT_EQ(run.status, 0) << run.errors.toStdString();
    const QStringList expected{"demo-dark.png",           "demo-light.png",
                               "demo-map-dark.png",       "demo-map-light.png",
                               "demo-scan-hero-dark.png", "demo-scan-hero-light.png",
                               "demo-scanning-dark.png",  "demo-scanning-light.png"};
    EXPECT_EQ(run.pictures, expected);
    for (const QString& name : run.pictures)
        EXPECT_EQ(sizeOf(out.path() + "/" + name), QSize(1240, 800)) << name.toStdString();
    // Every saved picture is announced, and only those.
    EXPECT_EQ(run.errors.count("snapshot "), 8);
    probeMainPicture(out.path() + "/demo-light.png", false);
    probeMainPicture(out.path() + "/demo-dark.png", true);
    expectLikeReferences(out.path(), "quick", true);
}

TEST(SnapshotRun, FullDemoRun) {
    QTemporaryDir out;
    const SnapshotOutcome run = snapshotRun(out.path() + "/demo", false);
    EXPECT_EQ(run.status, 0) << run.errors.toStdString();
    ASSERT_EQ(run.pictures.size(), 20) << run.pictures.join(' ').toStdString();
    for (const char* state : {"checking", "progress", "result", "confirm"}) {
        for (const char* look : {"light", "dark"}) {
            const QString name = QStringLiteral("demo-%1-%2.png").arg(state, look);
            ASSERT_TRUE(run.pictures.contains(name)) << name.toStdString();
            EXPECT_EQ(sizeOf(out.path() + "/" + name).width(), 460) << name.toStdString();
        }
    }
    for (const char* name : {"demo-types-light.png", "demo-window-dark.png", "demo-light.png"})
        EXPECT_EQ(sizeOf(out.path() + "/" + name), QSize(1240, 800)) << name;
    expectLikeReferences(out.path(), "full", false);
}

// The prefix's folder is made, with the folders missing above it, as a
// command line typed from the README expects.
TEST(SnapshotRun, MakesThePicturesFolder) {
    QTemporaryDir out;
    const QString folder = out.path() + "/not/there/yet";
    const SnapshotOutcome run = snapshotRun(folder + "/demo", true);
    EXPECT_EQ(run.status, 0) << run.errors.toStdString();
    EXPECT_EQ(run.pictures.size(), 8) << run.pictures.join(' ').toStdString();
    EXPECT_EQ(run.errors.count("snapshot failed "), 0);
    EXPECT_TRUE(QFileInfo(folder + "/demo-light.png").isFile());
}

TEST(SnapshotRun, UnsavedPicturesFailTheRun) {
    QTemporaryDir out;
    // A file where a folder of the path should be: the folder cannot be made.
    QFile blocker(out.path() + "/file");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const SnapshotOutcome run = snapshotRun(out.path() + "/file/pictures/demo", true);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.errors.count("snapshot failed " + out.path() + "/file/pictures/demo-"), 8);
    EXPECT_EQ(run.errors.count("snapshot /"), 0);
}

}  // namespace
