#include "CleanProgressView.hpp"

#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "Announcer.hpp"
#include "CapsuleButton.hpp"
#include "ClampedLabel.hpp"
#include "CleanBar.hpp"
#include "CleanReport.hpp"
#include "Clock.hpp"
#include "FailureList.hpp"
#include "LivePill.hpp"
#include "LogFolder.hpp"
#include "Palette.hpp"
#include "ReadAs.hpp"
#include "SheetParts.hpp"
#include "Theme.hpp"

namespace virirado {

namespace {

using Phase = durozizo::CleanProgress::Phase;

QFont secondaryFont() {
    return Dazu::text(13.5, FontWeight::regular);
}

// Sentences joined as a reader should hear them, each closed by a stop.
void addSentence(QString& to, const QString& sentence) {
    if (sentence.trimmed().isEmpty()) return;
    if (!to.isEmpty()) {
        static const QString closers = QStringLiteral(".!?\u2026");
        if (!closers.contains(to.back())) to += u'.';
        to += u' ';
    }
    to += sentence;
}

void setOptionalText(ClampedLabel* label, const std::optional<std::string>& text) {
    if (text) label->setText(qs(*text));
    showForReaders(label, text.has_value());
}

void openInFileManager(const QString& folder) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

}  // namespace

CleanProgressView::CleanProgressView(const WindowClock& clock, QWidget* parent)
    : QWidget(parent), m_clock(clock), m_openFolder(openInFileManager) {
    setObjectName(QStringLiteral("cleanProgress"));
    build();
}

void CleanProgressView::build() {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    buildHeader(column);
    buildRunning(column);
    buildResult(column);
    column->addStretch(1);
    buildButtons(column);

    m_elapsedTimer = new QTimer(this);
    m_elapsedTimer->setSingleShot(true);
    connect(m_elapsedTimer, &QTimer::timeout, this, [this] {
        updateElapsed();
        armElapsed();
    });
}

void CleanProgressView::buildHeader(QVBoxLayout* column) {
    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    m_title = sheetLabel(this, "progressTitle", Dazu::text(17, FontWeight::semibold));
    m_pill = new LivePill(this);
    m_elapsed = sheetLabel(this, "elapsed", Dazu::mono(13, Dazu::MonoFace::medium));
    m_elapsed->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    header->addWidget(m_title);
    header->addWidget(m_pill, 0, Qt::AlignVCenter);
    header->addStretch(1);
    header->addWidget(m_elapsed, 0, Qt::AlignVCenter);
    column->addLayout(header);
}

void CleanProgressView::buildRunning(QVBoxLayout* column) {
    m_running = new QWidget(this);
    m_running->setObjectName(QStringLiteral("runningPart"));
    auto* running = new QVBoxLayout(m_running);
    running->setContentsMargins(0, 0, 0, 0);
    running->setSpacing(8);
    m_bar = new CleanBar(m_clock, m_running);
    m_counts = sheetLabel(m_running, "counts", Dazu::mono(15, Dazu::MonoFace::semibold));
    m_current = sheetLabel(m_running, "current", secondaryFont());
    m_current->setElide(Qt::ElideMiddle);
    running->addWidget(m_bar);
    running->addWidget(m_counts);
    running->addWidget(m_current);
    column->addWidget(m_running);
}

void CleanProgressView::buildResult(QVBoxLayout* column) {
    m_result = new QWidget(this);
    m_result->setObjectName(QStringLiteral("resultPart"));
    auto* result = new QVBoxLayout(m_result);
    result->setContentsMargins(0, 0, 0, 0);
    result->setSpacing(8);
    m_headline = sheetLabel(m_result, "headline", Dazu::mono(18, Dazu::MonoFace::semibold));
    m_error = sheetLabel(m_result, "error", secondaryFont(), 4);
    m_logLine = sheetLabel(m_result, "logProblem", secondaryFont(), 3);
    m_trashNote = sheetLabel(m_result, "trashNote", secondaryFont(), 2);
    m_notTried = sheetLabel(m_result, "notTried", secondaryFont());
    m_failurePanel = new PanelBox(m_result);
    m_failurePanel->setObjectName(QStringLiteral("failurePanel"));
    auto* panel = new QVBoxLayout(m_failurePanel);
    panel->setContentsMargins(10, 10, 10, 10);
    m_failureScroll = new QScrollArea(m_failurePanel);
    m_failureScroll->setObjectName(QStringLiteral("failureScroll"));
    m_failureScroll->setFrameShape(QFrame::NoFrame);
    m_failureScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_failureScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_failureScroll->setWidgetResizable(true);
    m_failureScroll->setFocusPolicy(Qt::NoFocus);
    m_failureScroll->viewport()->setAutoFillBackground(false);
    m_failures = new FailureList;
    m_failureScroll->setWidget(m_failures);
    // The scroll area fills its widget by default; the panel's tint shows through.
    m_failures->setAutoFillBackground(false);
    panel->addWidget(m_failureScroll);
    for (QWidget* w : {static_cast<QWidget*>(m_headline), static_cast<QWidget*>(m_error),
                       static_cast<QWidget*>(m_logLine), static_cast<QWidget*>(m_trashNote),
                       static_cast<QWidget*>(m_notTried), static_cast<QWidget*>(m_failurePanel)}) {
        result->addWidget(w);
    }
    column->addWidget(m_result);
}

void CleanProgressView::buildButtons(QVBoxLayout* column) {
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    m_showLog = sheetButton(this, "showLogButton");
    connect(m_showLog, &QAbstractButton::clicked, this, &CleanProgressView::showLog);
    m_done = sheetButton(this, "doneButton");
    connect(m_done, &QAbstractButton::clicked, this, &CleanProgressView::pressDone);
    m_cantStop = sheetLabel(this, "cantStop", secondaryFont());
    m_cantStop->setText(qs(stopLine(false)));
    m_cantStop->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    buttons->addWidget(m_showLog, 0, Qt::AlignVCenter);
    buttons->addStretch(1);
    buttons->addWidget(m_done, 0, Qt::AlignVCenter);
    buttons->addWidget(m_cantStop, 0, Qt::AlignVCenter);
    column->addLayout(buttons);
}

void CleanProgressView::present(const durozizo::CleanProgress& progress, int64_t trashed, bool dark,
                                bool reduceMotion, const std::string& home,
                                const std::optional<std::string>& logProblem) {
    const bool schemeChanged = !m_schemeSet || dark != m_dark;
    const bool same =
        m_progress && *m_progress == progress && trashed == m_trashed && logProblem == m_logProblem;
    m_dark = dark;
    m_schemeSet = true;
    m_home = home;
    m_bar->setMotion(!reduceMotion);
    if (schemeChanged) applyScheme();
    if (same) return;
    m_progress = progress;
    m_trashed = trashed;
    m_logProblem = logProblem;

    const bool finished = progress.phase == Phase::finished;
    m_title->setText(qs(progressTitle(progress)));
    showForReaders(m_pill, !progress.readsDry());
    showForReaders(m_elapsed, !finished);
    showForReaders(m_running, !finished);
    showForReaders(m_result, finished);
    if (finished) {
        updateResult();
    } else {
        updateRunning();
    }
    showForReaders(m_showLog, showsLog(progress));
    showForReaders(m_done, showsDone(progress));
    showForReaders(m_cantStop, !showsDone(progress));
    updateElapsed();
    armElapsed();
    tellReader();
}

QWidget* CleanProgressView::firstFocus() const {
    return m_progress && showsDone(*m_progress) ? m_done : nullptr;
}

QString CleanProgressView::title() const {
    return m_title->text();
}

QString CleanProgressView::spokenState() const {
    QString words = m_title->text();
    if (!m_progress || m_progress->phase != Phase::finished) return words;
    for (const ClampedLabel* line : {m_headline, m_error, m_logLine, m_trashNote, m_notTried}) {
        if (line->isVisibleTo(m_result)) addSentence(words, line->text());
    }
    return words;
}

// Nothing else tells a reader how the run goes: no key brings it, and the
// sheet's new name never reaches it. At the end the keys come to Done (as its
// Return does), and the result is announced after the reader has said where
// the keys are.
void CleanProgressView::tellReader() {
    const bool finished = showsDone(*m_progress);
    // A sheet that opens on a finished run gets its keys from the sheet host.
    if (finished && !m_doneFocused && window()->isVisible()) m_done->setFocus();
    m_doneFocused = finished;
    const QString words = spokenState();
    if (words == m_told) return;
    m_told = words;
    // Told from the window behind the sheet: a reader brings in a notification
    // of the sheet's own with the sheet's name and all its lines, which would
    // say the result twice.
    QWidget* from =
        window()->parentWidget() != nullptr ? window()->parentWidget()->window() : window();
    announce(from, words);
}

void CleanProgressView::setCloseWaiting(bool waiting) {
    m_cantStop->setText(qs(stopLine(waiting)));
}

void CleanProgressView::updateRunning() {
    const durozizo::CleanProgress& p = *m_progress;
    m_bar->setValue(barIndeterminate(p) ? std::nullopt : std::optional(barFraction(p)));
    m_counts->setText(qs(countsLine(p)));
    m_current->setText(qs(currentLine(p)));
}

void CleanProgressView::updateResult() {
    const durozizo::CleanProgress& p = *m_progress;
    m_headline->setText(qs(resultHeadline(p)));
    setOptionalText(m_error, errorLine(p));
    setOptionalText(m_logLine, logProblemLine(p, m_logProblem));
    setOptionalText(m_trashNote, trashNote(p, m_trashed));
    setOptionalText(m_notTried, notTriedLine(p));
    m_failures->setFailures(p.failures);
    const int height = failureListHeight(p.failures.size());
    if (height > 0) m_failureScroll->setFixedHeight(height);
    showForReaders(m_failurePanel, height > 0);
}

void CleanProgressView::updateElapsed() {
    if (!m_progress || !m_progress->isRunning()) return;
    m_elapsed->setText(qs(elapsedText(startedSeconds(*m_progress), m_clock.now())));
}

// The elapsed time is text, not motion: it ticks with reduce motion on too, and
// stops with the run.
void CleanProgressView::armElapsed() {
    if (!m_progress || !m_progress->isRunning()) {
        m_elapsedTimer->stop();
        return;
    }
    if (m_elapsedTimer->isActive()) return;
    m_elapsedTimer->start(msToNextSecond(startedSeconds(*m_progress), m_clock.now()));
}

void CleanProgressView::applyScheme() {
    const Palette& palette = Palette::of(m_dark);
    m_title->setColor(palette.text);
    m_elapsed->setColor(palette.secondary);
    m_bar->setDark(m_dark);
    m_counts->setColor(palette.text);
    m_current->setColor(palette.secondary);
    m_headline->setColor(palette.text);
    m_error->setColor(palette.liveRed);
    m_logLine->setColor(palette.liveRed);
    m_trashNote->setColor(palette.secondary);
    m_notTried->setColor(palette.secondary);
    m_failurePanel->setDark(m_dark);
    m_failures->setDark(m_dark);
    m_cantStop->setColor(palette.secondary);
    styleButton(m_showLog, QStringLiteral("Show log"),
                {Dazu::text(13, FontWeight::regular), palette.accentText, Qt::transparent, 0, 4});
    styleButton(m_done, QStringLiteral("Done"),
                {Dazu::text(15, FontWeight::semibold), palette.ink, palette.orange, 16, 8});
}

void CleanProgressView::pressDone() {
    if (!m_progress || !showsDone(*m_progress)) return;
    if (m_onDone) m_onDone();
}

void CleanProgressView::showLog() {
    if (!m_progress || !showsLog(*m_progress) || m_home.empty()) return;
    const std::optional<std::string> where = logfolder::path(m_home);
    if (!where) return;
    const QString folder = qs(*where);
    // Only the log folder itself: never a link planted in its place.
    const QFileInfo info(folder);
    if (!info.exists() || info.isSymLink() || !info.isDir()) return;
    if (m_openFolder) m_openFolder(folder);
}

}  // namespace virirado
