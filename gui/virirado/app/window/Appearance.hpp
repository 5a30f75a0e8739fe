// Light or dark, and reduce motion: the two environment settings every view of
// the window follows.
#pragma once

#include <QObject>
#include <functional>
#include <optional>

#include "Settings.hpp"

#ifdef VIRIRADO_HAVE_DBUS
#include <QDBusVariant>
#endif

namespace virirado::Appearance {

// VIRIRADO_APPEARANCE ("light" or "dark") when set, else the desktop's: its
// stated preference when it has one, else its palette's window colour, dark
// when it is closer to black than to white.
bool initialDark();

// The scheme VIRIRADO_APPEARANCE pins, if any.
std::optional<bool> pinned();

// VIRIRADO_REDUCE_MOTION ("1"/"true" on, "0"/"false" off) over the stored
// "reduceMotion" setting, which is off when absent.
bool reduceMotion(const KeyValueStore& settings);

// The stock widgets (text fields, check boxes, menus, scroll bars) in the
// scheme's colours, drawn by one style whatever the desktop's.
void applyToApplication(bool dark);

// Whether a palette is one `applyToApplication` made, or the desktop's.
bool isOwnPalette(const QPalette& palette);

// Watches the desktop switch between light and dark while the app runs: the
// portal's colour-scheme setting where the desktop has one, and a palette the
// desktop's theme puts in place of the app's own. Reports the desktop's scheme
// each time, so the caller can put its own palette back even when the scheme
// stayed.
class DesktopScheme : public QObject {
    Q_OBJECT
public:
    explicit DesktopScheme(std::function<void(bool dark)> changed, QObject* parent = nullptr);
    ~DesktopScheme() override;

    bool dark() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

#ifdef VIRIRADO_HAVE_DBUS
private slots:
    void portalSettingChanged(const QString& group, const QString& key, const QDBusVariant& value);
#endif

private:
    std::function<void(bool)> m_changed;
    std::optional<bool> m_preferred;
    bool m_paletteDark = false;
};

}  // namespace virirado::Appearance
