#include "ConfirmSheet.hpp"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QShortcut>
#include <QVBoxLayout>
#include <algorithm>

#include "CapsuleButton.hpp"
#include "ClampedLabel.hpp"
#include "CleanProgressView.hpp"
#include "LivePill.hpp"
#include "Palette.hpp"
#include "PreviewLine.hpp"
#include "ReadAs.hpp"
#include "SheetParts.hpp"
#include "Theme.hpp"

namespace virirado {

namespace {

constexpr int kWidth = 460;
constexpr int kPadding = 22;

QFont secondaryFont() {
    return Dazu::text(13.5, FontWeight::regular);
}

}  // namespace

ConfirmSheet::ConfirmSheet(AreaContext context, QWidget* parent) : SheetDialog(context, parent) {
    setObjectName(QStringLiteral("confirmSheet"));
    build();
}

void ConfirmSheet::build() {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    outer->setSpacing(0);

    m_confirmPage = new QWidget(this);
    m_confirmPage->setObjectName(QStringLiteral("confirmPage"));
    auto* column = new QVBoxLayout(m_confirmPage);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    // Content shorter than the sheet sits in its middle.
    column->addStretch(1);

    auto* titleRow = new QHBoxLayout;
    titleRow->setSpacing(8);
    m_title = sheetLabel(m_confirmPage, "title", Dazu::text(17, FontWeight::semibold));
    m_pill = new LivePill(m_confirmPage);
    titleRow->addWidget(m_title);
    titleRow->addWidget(m_pill, 0, Qt::AlignVCenter);
    titleRow->addStretch(1);
    column->addLayout(titleRow);

    m_headline = sheetLabel(m_confirmPage, "headline", Dazu::mono(22, Dazu::MonoFace::semibold));
    m_split = sheetLabel(m_confirmPage, "split", secondaryFont());
    column->addWidget(m_headline);
    column->addWidget(m_split);

    buildPanel(column);
    buildCodeRow(column);
    buildButtons(column);
    column->addStretch(1);
    outer->addWidget(m_confirmPage, 1);

    m_progressView = new CleanProgressView(m_context.clock, this);
    m_progressView->setOnDone([this] { m_context.actions.dismissPreview(); });
    m_progressView->hide();
    outer->addWidget(m_progressView, 1);
}

void ConfirmSheet::buildPanel(QVBoxLayout* column) {
    m_panel = new PanelBox(m_confirmPage);
    m_panel->setObjectName(QStringLiteral("previewPanel"));
    auto* panel = new QVBoxLayout(m_panel);
    panel->setContentsMargins(12, 12, 12, 12);
    panel->setSpacing(6);
    for (std::size_t i = 0; i < kPanelRows; ++i) {
        auto* line = new PreviewLine(m_panel);
        m_lines.push_back(line);
        panel->addWidget(line);
    }
    m_more = sheetLabel(m_panel, "more", secondaryFont());
    panel->addWidget(m_more);
    column->addWidget(m_panel);

    m_heldBack = sheetLabel(m_confirmPage, "heldBack", secondaryFont());
    column->addWidget(m_heldBack);
}

void ConfirmSheet::buildCodeRow(QVBoxLayout* column) {
    m_codeRow = new QWidget(m_confirmPage);
    m_codeRow->setObjectName(QStringLiteral("codeRow"));
    auto* codeRow = new QHBoxLayout(m_codeRow);
    codeRow->setContentsMargins(0, 0, 0, 0);
    codeRow->setSpacing(10);
    m_prompt = sheetLabel(m_codeRow, "codePrompt", Dazu::text(13, FontWeight::semibold));
    m_prompt->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_field = new QLineEdit(m_codeRow);
    m_field->setObjectName(QStringLiteral("codeField"));
    m_field->setFont(Dazu::mono(15, Dazu::MonoFace::semibold));
    m_field->setFixedWidth(64);
    m_field->setPlaceholderText(QString());
    // The prompt holds the code: a reader says it with the field.
    setLabelFor(m_prompt, m_field);
    connect(m_field, &QLineEdit::textChanged, this, [this] { refresh(); });
    codeRow->addWidget(m_prompt, 0, Qt::AlignVCenter);
    codeRow->addWidget(m_field, 0, Qt::AlignVCenter);
    codeRow->addStretch(1);
    column->addWidget(m_codeRow);
}

void ConfirmSheet::buildButtons(QVBoxLayout* column) {
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addStretch(1);
    m_cancel = sheetButton(m_confirmPage, "cancelButton");
    connect(m_cancel, &QAbstractButton::clicked, this, [this] { backOut(); });
    m_primary = sheetButton(m_confirmPage, "primaryButton");
    connect(m_primary, &QAbstractButton::clicked, this, [this] { tryClean(); });
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_primary);
    column->addLayout(buttons);

