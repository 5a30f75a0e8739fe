#include "SummaryBar.hpp"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>

#include "BackdropGlow.hpp"
#include "CapsuleButton.hpp"
#include "ChromeFigures.hpp"
#include "ClampedLabel.hpp"
#include "DisplayPath.hpp"
#include "Format.hpp"
#include "Palette.hpp"
#include "PlainText.hpp"
#include "PulsingDot.hpp"
#include "RunsLabel.hpp"
#include "ScanBar.hpp"
#include "ScanProgress.hpp"
#include "Theme.hpp"

namespace virirado {

namespace {

// The accent rule on top and the space under it.
constexpr double kRule = 1.5;
constexpr int kRowTop = 14;

CapsuleStyle plainButton() {
    CapsuleStyle style;
    style.padX = 0;
    style.padY = 0;
    return style;
}

}  // namespace

// The scan summary.

ScanSummary::ScanSummary(const WindowClock& clock, QWidget* parent)
    : QWidget(parent),
      m_dot(new PulsingDot(clock, Palette::of(false).accent, this)),
      m_word(new RunsLabel(this)),
      m_bar(new ScanBar(clock, this)),
      m_progress(new ClampedLabel(this)),
      m_place(new ClampedLabel(this)),
      m_cancel(new CapsuleButton(this)) {
    setObjectName(QStringLiteral("scanSummary"));
    m_bar->setFixedSize(220, 9);
    m_progress->setObjectName(QStringLiteral("progressLabel"));
    m_progress->setTextFont(Dazu::mono(12.5, Dazu::MonoFace::semibold));
    m_progress->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_place->setObjectName(QStringLiteral("summaryPlace"));
    m_place->setTextFont(Dazu::mono(11.5, Dazu::MonoFace::medium));
    m_place->setElide(Qt::ElideMiddle);
    m_place->setMaximumWidth(280);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    m_cancel->setCapsule(plainButton());
    m_cancel->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Period));

    auto* word = new QHBoxLayout;
    word->setSpacing(6);
    word->addWidget(m_dot);
    word->addWidget(m_word);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    row->addLayout(word);
    row->addWidget(m_bar);
    row->addWidget(m_progress);
    row->addWidget(m_place);
    row->addWidget(m_cancel);
}

void ScanSummary::present(const WindowView& view) {
    const Palette& pal = Palette::of(view.dark);
    const EngineState& e = *view.engine;
    m_dot->setReduceMotion(view.reduceMotion);
    m_word->setRuns({{QStringLiteral("Scanning"), Dazu::text(13, FontWeight::bold), pal.text}});
    m_bar->setDark(view.dark);
    m_bar->setReduceMotion(view.reduceMotion);
    m_bar->setProgress(e.pct);
    const QString progress = QString::fromStdString(progressLabel(e.pct, e.eta));
    m_bar->setAccessibleDescription(progress);
    m_progress->setText(progress);
    m_progress->setColor(pal.text);
    m_place->setVisible(!e.place.empty());
    m_place->setText(QStringLiteral("\u00B7 ") +
                     QString::fromStdString(displayPath(e.place, view.home)));
    m_place->setColor(pal.secondary);
    m_cancel->setRuns(
        {{QStringLiteral("Cancel"), Dazu::text(13, FontWeight::semibold), pal.accent}});
    // The full place, unshortened, over the whole row; none for no place.
    const QString tip = plainToolTip(e.place);
    if (toolTip() != tip) setToolTip(tip);
}

// The bar.

