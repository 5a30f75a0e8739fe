#include "ListPane.hpp"

#include <QPainter>
#include <QPainterPath>
#include <QStackedLayout>

#include "CapsuleButton.hpp"
#include "Card.hpp"
#include "ClampedLabel.hpp"
#include "CleanupList.hpp"
#include "Glow.hpp"
#include "Palette.hpp"
#include "ScanningPane.hpp"
#include "Theme.hpp"
#include "VornFish.hpp"

namespace virirado {

namespace {

constexpr double kCorner = 16;

ClampedLabel* centredLabel(const QFont& font, int lines, QWidget* parent) {
    auto* label = new ClampedLabel(parent);
    label->setTextFont(font);
    label->setMaxLines(lines);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    return label;
}

}  // namespace

EmptyStatePanel::EmptyStatePanel(AreaContext context, QWidget* parent)
    : QWidget(parent),
      m_mascot(new VornMascot(context.clock, this)),
      m_title(centredLabel(Dazu::text(17, FontWeight::semibold), 2, this)),
      m_detail(centredLabel(Dazu::text(13.5, FontWeight::regular), 4, this)),
      m_start(new CapsuleButton(this)) {
    setObjectName(QStringLiteral("emptyState"));
    m_title->setObjectName(QStringLiteral("emptyTitle"));
    m_detail->setObjectName(QStringLiteral("emptyDetail"));
    m_start->setObjectName(QStringLiteral("startScan"));
    m_start->setAccessibleName(QStringLiteral("Start scan"));
    m_start->setCursor(Qt::PointingHandCursor);
    WindowActions& actions = context.actions;
    connect(m_start, &QAbstractButton::clicked, this, [&actions] { actions.scan(); });

    m_start->hide();
}

void EmptyStatePanel::resizeEvent(QResizeEvent*) {
    placeChildren();
}

// One centred column, 14 points apart, the button 4 more below the hint. Placed
// by hand rather than by a layout, so the button's glow spreads over the panel
// instead of being cut at the edge of a box around it.
void EmptyStatePanel::placeChildren() {
    constexpr int kSpacing = 14;
    constexpr int kSide = 24;
    const int w = std::max(0, width() - 2 * kSide);
    const QSize mascot = m_mascot->sizeHint();
    // The mascot's widget keeps room around its 64 by 30 frame for the bobbing.
    const int bobRoom = std::max(0, (mascot.height() - 30) / 2);
    const int titleHeight = m_title->heightForWidth(w);
    const int detailHeight = m_detail->heightForWidth(w);
    const QSize start = m_start->sizeHint();
    int total = mascot.height() - 2 * bobRoom + kSpacing + titleHeight + kSpacing + detailHeight;
    if (!m_start->isHidden()) total += kSpacing + 4 + start.height();
    int y = std::max(0, (height() - total) / 2);
    m_mascot->setGeometry((width() - mascot.width()) / 2, y - bobRoom, mascot.width(),
                          mascot.height());
    y += mascot.height() - 2 * bobRoom + kSpacing;
    m_title->setGeometry(kSide, y, w, titleHeight);
    y += titleHeight + kSpacing;
    m_detail->setGeometry(kSide, y, w, detailHeight);
    y += detailHeight + kSpacing + 4;
    m_start->setGeometry((width() - start.width()) / 2, y, start.width(), start.height());
}

void EmptyStatePanel::show(const EmptyTexts& texts, bool dark, bool reduceMotion) {
    const bool schemeChanged = !m_shown || dark != m_dark;
    m_shown = true;
    m_dark = dark;
    m_title->setText(QString::fromStdString(texts.title));
    m_detail->setText(QString::fromStdString(texts.detail));
    m_start->setVisible(texts.offersScan);
    m_mascot->setDark(dark);
    m_mascot->setReduceMotion(reduceMotion);
    placeChildren();
    if (!schemeChanged) return;
    const Palette& pal = Palette::of(dark);
    m_title->setColor(pal.text);
    m_detail->setColor(pal.secondary);
    m_start->setRuns({{QStringLiteral("Start scan"), Dazu::display(15, 700), pal.ink}});
    CapsuleStyle style;
    style.fill = pal.orange;
    style.padX = 24;
    style.padY = 12;
    style.spacing = 8;
    style.symbol = QStringLiteral("play.fill");
    // The glyph sits inside its box with room around it, as a symbol font does not.
    style.symbolSize = 13;
    style.symbolColor = pal.ink;
    m_start->setCapsule(style);
    setWidgetGlow(m_start, dark ? withAlpha(pal.orange, 0.45) : QColor(Qt::transparent), 14);
    placeChildren();
    update();
}

QString EmptyStatePanel::title() const {
    return m_title->text();
}

QString EmptyStatePanel::detail() const {
    return m_detail->text();
}

void EmptyStatePanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const Palette& pal = Palette::of(m_dark);
    paintCard(p, QRectF(rect()), kCorner, pal.card, pal.outline);
}

ListPane::ListPane(AreaContext context, QWidget* parent)
    : QWidget(parent),
      m_stack(new QStackedLayout(this)),
      m_list(new CleanupList(context, this)),
      m_scanning(new ScanningPane(context, this)),
      m_empty(new EmptyStatePanel(context, this)) {
    setObjectName(QStringLiteral("listPane"));
    m_stack->setContentsMargins(0, 0, 0, 0);
    m_stack->addWidget(m_list);
    m_stack->addWidget(m_scanning);
    m_stack->addWidget(m_empty);
    m_stack->setCurrentWidget(m_empty);
}

void ListPane::present(const WindowView& view) {
    const bool scanning = view.engine != nullptr && view.engine->scanning;
    const bool hasScanned = view.engine != nullptr && view.engine->hasScanned;
    m_face = listFace(!view.visibleRows.empty(), scanning);
    switch (m_face) {
        case ListFace::list:
            m_stack->setCurrentWidget(m_list);
            m_list->present(view);
            break;
        case ListFace::scanning:
            m_stack->setCurrentWidget(m_scanning);
            m_scanning->present(view);
            break;
        case ListFace::empty:
            m_empty->show(emptyTexts(view.query, view.scope, hasScanned), view.dark,
                          view.reduceMotion);
            m_stack->setCurrentWidget(m_empty);
            break;
    }
}

}  // namespace virirado
