// Registers the font files shipped with the app for this process.
#pragma once

#include <QString>
#include <QStringList>

namespace virirado::VadeFont {

// The app's resource folder: ../share/virirado beside the executable's folder.
QString resourceFolder();

// The six folders searched for font files, in order.
QStringList fontFolders(const QString& resources, const QString& executableFolder);

// The .otf and .ttf files (extension in any case) directly in the folders, each
// path once, in the order found. Folders that cannot be listed are skipped.
QStringList fontFiles(const QStringList& folders);

// Registers every font file of the app's folders; failures are ignored. Needs a
// QGuiApplication. Returns the files it tried.
QStringList registerFonts();
QStringList registerFonts(const QStringList& folders);

}  // namespace virirado::VadeFont
