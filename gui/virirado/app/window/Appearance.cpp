#include "Appearance.hpp"

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <cstdlib>
#include <string_view>

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

}  // namespace

bool initialDark() {
    if (const char* value = std::getenv("VIRIRADO_APPEARANCE")) {
        const std::string_view v(value);
        if (v == "dark") return true;
        if (v == "light") return false;
    }
    const QColor window = QGuiApplication::palette().color(QPalette::Window);
    return window.lightness() < 128;
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

}  // namespace virirado::Appearance
