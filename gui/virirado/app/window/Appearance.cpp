#include "Appearance.hpp"

#include <QApplication>
#include <QEvent>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <cstdlib>
#include <string_view>

#ifdef VIRIRADO_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusMessage>
#endif

#include "DesktopHabits.hpp"
#include "Palette.hpp"

namespace virirado::Appearance {

namespace {

std::optional<bool> envSwitch(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    const std::string_view v(value);
    if (v == "1" || v == "true") return true;
    if (v == "0" || v == "false") return false;
    return std::nullopt;
}

bool paletteLooksDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < 128;
}

#ifdef VIRIRADO_HAVE_DBUS
const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kPortalSettings = QStringLiteral("org.freedesktop.portal.Settings");
const QString kAppearanceGroup = QStringLiteral("org.freedesktop.appearance");
const QString kColorScheme = QStringLiteral("color-scheme");

// The portal wraps the value in one or two variants, depending on its version.
std::optional<bool> schemeFrom(QVariant value) {
    while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    bool ok = false;
    const unsigned scheme = value.toUInt(&ok);
    return ok ? portalDark(scheme) : std::nullopt;
}

// The desktop's stated preference, asked once; none without a session bus or
// portal. The portal answers at once or not at all, so the wait is short.
std::optional<bool> askPortal() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return std::nullopt;
    QDBusMessage read = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kPortalSettings,
                                                       QStringLiteral("Read"));
    read << kAppearanceGroup << kColorScheme;
    const QDBusMessage reply = bus.call(read, QDBus::Block, 300);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return std::nullopt;
    }
    return schemeFrom(reply.arguments().constFirst());
}
#else
std::optional<bool> askPortal() {
    return std::nullopt;
}
#endif

}  // namespace

std::optional<bool> pinned() {
    return pinnedDark(std::getenv("VIRIRADO_APPEARANCE"));
}

bool initialDark() {
    if (const std::optional<bool> p = pinned()) return *p;
    return chooseDark(std::nullopt, askPortal(), paletteLooksDark(QGuiApplication::palette()));
}

bool reduceMotion(const KeyValueStore& settings) {
    if (auto forced = envSwitch("VIRIRADO_REDUCE_MOTION")) return *forced;
    return settings.flag("reduceMotion").value_or(false);
}

void applyToApplication(bool dark) {
    if (QApplication::style()->name().compare(u"fusion", Qt::CaseInsensitive) != 0) {
        if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) {
            QApplication::setStyle(fusion);
        }
    }
    const Palette& p = Palette::of(dark);
    QPalette palette;
    palette.setColor(QPalette::Window, p.window);
    palette.setColor(QPalette::WindowText, p.text);
    palette.setColor(QPalette::Base, p.card);
    palette.setColor(QPalette::AlternateBase, p.pale);
    palette.setColor(QPalette::Text, p.text);
    palette.setColor(QPalette::PlaceholderText, p.secondary);
    palette.setColor(QPalette::Button, p.card);
    palette.setColor(QPalette::ButtonText, p.text);
    palette.setColor(QPalette::Highlight, p.accent);
    palette.setColor(QPalette::HighlightedText, p.dark ? QColor("#062A33") : QColor(Qt::white));
    palette.setColor(QPalette::ToolTipBase, p.sheet);
    palette.setColor(QPalette::ToolTipText, p.text);
    palette.setColor(QPalette::Light, p.outline);
    palette.setColor(QPalette::Mid, p.outline);
    palette.setColor(QPalette::Dark, p.secondary);
    palette.setColor(QPalette::Disabled, QPalette::Text, p.secondary);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, p.secondary);
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, p.secondary);
    QApplication::setPalette(palette);
}

bool isOwnPalette(const QPalette& palette) {
    const QColor window = palette.color(QPalette::Window);
    return window == Palette::of(false).window || window == Palette::of(true).window;
}

DesktopScheme::DesktopScheme(std::function<void(bool dark)> changed, QObject* parent)
    : QObject(parent),
      m_changed(std::move(changed)),
      m_preferred(askPortal()),
      m_paletteDark(paletteLooksDark(QGuiApplication::palette())) {
    qApp->installEventFilter(this);
#ifdef VIRIRADO_HAVE_DBUS
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        bus.connect(kPortalService, kPortalPath, kPortalSettings, QStringLiteral("SettingChanged"),
                    this, SLOT(portalSettingChanged(QString, QString, QDBusVariant)));
    }
#endif
}

DesktopScheme::~DesktopScheme() {
    if (qApp != nullptr) qApp->removeEventFilter(this);
}

bool DesktopScheme::dark() const {
    return chooseDark(std::nullopt, m_preferred, m_paletteDark);
}

// Filtering the application object sees every event of the app: the check
// must stay this cheap.
bool DesktopScheme::eventFilter(QObject* watched, QEvent* event) {
    // A desktop theme that changes puts its own palette in place of the app's.
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange) {
        const QPalette palette = QGuiApplication::palette();
        if (!isOwnPalette(palette)) {
            m_paletteDark = paletteLooksDark(palette);
            // After every widget has had the desktop's palette, so the app's
            // own, put back in reply, is the last one they see.
            QMetaObject::invokeMethod(
                this, [this] { m_changed(dark()); }, Qt::QueuedConnection);
        }
    }
    return QObject::eventFilter(watched, event);
}

#ifdef VIRIRADO_HAVE_DBUS
void DesktopScheme::portalSettingChanged(const QString& group, const QString& key,
                                         const QDBusVariant& value) {
    if (group != kAppearanceGroup || key != kColorScheme) return;
    m_preferred = schemeFrom(value.variant());
    m_changed(dark());
}
#endif

}  // namespace virirado::Appearance
