#include "FileActions.hpp"

#include <QClipboard>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

#ifdef VIRIRADO_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#endif

namespace virirado {

namespace {

QString qt(const std::string& text) {
    return QString::fromStdString(text);
}

bool exists(const QString& path) {
    // A dangling link still names an item; lstat-like existence is what counts.
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

#ifdef VIRIRADO_HAVE_DBUS
bool hasService(const QString& name) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || bus.interface() == nullptr) return false;
    const auto reply = bus.interface()->isServiceRegistered(name);
    return reply.isValid() && reply.value();
}

bool callAsync(const QString& service, const QString& path, const QString& interface,
               const QString& method, const QVariantList& arguments) {
    if (!hasService(service)) return false;
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().send(message);
}
#endif

}  // namespace

void DesktopFileActions::copyFile(const std::string& path, const std::string& fallbackName) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    const QString file = qt(path);
    if (!file.isEmpty() && exists(file)) {
        auto* data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(file)});
        clipboard->setMimeData(data);
        return;
    }
    clipboard->setText(fallbackName.empty() ? file : qt(fallbackName));
}

void DesktopFileActions::copyText(const std::string& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(qt(text));
}

void DesktopFileActions::reveal(const std::string& path) {
    if (path.empty()) return;
    const QUrl url = QUrl::fromLocalFile(qt(path));
#ifdef VIRIRADO_HAVE_DBUS
    if (callAsync(QStringLiteral("org.freedesktop.FileManager1"),
                  QStringLiteral("/org/freedesktop/FileManager1"),
                  QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"),
                  {QStringList{url.toString()}, QString()})) {
        return;
    }
#endif
    // The folder that holds the item, never the item: opening a file would run
    // whatever program the desktop ties to it.
    const QString folder = QFileInfo(qt(path)).absolutePath();
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void DesktopFileActions::quickLook(const std::string& path) {
    if (path.empty()) return;
#ifdef VIRIRADO_HAVE_DBUS
    const QUrl url = QUrl::fromLocalFile(qt(path));
    if (callAsync(QStringLiteral("org.gnome.NautilusPreviewer"),
                  QStringLiteral("/org/gnome/NautilusPreviewer"),
                  QStringLiteral("org.gnome.NautilusPreviewer"), QStringLiteral("ShowFile"),
                  {url.toString(), 0, true})) {
        return;
    }
#endif
    reveal(path);
}

}  // namespace virirado
