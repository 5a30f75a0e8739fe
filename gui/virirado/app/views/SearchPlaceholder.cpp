#include "SearchPlaceholder.hpp"

#include <QPainter>

#include "Palette.hpp"
#include "Theme.hpp"

namespace virirado {

SearchPlaceholder::SearchPlaceholder(AreaContext context, QWidget* parent)
    : QLineEdit(parent), m_context(context) {
    setObjectName(QStringLiteral("searchField"));
    setPlaceholderText(QStringLiteral("Search"));
    setAccessibleName(QStringLiteral("Search"));
    setFixedWidth(248);
    setFont(Dazu::text(12.5, FontWeight::regular));
    connect(this, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_context.actions.setQuery(text.toStdString()); });
}

void SearchPlaceholder::present(const WindowView& view) {
    const QString query = QString::fromStdString(view.query);
    if (query != text()) setText(query);
    if (view.searchFocused && !hasFocus()) setFocus(Qt::ShortcutFocusReason);
}

void SearchPlaceholder::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    m_context.actions.setSearchFocused(true);
}

void SearchPlaceholder::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    m_context.actions.setSearchFocused(false);
}

BannerPlaceholder::BannerPlaceholder(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("banner"));
    setFixedHeight(40);
    hide();
}

void BannerPlaceholder::present(const WindowView& view) {
    const bool shown = view.engine != nullptr && view.engine->banner.has_value();
    if (shown != isVisible()) setVisible(shown);
    if (view.dark != m_dark) {
        m_dark = view.dark;
        update();
    }
}

void BannerPlaceholder::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const Palette& pal = Palette::of(m_dark);
    p.setPen(QPen(pal.outline, 1, Qt::DashLine));
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
    p.setPen(pal.secondary);
    p.setFont(Dazu::text(11, FontWeight::medium));
    p.drawText(rect(), Qt::AlignCenter, QStringLiteral("banner"));
}

}  // namespace virirado
