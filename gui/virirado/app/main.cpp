#include <unicode/locid.h>
#include <QApplication>
#include <QLocale>

#include "Snapshot.hpp"
#include "ViriradoApp.hpp"

int main(int argc, char** argv) {
    // Every size in the window is in logical pixels, fonts included; fractional
    // font sizes go through points, which must mean 96 to the inch.
    if (qEnvironmentVariableIsEmpty("QT_FONT_DPI")) qputenv("QT_FONT_DPI", "96");
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Virirado"));
    // Pictures must not depend on the machine's language: dates and grouped
    // counts are written the American English way in snapshot mode.
    if (virirado::Snapshot::prefix()) {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale("en", "US"), status);
    }
    const virirado::ViriradoApp app;
    auto window = app.makeWindow();
    window->show();
    return QApplication::exec();
}
