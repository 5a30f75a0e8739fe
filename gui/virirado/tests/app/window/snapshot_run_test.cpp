// The snapshot run of the real program: the exact set of pictures, their sizes
// and the exit status.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

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
}

TEST(SnapshotRun, UnsavedPicturesFailTheRun) {
    QTemporaryDir out;
    const SnapshotOutcome run = snapshotRun(out.path() + "/missing-folder/demo", true);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.errors.count("snapshot failed "), 8);
    EXPECT_EQ(run.errors.count("snapshot /"), 0);
}

}  // namespace
