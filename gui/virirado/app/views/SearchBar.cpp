#include "SearchBar.hpp"

#include <QFontMetricsF>
#include <cmath>

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleHints>

#include "Card.hpp"
#include "ChromeFigures.hpp"
#include "ClampedLabel.hpp"
#include "Palette.hpp"
#include "PlainText.hpp"
#include "SymbolIcon.hpp"
#include "Symbols.hpp"
#include "Theme.hpp"

namespace virirado {

// The field.

SearchField::SearchField(QWidget* parent) : QLineEdit(parent) {
    setObjectName(QStringLiteral("searchField"));
    setPlaceholderText(QStringLiteral("Search"));
    setAccessibleName(QStringLiteral("Search"));
    setFrame(false);
    setFont(Dazu::text(12.5, FontWeight::regular));
    setTextMargins(0, 0, 0, 0);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize SearchField::sizeHint() const {
    // The text line and the one point above and below it that the field keeps.
    const int line = static_cast<int>(std::ceil(QFontMetricsF(font()).height()));
    return {QLineEdit::sizeHint().width(), line + 2};
}

void SearchField::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        emit escaped();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void SearchField::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    emit focusChanged(true);
}

void SearchField::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    emit focusChanged(false);
}

// The clear button.

ClearButton::ClearButton(QWidget* parent) : QAbstractButton(parent) {
    setObjectName(QStringLiteral("searchClear"));
    setAccessibleName(QStringLiteral("Clear search"));
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setFixedSize(sizeHint());
}

void ClearButton::setColor(const QColor& color) {
    if (color == m_color) return;
    m_color = color;
    update();
}

void ClearButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    Symbols::paint(p, QStringLiteral("xmark.circle.fill"), QRectF(rect()), m_color);
}

// The bar.

SearchBar::SearchBar(AreaContext context, QWidget* parent)
    : QWidget(parent),
      m_context(context),
      m_glass(new SymbolIcon(QStringLiteral("magnifyingglass"), 12, this)),
      m_field(new SearchField(this)),
      m_count(new ClampedLabel(this)),
      m_clear(new ClearButton(this)) {
    setObjectName(QStringLiteral("searchBar"));
    setFixedWidth(248);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setToolTip(
        plainToolTip(QStringLiteral("Filters: size:>1G kind:devbuild age:>90d ext:mov is:ticked")));

    m_count->setObjectName(QStringLiteral("searchCount"));
    m_count->setTextFont(Dazu::mono(12, Dazu::MonoFace::medium));
    m_count->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_count->hide();
    m_clear->hide();

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 6, 12, 6);
    row->setSpacing(8);
    row->addWidget(m_glass);
    row->addWidget(m_field, 1);
    row->addWidget(m_count);
    row->addWidget(m_clear);

    // Every keystroke filters: the window derives the rows once per turn.
    connect(m_field, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_context.actions.setQuery(text.toStdString()); });
    connect(m_field, &SearchField::escaped, this, &SearchBar::escape);
    connect(m_field, &SearchField::focusChanged, this, [this](bool focused) {
        if (focused != m_focused) {
            m_focused = focused;
            update();
        }
        m_context.actions.setSearchFocused(focused);
    });
    connect(m_clear, &QAbstractButton::clicked, this, &SearchBar::clear);
    recolour();
}

void SearchBar::escape() {
    // The query first, then the focus; also with nothing typed.
    m_field->clear();
    m_context.actions.setQuery({});
    m_context.actions.setSearchFocused(false);
    m_field->clearFocus();
}

void SearchBar::clear() {
    // Only the text: a focused field stays focused, ready for the next query.
    m_field->clear();
    m_context.actions.setQuery({});
}

void SearchBar::recolour() {
    const Palette& pal = Palette::of(m_dark);
    m_glass->setColor(pal.secondary);
    m_count->setColor(pal.secondary);
    m_clear->setColor(pal.secondary);
    QPalette p = m_field->palette();
    p.setColor(QPalette::Base, Qt::transparent);
    p.setColor(QPalette::Text, pal.text);
    p.setColor(QPalette::PlaceholderText, pal.secondary);
    p.setColor(QPalette::Highlight, withAlpha(pal.accent, 0.35));
    p.setColor(QPalette::HighlightedText, pal.text);
    m_field->setPalette(p);
    update();
}

void SearchBar::present(const WindowView& view) {
    // A picture must come out the same every time, and with reduce motion on
    // nothing may move or wake the app: then the field's cursor is drawn steadily
    // instead of blinking.
    if ((view.snapshotMode || view.reduceMotion) &&
        QGuiApplication::styleHints()->cursorFlashTime() != 0)
        QGuiApplication::styleHints()->setCursorFlashTime(0);
    if (view.dark != m_dark) {
        m_dark = view.dark;
        recolour();
    }
    const QString query = QString::fromStdString(view.query);
    if (query != m_field->text()) m_field->setText(query);

    const bool typed = !view.query.empty();
    if (typed) m_count->setText(QString::fromStdString(searchCountText(view.visibleRows)));
    m_count->setVisible(typed);
    m_clear->setVisible(typed);

    if (view.searchFocused && !m_field->hasFocus()) m_field->setFocus(Qt::ShortcutFocusReason);
    if (!view.searchFocused && m_field->hasFocus()) m_field->clearFocus();
    const bool focused = m_field->hasFocus();
    if (focused != m_focused) {
        m_focused = focused;
        update();
    }
}

void SearchBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const Palette& pal = Palette::of(m_dark);
    const QRectF box(rect());
    // The border inside the capsule: 2 points of accent while the field has focus.
    paintCard(p, box, -1, pal.card, m_focused ? pal.accent : pal.outline, m_focused ? 2 : 1);
}

}  // namespace virirado
