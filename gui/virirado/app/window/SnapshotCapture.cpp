#include "SnapshotCapture.hpp"

#include <QApplication>
#include <QDialog>
#include <QPixmap>
#include <QWidget>
#include <cstdio>

namespace virirado::Snapshot {

namespace {

QWidget* firstVisible(bool dialogs) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible()) continue;
        if ((qobject_cast<QDialog*>(w) != nullptr) == dialogs) return w;
    }
    return nullptr;
}

}  // namespace

bool captureWidget(QWidget* widget, const std::string& path) {
    if (widget == nullptr) return false;
    const QPixmap picture = widget->grab();
    if (picture.isNull() || !picture.save(QString::fromStdString(path), "PNG")) return false;
    const std::string line = "snapshot " + path + "\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    return true;
}

bool capture(const std::string& path) {
    return captureWidget(firstVisible(false), path);
}

bool captureSheet(const std::string& path) {
    return captureWidget(firstVisible(true), path);
}

}  // namespace virirado::Snapshot
