#include <QApplication>

#include "ViriradoApp.hpp"

int main(int argc, char** argv) {
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Virirado"));
    const virirado::ViriradoApp app;
    auto window = app.makeWindow();
    window->show();
    return QApplication::exec();
}
