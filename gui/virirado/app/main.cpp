#include <fcntl.h>
#include <unicode/locid.h>
#include <unistd.h>

#include <QApplication>
#include <QLocale>
#include <cerrno>
#include <cstdlib>

#include "ContentView.hpp"
#include "EngineGroup.hpp"
#include "QuitSignals.hpp"
#include "Snapshot.hpp"
#include "ViriradoApp.hpp"

namespace {

// A launcher may start the app with standard input, output or error closed:
// the next file the app opened would then take that number, and a warning
// meant for standard error would be written into it, the deletion log among
// them. Each one closed is held by the null device instead.
void holdStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free number is this one.
        if (::open("/dev/null", O_RDWR) != fd) std::_Exit(127);
    }
}

}  // namespace

int main(int argc, char** argv) {
    holdStandardStreams();
    // The engine's process group is held by a child of ours left unreaped: a
    // SIGCHLD ignored by whatever started the app would have it reaped at once.
    virirado::EngineGroup::takeChildSignal();
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
    auto* content = qobject_cast<virirado::ContentView*>(window->centralWidget());
    // Logout, a closed terminal and Ctrl+C end the app as a quit asked twice: a
    // running clean's engine is ended and its rows logged before the app goes.
    const virirado::QuitSignals quitSignals([content] { content->endNow(); });
    window->show();
    const int status = QApplication::exec();
    // The engine is ended here, while a signal still only asks for what is
    // already under way.
    window.reset();
    return status;
}