    // Deliberately a chord no text field uses, and never Return.
    const QKeySequence chord(Qt::CTRL | Qt::SHIFT | Qt::Key_D);
    m_deleteKey = new QShortcut(chord, this);
    m_deleteKey->setContext(Qt::WindowShortcut);
    connect(m_deleteKey, &QShortcut::activated, this, [this] { deleteShortcut(); });
    // Told to tools with the button, which itself still answers only a click
    // or Space: the shortcut above is the key's one way in.
    setSpokenKey(m_primary, chord);
}

void ConfirmSheet::present(const WindowView& view) {
    if (view.engine == nullptr || !view.engine->preview) return;
    const EngineState& engine = *view.engine;
    // The window shows what the last request led to: a new one may be made.
    m_sent = false;
    const bool schemeChanged = !m_presented || view.dark != m_dark;
    m_presented = true;
    m_dark = view.dark;
    m_reduceMotion = view.reduceMotion;
    m_home = view.home;
    m_dryRun = view.snapshotMode;
    if (!m_payload || *m_payload != *engine.preview) takePreview(*engine.preview, m_dryRun);
    m_verifying = engine.verifying;
    m_progress = engine.cleanProgress;
    m_logProblem = engine.deletionLogProblem;
    m_progressView->setCloseWaiting(view.closeWaiting);
    if (schemeChanged) applyScheme();
    refresh();
}

// Into the sheet, so a reader speaks it: the code field when the code is asked
// for (its label holds the code), else Cancel; a finished run's Done.
QWidget* ConfirmSheet::firstFocus() const {
    if (m_progress) return m_progressView->firstFocus();
    if (m_codeRow->isVisibleTo(this)) return m_field;
    return m_cancel;
}

void ConfirmSheet::takePreview(const PreviewPayload& payload, bool snapshotMode) {
    // The same sheet handed a different list starts over: the code typed for
    // one list never confirms another.
    if (m_payload) {
        m_code.clear();
        m_field->clear();
    }
    if (m_code.empty()) drawCode(snapshotMode);
    m_payload = payload;
    m_facts = ConfirmFacts::of(payload);
    fillPanel();
}

void ConfirmSheet::drawCode(bool snapshotMode) {
    m_code = snapshotMode ? std::string(kSnapshotCode)
                          : codeFromDraw(QRandomGenerator::system()->bounded(90u));
}

void ConfirmSheet::fillPanel() {
    const std::vector<PreviewRow> rows = panelRows(m_facts.rows);
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (i < rows.size()) m_lines[i]->setRow(rows[i]);
        showForReaders(m_lines[i], i < rows.size());
    }
    const std::optional<std::string> more = moreLine(m_facts.rows.size());
    if (more) m_more->setText(qs(*more));
    showForReaders(m_more, more.has_value());
    showForReaders(m_panel, !rows.empty() || more.has_value());
}

