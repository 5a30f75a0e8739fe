#include "QuickDeleteFirstSheet.hpp"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTextLayout>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "CapsuleButton.hpp"
#include "ClampedLabel.hpp"
#include "LivePill.hpp"
#include "Palette.hpp"
#include "ReadAs.hpp"
#include "RowSheets.hpp"
#include "SheetParts.hpp"
#include "Theme.hpp"

namespace virirado {

namespace {

constexpr int kWidth = 460;
constexpr int kHeight = 290;
constexpr int kPadding = 22;
constexpr int kPathLines = 2;

QFont pathFont() {
    return Dazu::text(13.5, FontWeight::regular);
}

// The path as selectable plain text (click, select, copy), at most two lines
// high; a longer path is cut at the second line rather than made to scroll. It
// takes no keys but the copy ones, so Return and Escape still reach the sheet.
QPlainTextEdit* makePathView(QWidget* parent) {
    auto* view = new QPlainTextEdit(parent);
    view->setObjectName(QStringLiteral("path"));
    view->setReadOnly(true);
    view->setTextInteractionFlags(Qt::TextSelectableByMouse);
    view->setFocusPolicy(Qt::ClickFocus);
    view->setFrameShape(QFrame::NoFrame);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    view->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    view->setFont(pathFont());
    view->document()->setDocumentMargin(0);
    view->viewport()->setAutoFillBackground(false);
    view->setAutoFillBackground(false);
    view->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return view;
}

// Lines the path takes at the view's width, counted by the text layout.
int pathLines(QPlainTextEdit* view, const QString& text, int width) {
    QTextLayout layout(text, view->font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    int lines = 0;
    while (true) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(width);
        ++lines;
    }
    layout.endLayout();
    return std::max(1, lines);
}

}  // namespace

QuickDeleteFirstSheet::QuickDeleteFirstSheet(AreaContext context, QWidget* parent)
    : SheetDialog(context, parent) {
    setObjectName(QStringLiteral("quickDeleteFirstSheet"));
    setFixedSize(kWidth, kHeight);
    build();
}

void QuickDeleteFirstSheet::build() {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    column->setSpacing(14);

    auto* titleRow = new QHBoxLayout;
    titleRow->setSpacing(8);
    m_title = sheetLabel(this, "title", Dazu::text(17, FontWeight::semibold));
    m_title->setText(QStringLiteral("Quick Delete \u00B7 Confirmation 1 of 2"));
    setAccessibleName(m_title->text());
    m_pill = new LivePill(this);
    titleRow->addWidget(m_title);
    titleRow->addWidget(m_pill, 0, Qt::AlignVCenter);
    titleRow->addStretch(1);
    column->addLayout(titleRow);

    m_name = sheetLabel(this, "name", Dazu::display(18, 700), 2);
    column->addWidget(m_name);
    m_path = makePathView(this);
    column->addWidget(m_path);

    m_panel = new PanelBox(this);
    m_panel->setObjectName(QStringLiteral("sizePanel"));
    // Size and fate in three faces are read with the name above them (see
    // present), so the panel says nothing of its own.
    readAsOneText(m_panel);
    auto* panel = new QHBoxLayout(m_panel);
    panel->setContentsMargins(12, 12, 12, 12);
    panel->setSpacing(10);
    m_size = sheetLabel(m_panel, "size", Dazu::mono(20, Dazu::MonoFace::semibold));
    m_dot = sheetLabel(m_panel, "dot", Dazu::text(15, FontWeight::medium));
    m_dot->setText(QStringLiteral("\u00B7"));
    m_fate = sheetLabel(m_panel, "fate", Dazu::text(13, FontWeight::semibold));
    for (ClampedLabel* label : {m_size, m_dot, m_fate}) {
        label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        panel->addWidget(label, 0, Qt::AlignVCenter);
    }
    panel->addStretch(1);
    column->addWidget(m_panel);

    m_question = sheetLabel(this, "question", Dazu::text(15, FontWeight::medium), 3);
    m_question->setText(QString::fromUtf8(kQuickDeleteQuestion));
    column->addWidget(m_question);
    column->addStretch(1);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addStretch(1);
    m_cancel = sheetButton(this, "cancelButton");
    connect(m_cancel, &QAbstractButton::clicked, this, [this] { backOut(); });
    m_continue = sheetButton(this, "continueButton");
    connect(m_continue, &QAbstractButton::clicked, this,
            [this] { m_context.actions.continueQuickDelete(); });
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_continue);
    column->addLayout(buttons);
}

void QuickDeleteFirstSheet::present(const WindowView& view) {
    if (!view.quickDeleteFirst) return;
    const bool schemeChanged = !m_presented || view.dark != m_dark;
    m_presented = true;
    m_dark = view.dark;
    if (schemeChanged) applyScheme();
    const VadeRow& row = view.quickDeleteFirst->row;
    if (m_row && *m_row == row) return;
    m_row = row;
    m_name->setText(qs(row.name));
    showPath(quickDeletePath(row, view.home));
    m_size->setText(qs(quickDeleteSize(row)));
    m_fate->setText(qs(row.fate()));
    // The item, what it frees and how, as one line: a reader speaks a sheet's
    // texts of three words or more when it opens, and a name is often shorter,
    // so alone the sheet would be heard without the item it is about.
    m_name->setAccessibleName(m_name->text() + QStringLiteral(", ") + m_size->text() +
                              QStringLiteral(" \u00B7 ") + m_fate->text());
}

void QuickDeleteFirstSheet::showPath(const std::optional<std::string>& path) {
    showForReaders(m_path, path.has_value());
    if (!path) return;
    const QString text = qs(*path);
    m_path->setPlainText(text);
    const int inner = kWidth - 2 * kPadding;
    const int lines = std::min(kPathLines, pathLines(m_path, text, inner));
    const QFontMetricsF fm(m_path->font());
    m_path->setFixedHeight(
        static_cast<int>(std::ceil(fm.lineSpacing() * (lines - 1) + fm.height())) + 1);
}

void QuickDeleteFirstSheet::applyScheme() {
    const Palette& palette = Palette::of(m_dark);
    setSheetBackground(this, palette.sheet);
    m_title->setColor(palette.text);
    m_name->setColor(palette.title);
    QPalette pathPalette = m_path->palette();
    pathPalette.setColor(QPalette::Text, palette.secondary);
    pathPalette.setColor(QPalette::Base, Qt::transparent);
    m_path->setPalette(pathPalette);
    m_panel->setDark(m_dark);
    m_size->setColor(palette.text);
    m_dot->setColor(palette.secondary);
    m_fate->setColor(palette.checkInk);
    m_question->setColor(palette.secondary);
    styleButton(m_cancel, QStringLiteral("Cancel"),
                {Dazu::text(14, FontWeight::medium), palette.text, Qt::transparent, 14, 8});
    styleButton(m_continue, QStringLiteral("Continue to Final Confirmation\u2026"),
                {Dazu::text(14, FontWeight::semibold), Qt::white, palette.liveRed, 16, 8});
}

void QuickDeleteFirstSheet::keyPressEvent(QKeyEvent* event) {
    if (isReturnKey(event)) {
        event->accept();
        m_context.actions.continueQuickDelete();
        return;
    }
    SheetDialog::keyPressEvent(event);
}

// The keys come in on Cancel: backing out is the safe first step.
QWidget* QuickDeleteFirstSheet::firstFocus() const {
    return m_cancel;
}

void QuickDeleteFirstSheet::backOut() {
    m_context.actions.cancelQuickDelete();
}

}  // namespace virirado