SummaryBar::SummaryBar(AreaContext context, QWidget* parent)
    : QWidget(parent),
      m_context(context),
      m_ticked(new RunsLabel(this)),
      m_summary(new ScanSummary(context.clock, this)),
      m_scan(new CapsuleButton(this)),
      m_clean(new CapsuleButton(this)),
      m_glow(new BackdropGlow(m_clean, [this] {
          QPainterPath shape;
          const QRectF box(m_clean->rect());
          shape.addRoundedRect(box, box.height() / 2, box.height() / 2);
          return shape;
      })) {
    setObjectName(QStringLiteral("summaryBar"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_ticked->setObjectName(QStringLiteral("tickedText"));
    m_summary->hide();

    m_scan->setObjectName(QStringLiteral("scanButton"));
    m_scan->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    m_clean->setObjectName(QStringLiteral("cleanButton"));
    m_clean->setShortcut(QKeySequence(Qt::Key_Return));
    m_clean->setToolTip(plainToolTip(QStringLiteral("You confirm the list first.")));

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, kRowTop, 0, 0);
    row->setSpacing(14);
    row->addWidget(m_ticked);
    row->addWidget(m_summary);
    row->addStretch(1);
    row->addWidget(m_scan);
    row->addWidget(m_clean);

    connect(m_scan, &QAbstractButton::clicked, this, [this] {
        if (!m_scanning) m_context.actions.scan();
    });
    connect(m_clean, &QAbstractButton::clicked, this, [this] {
        if (!m_scanning && m_tickedCount > 0) m_context.actions.requestPreview();
    });
    connect(m_summary->cancel(), &QAbstractButton::clicked, this, [this] {
        if (m_scanning) m_context.actions.cancelScan();
    });
}

void SummaryBar::present(const WindowView& view) {
    if (view.engine == nullptr) return;
    const EngineState& e = *view.engine;
    const Palette& pal = Palette::of(view.dark);
    const durozizo::HonestTotals& totals = view.totals;
    m_scanning = e.scanning;
    m_tickedCount = totals.tickedCount;
    if (m_first || view.dark != m_dark) {
        m_first = false;
        m_dark = view.dark;
        restyle();
    }

    // One face at a time; the hidden face's keys are gone with its buttons.
    m_ticked->setVisible(!e.scanning);
    m_scan->setVisible(!e.scanning);
    m_clean->setVisible(!e.scanning);
    m_summary->setVisible(e.scanning);
    if (e.scanning) m_summary->present(view);

    m_ticked->setRuns({{QString::fromStdString(tickedText(totals.tickedCount)),
                        Dazu::text(13, FontWeight::bold), pal.text},
                       {QString::fromStdString(safetyLine(totals.trashCount)),
                        Dazu::text(13, FontWeight::regular), pal.secondary}});

    m_scan->setRuns({{QString::fromStdString(scanButtonTitle(e.hasScanned)),
                      Dazu::text(13, FontWeight::semibold), pal.text}});
    m_clean->setRuns({{QStringLiteral("Clean the tank"), Dazu::display(15, 700), pal.ink},
                      {QString::fromStdString(finderSize(totals.tickedBack)),
                       Dazu::mono(14, Dazu::MonoFace::semibold), pal.ink}});
    const bool canClean = totals.tickedCount != 0;
    m_clean->setEnabled(canClean);
    // The glow is seen in the dark only, and fades with the button.
    const QColor glow = withAlpha(pal.orange, 0.45 * (canClean ? 1.0 : 0.45));
    m_glow->setGlow(view.dark ? glow : QColor(Qt::transparent), 14);
}

void SummaryBar::restyle() {
    const Palette& pal = Palette::of(m_dark);
    CapsuleStyle outlined;
    outlined.padX = 14;
    outlined.padY = 9;
    outlined.border = pal.outline;
    outlined.borderWidth = 1;
    m_scan->setCapsule(outlined);

    CapsuleStyle orange;
    orange.fill = pal.orange;
    orange.padX = 20;
    orange.padY = 12;
    orange.spacing = 10;
    orange.disabledOpacity = 0.45;
    m_clean->setCapsule(orange);
    update();
}

void SummaryBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(QRectF(0, 0, width(), kRule), Palette::of(m_dark).accent);
}

}  // namespace virirado
