#include "QtSettingsStore.hpp"

#include <QSettings>

namespace virirado {

namespace {

QString qt(const std::string& key) {
    return QString::fromStdString(key);
}

}  // namespace

std::optional<std::string> QtSettingsStore::text(const std::string& key) const {
    const QVariant value = QSettings().value(qt(key));
    if (value.typeId() != QMetaType::QString) return std::nullopt;
    return value.toString().toStdString();
}

std::optional<bool> QtSettingsStore::flag(const std::string& key) const {
    const QVariant value = QSettings().value(qt(key));
    if (value.typeId() == QMetaType::Bool) return value.toBool();
    if (value.typeId() == QMetaType::QString) {
        if (value.toString() == QLatin1String("true")) return true;
        if (value.toString() == QLatin1String("false")) return false;
    }
    return std::nullopt;
}

void QtSettingsStore::setText(const std::string& key, const std::string& value) {
    QSettings().setValue(qt(key), QString::fromStdString(value));
}

void QtSettingsStore::setFlag(const std::string& key, bool value) {
    QSettings().setValue(qt(key), value);
}

}  // namespace virirado
