#include "Fonts.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QSet>

namespace virirado::VadeFont {

namespace {

const QString kBundle = QStringLiteral("Virirado_Virirado.bundle");
const QString kBundleResources = QStringLiteral("Virirado_Virirado.bundle/Contents/Resources");

}  // namespace

QString resourceFolder() {
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../share/virirado");
}

QStringList fontFolders(const QString& resources, const QString& executableFolder) {
    QStringList folders;
    if (!resources.isEmpty()) folders << resources;
    if (!executableFolder.isEmpty()) {
        folders << executableFolder << executableFolder + '/' + kBundle
                << executableFolder + '/' + kBundleResources;
    }
    if (!resources.isEmpty()) {
        folders << resources + '/' + kBundle << resources + '/' + kBundleResources;
    }
    return folders;
}

QStringList fontFiles(const QStringList& folders) {
    QStringList files;
    QSet<QString> seen;
    for (const QString& folder : folders) {
        const QDir dir(folder);
        if (!dir.exists()) continue;
        const auto entries =
            dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
        for (const QFileInfo& entry : entries) {
            const QString ext = entry.suffix().toLower();
            if (ext != u"otf" && ext != u"ttf") continue;
            const QString path = folder + '/' + entry.fileName();
            if (seen.contains(path)) continue;
            seen.insert(path);
            files << path;
        }
    }
    return files;
}

QStringList registerFonts(const QStringList& folders) {
    const QStringList files = fontFiles(folders);
    for (const QString& file : files)
        QFontDatabase::addApplicationFont(file);
    return files;
}

QStringList registerFonts() {
    return registerFonts(fontFolders(resourceFolder(), QCoreApplication::applicationDirPath()));
}

}  // namespace virirado::VadeFont
