#include "SymbolIcon.hpp"

#include <QPainter>
#include <cmath>

#include "Symbols.hpp"

namespace virirado {

SymbolIcon::SymbolIcon(const QString& name, double size, QWidget* parent)
    : QWidget(parent), m_name(name) {
    const int side = static_cast<int>(std::ceil(size));
    setFixedSize(side, side);
    // Decoration: the text beside it says what it means.
    setAccessibleName(QString());
}

void SymbolIcon::setColor(const QColor& color) {
    if (color == m_color) return;
    m_color = color;
    update();
}

void SymbolIcon::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    Symbols::paint(p, m_name, QRectF(rect()), m_color);
}

}  // namespace virirado
