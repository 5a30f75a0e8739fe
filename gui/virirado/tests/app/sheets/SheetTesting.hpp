// Helpers the sheet tests share: the app's own faces, and the sheets' pictures
// saved to the folder VIRIRADO_SHEET_PICTURES names, to be looked at.
#pragma once

#include <QByteArray>
#include <QString>
#include <QWidget>
#include <string>

#include "Fonts.hpp"

namespace virirado::testing {

// Measured and saved as the app shows them.
inline void useAppFonts() {
    VadeFont::registerFonts({QStringLiteral(VIRIRADO_TEST_RESOURCE_DIR)});
}

inline void savePicture(QWidget* sheet, const std::string& name, bool dark) {
    const QByteArray folder = qgetenv("VIRIRADO_SHEET_PICTURES");
    if (folder.isEmpty() || sheet == nullptr) return;
    sheet->grab().save(QString::fromUtf8(folder) + "/" + QString::fromStdString(name) +
                       (dark ? "-dark" : "-light") + ".png");
}

}  // namespace virirado::testing
