// Snapshot mode with a real scan: the app starts the stand-in cleaning engine in
// a temporary home that holds caches, a Trash, a build folder and a big download,
// scans at launch, takes the six scan-step pictures of that home and quits. The
// scan only reads: every file of the home is still there afterwards.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& path, std::size_t bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    const std::string block(1 << 16, 'v');
    for (std::size_t left = bytes; left > 0;) {
        const std::size_t n = std::min(left, block.size());
        out.write(block.data(), static_cast<std::streamsize>(n));
        left -= n;
    }
}

// A home with something in every place the stand-in looks.
std::vector<fs::path> fillHome(const fs::path& home) {
    std::vector<fs::path> files{
        home / ".cache/thumbnails/big.bin",
        home / ".cache/pip/wheels.bin",
        home / ".local/share/Trash/files/old-report.pdf",
        home / "Projects/app/target/debug/app.bin",
        home / "Downloads/installer.iso",
    };
    fs::create_directories(home / ".local/share/Trash/info");
    fs::create_directories(home / "Projects/app");
    writeFile(files[0], 3'000'000);
    writeFile(files[1], 2'000'000);
    writeFile(files[2], 1'500'000);
    std::ofstream(home / ".local/share/Trash/info/old-report.pdf.trashinfo")
        << "[Trash Info]\nPath=/tmp/old-report.pdf\nDeletionDate=2026-01-01T10:00:00\n";
    files.push_back(home / ".local/share/Trash/info/old-report.pdf.trashinfo");
    std::ofstream(home / "Projects/app/Cargo.toml") << "[package]\nname = \"app\"\n";
    files.push_back(home / "Projects/app/Cargo.toml");
    writeFile(files[3], 4'000'000);
    writeFile(files[4], 120'000'000);
    return files;
}

std::string readAll(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(ScanSnapshots, SixPicturesOfARealScanOfATemporaryHome) {
    const QString standIn = QStringLiteral(VIRIRADO_TEST_RESOURCE_DIR "/virirado");
    const QString scanner =
        QFileInfo(QStringLiteral(VIRIRADO_APP_BINARY)).dir().filePath("virirado-engine");
    if (!QFileInfo(standIn).isExecutable() || !QFileInfo(scanner).isExecutable()) {
        GTEST_SKIP() << "the stand-in or the scanning engine is not built";
    }
    QTemporaryDir root;
    const fs::path home = root.filePath("home").toStdString();
    const std::vector<fs::path> files = fillHome(home);
    const QString out = root.filePath("out");
    QDir().mkpath(out);

    QProcess app;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", QString::fromStdString(home.string()));
    env.insert("XDG_CONFIG_HOME", QString::fromStdString((home / ".config").string()));
    env.insert("XDG_RUNTIME_DIR", root.path());
    env.remove("XDG_CACHE_HOME");
    env.remove("XDG_DATA_HOME");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("VIRIRADO_SNAPSHOT", out + "/scan");
    env.insert("VIRIRADO_SNAPSHOT_QUICK", "0");
    env.insert("VIRIRADO_ENGINE", standIn);
    env.insert("VIRIRADO_SCANNER", scanner);
    env.insert("VIRIRADO_AUTOSCAN", "1");
    // Downloads and apps are offered, so the big download is among the items.
    app.setProcessEnvironment(env);
    app.start(QStringLiteral(VIRIRADO_APP_BINARY), {"--autoscan"});
    ASSERT_TRUE(app.waitForFinished(150'000)) << "the run never ended";
    const QString errors = QString::fromUtf8(app.readAllStandardError());
    EXPECT_EQ(app.exitCode(), 0) << errors.toStdString();

    const QStringList pictures = QDir(out).entryList({"*.png"}, QDir::Files, QDir::Name);
    EXPECT_EQ(pictures, (QStringList{"scan-biggest.png", "scan-developer.png",
                                     "scan-everything-dark.png", "scan-everything.png",
                                     "scan-search-name.png", "scan-search-size-kind.png"}));
    for (const QString& name : pictures)
        EXPECT_EQ(QImage(out + "/" + name).size(), QSize(1240, 800)) << name.toStdString();

    // The pictures are of this home: the engine reported its items to the window.
    const std::string traffic = readAll(home / "Library/Logs/Virirado/gui-engine.log");
    for (const char* item : {".cache/thumbnails", ".cache/pip", "Trash", "Projects/app/target",
                             "Downloads/installer.iso"}) {
        EXPECT_NE(traffic.find(item), std::string::npos) << item;
    }
    EXPECT_NE(traffic.find("<< {\"event\":\"done\""), std::string::npos);
    // A scan only reads.
    for (const fs::path& file : files)
        EXPECT_TRUE(fs::exists(file)) << file;
    EXPECT_EQ(traffic.find("\"cmd\":\"clean\""), std::string::npos);
}

}  // namespace