void ConfirmSheet::refresh() {
    if (!m_payload) return;
    const bool progress = m_progress.has_value();
    showForReaders(m_confirmPage, !progress);
    showForReaders(m_progressView, progress);
    if (progress) {
        m_progressView->present(*m_progress, m_dryRun ? 0 : m_facts.trashCount, m_dark,
                                m_reduceMotion, m_home, m_logProblem);
        nameSheet(m_progressView->title());
    } else {
        m_title->setText(qs(confirmTitle(m_dryRun, m_facts.forceCode)));
        nameSheet(m_title->text());
        showForReaders(m_pill, !m_dryRun);
        m_headline->setText(qs(confirmHeadline(m_facts)));
        m_split->setText(qs(confirmSplitLine(m_facts)));
        const std::optional<std::string> held = heldBackLine(m_facts.blockedCount);
        if (held) m_heldBack->setText(qs(*held));
        showForReaders(m_heldBack, held.has_value());
        m_prompt->setText(qs(codePrompt(m_code)));
        if (m_field->accessibleName() != m_prompt->text())
            m_field->setAccessibleName(m_prompt->text());
        showForReaders(m_codeRow, m_facts.asksForCode(m_dryRun));
        const Palette& palette = Palette::of(m_dark);
        SheetButtonLook look{
            Dazu::text(15, FontWeight::semibold), Qt::white, palette.liveRed, 16, 8, 0.4};
        if (m_dryRun) {
            look.text = palette.ink;
            look.fill = palette.orange;
            setSpokenKey(m_primary, QKeySequence(Qt::Key_Return));
        }
        styleButton(m_primary, qs(primaryText(m_verifying, m_dryRun, m_facts.total)), look);
        m_primary->setEnabled(isConfirmed());
    }
    m_deleteKey->setEnabled(!m_dryRun && !progress);
    fitToContent();
}

// The name a reader hears when the sheet comes up: what its title says now.
void ConfirmSheet::nameSheet(const QString& title) {
    if (accessibleName() != title) setAccessibleName(title);
}

void ConfirmSheet::applyScheme() {
    const Palette& palette = Palette::of(m_dark);
    setSheetBackground(this, palette.sheet);
    m_title->setColor(palette.text);
    m_headline->setColor(palette.text);
    m_split->setColor(palette.secondary);
    m_panel->setDark(m_dark);
    for (PreviewLine* line : m_lines)
        line->setDark(m_dark);
    m_more->setColor(palette.secondary);
    m_heldBack->setColor(palette.secondary);
    m_prompt->setColor(palette.text);
    styleButton(m_cancel, QStringLiteral("Cancel"),
                {Dazu::text(13, FontWeight::regular), palette.text, Qt::transparent, 14, 8});
}

void ConfirmSheet::fitToContent() {
    // Each view keeps its least height, whatever state the sheet opened in, and
    // grows with what it shows beyond it.
    const int least = m_progress ? 190 : 300;
    const int height = std::max(least, layoutHeight(layout(), kWidth));
    if (size() != QSize(kWidth, height)) setFixedSize(kWidth, height);
}

bool ConfirmSheet::isConfirmed() const {
    if (!m_payload) return false;
    const std::string typed = m_field->text().toStdString();
    return confirmed({!m_facts.rows.empty(), m_verifying, m_dryRun, m_facts.forceCode,
                      m_facts.needsCode, typed, m_code});
}

bool ConfirmSheet::running() const {
    return m_verifying || (m_progress && m_progress->isRunning());
}

void ConfirmSheet::tryClean() {
    // Everything is checked again at the moment of the request, whatever the
    // button looked like.
    if (m_sent || !m_payload || m_progress || !isConfirmed()) return;
    m_sent = true;
    m_context.actions.confirmClean(*m_payload);
}

void ConfirmSheet::deleteShortcut() {
    if (m_dryRun) return;
    tryClean();
}

void ConfirmSheet::keyPressEvent(QKeyEvent* event) {
    if (!isReturnKey(event)) {
        SheetDialog::keyPressEvent(event);
        return;
    }
    event->accept();
    if (m_progress) {
        if (!m_progress->isRunning()) m_progressView->pressDone();
        return;
    }
    // Return runs a dry run; it never starts a real clean.
    if (m_dryRun) tryClean();
}

void ConfirmSheet::backOut() {
    // A clean that has begun is followed to its end: the sheet stays.
    if (running()) return;
    m_context.actions.dismissPreview();
}

}  // namespace virirado
