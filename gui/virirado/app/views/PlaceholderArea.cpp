#include "PlaceholderArea.hpp"

#include <QPainter>

#include "Palette.hpp"
#include "Theme.hpp"

namespace virirado {

PlaceholderArea::PlaceholderArea(const QString& name, int width, int height, QWidget* parent)
    : QWidget(parent), m_name(name) {
    setObjectName(name);
    if (width > 0) setFixedWidth(width);
    if (height > 0) setFixedHeight(height);
    setSizePolicy(width > 0 ? QSizePolicy::Fixed : QSizePolicy::Expanding,
                  height > 0 ? QSizePolicy::Fixed : QSizePolicy::Expanding);
}

void PlaceholderArea::present(const WindowView& view) {
    if (view.dark == m_dark) return;
    m_dark = view.dark;
    update();
}

void PlaceholderArea::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const Palette& pal = Palette::of(m_dark);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(pal.outline, 1, Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(box, 10, 10);
    p.setPen(pal.secondary);
    p.setFont(Dazu::text(11, FontWeight::medium));
    p.drawText(rect(), Qt::AlignCenter, m_name);
}

}  // namespace virirado
