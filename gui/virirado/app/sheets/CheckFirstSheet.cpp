#include "CheckFirstSheet.hpp"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>

#include "CapsuleButton.hpp"
#include "CheckList.hpp"
#include "ClampedLabel.hpp"
#include "Palette.hpp"
#include "ReadAs.hpp"
#include "RowSheets.hpp"
#include "SheetParts.hpp"
#include "Theme.hpp"

namespace virirado {

namespace {

constexpr int kWidth = 520;
constexpr int kLeastHeight = 420;
constexpr int kPadding = 22;
constexpr int kListLeast = 140;
// Past this the list scrolls instead of the sheet growing.
constexpr int kListMost = 360;

QFont secondaryFont() {
    return Dazu::text(13.5, FontWeight::regular);
}

}  // namespace

CheckFirstSheet::CheckFirstSheet(AreaContext context, QWidget* parent)
    : SheetDialog(context, parent) {
    setObjectName(QStringLiteral("checkFirstSheet"));
    build();
}

void CheckFirstSheet::build() {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    column->setSpacing(14);

    m_title = sheetLabel(this, "title", Dazu::text(17, FontWeight::semibold));
    m_title->setText(QStringLiteral("Check first"));
    setAccessibleName(m_title->text());
    m_explanation = sheetLabel(this, "explanation", secondaryFont(), 50);
    m_name = sheetLabel(this, "name", Dazu::text(15, FontWeight::semibold), 50);
    column->addWidget(m_title);
    column->addWidget(m_explanation);
    column->addWidget(m_name);

    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("checkScroll"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_scroll->setWidgetResizable(true);
    // The list itself takes the keys and moves through its lines.
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_list = new CheckList;
    // The row's name heads the list: a reader says it as the list's name.
    setLabelFor(m_name, m_list);
    m_scroll->setWidget(m_list);
    // The scroll area fills its widget by default; the sheet's colour shows through.
    m_list->setAutoFillBackground(false);
    column->addWidget(m_scroll, 1);

    m_why = sheetLabel(this, "why", secondaryFont(), 50);
    column->addWidget(m_why);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addStretch(1);
    m_keep = sheetButton(this, "keepButton");
    connect(m_keep, &QAbstractButton::clicked, this, [this] { backOut(); });
    m_clean = sheetButton(this, "cleanItButton");
    connect(m_clean, &QAbstractButton::clicked, this, [this] { cleanIt(); });
    buttons->addWidget(m_keep);
    buttons->addWidget(m_clean);
    column->addLayout(buttons);
}

void CheckFirstSheet::present(const WindowView& view) {
    if (!view.checkFirst) return;
    const bool schemeChanged = !m_presented || view.dark != m_dark;
    const bool changed = !m_row || *m_row != view.checkFirst->row ||
                         m_dryRun != view.snapshotMode || m_home != view.home;
    m_presented = true;
    m_home = view.home;
    m_dark = view.dark;
    m_dryRun = view.snapshotMode;
    if (schemeChanged) applyScheme();
    if (!changed) return;
    m_row = view.checkFirst->row;
    m_explanation->setText(qs(checkFirstExplanation(m_dryRun, m_row->name)));
    m_name->setText(qs(m_row->name));
    m_list->setAccessibleName(m_name->text());
    fillList();
    m_why->setText(qs(m_row->why));
    showForReaders(m_why, !m_row->why.empty());
    fitToContent();
}

// A reader starts on the row's own line, what this sheet is about.
QWidget* CheckFirstSheet::firstFocus() const {
    return m_list;
}

void CheckFirstSheet::fillList() {
    m_list->setLines(checkFirstLines(*m_row, m_home));
}

void CheckFirstSheet::applyScheme() {
    const Palette& palette = Palette::of(m_dark);
    setSheetBackground(this, palette.sheet);
    m_title->setColor(palette.text);
    m_explanation->setColor(palette.secondary);
    m_name->setColor(palette.text);
    m_list->setDark(m_dark);
    m_why->setColor(palette.secondary);
    styleButton(m_keep, QStringLiteral("Keep it"),
                {Dazu::text(13, FontWeight::regular), palette.text, Qt::transparent, 14, 8});
    styleButton(m_clean, QStringLiteral("Clean it"),
                {Dazu::text(15, FontWeight::semibold), palette.ink, palette.orange, 16, 8});
}

void CheckFirstSheet::fitToContent() {
    const int inner = kWidth - 2 * kPadding;
    const int listHeight = std::clamp(m_list->heightForWidth(inner), kListLeast, kListMost);
    // The sheet is as high as its content with the list at the height it asks
    // for; then the list takes whatever height the sheet is given.
    m_scroll->setFixedHeight(listHeight);
    const int height = std::max(kLeastHeight, layoutHeight(layout(), kWidth));
    m_scroll->setMinimumHeight(kListLeast);
    m_scroll->setMaximumHeight(QWIDGETSIZE_MAX);
    setMinimumSize(kWidth, kLeastHeight);
    resize(kWidth, height);
}

void CheckFirstSheet::cleanIt() {
    m_context.actions.cleanCheckFirst();
}

void CheckFirstSheet::keyPressEvent(QKeyEvent* event) {
    if (isReturnKey(event)) {
        event->accept();
        cleanIt();
        return;
    }
    SheetDialog::keyPressEvent(event);
}

void CheckFirstSheet::backOut() {
    m_context.actions.keepCheckFirst();
}

}  // namespace virirado
