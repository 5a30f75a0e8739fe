#include "DetailsPane.hpp"

#include <QGraphicsEffect>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "DetailsCards.hpp"
#include "FocusRing.hpp"
#include "Glow.hpp"
#include "Palette.hpp"

namespace virirado {

namespace {

constexpr double kCorner = 16;
constexpr double kStripe = 4;
constexpr int kWidth = 350;

QPainterPath cardShape(const QRectF& box) {
    QPainterPath path;
    path.addRoundedRect(box, kCorner, kCorner);
    return path;
}

}  // namespace

// The card's shadow, blurred once per size and colour and then only drawn as a
// picture under the card. Qt's own drop shadow blurs a fresh picture of the whole
// pane whenever anything near it repaints, which made every step of a scrolling
// list beside it several times dearer.
class DetailsPane::Shadow : public QGraphicsEffect {
public:
    using QGraphicsEffect::QGraphicsEffect;

    void set(const QColor& color, double radius, QPointF offset) {
        m_color = color;
        m_radius = radius;
        m_offset = offset;
        updateBoundingRect();
        update();
    }
    QRectF boundingRectFor(const QRectF& rect) const override {
        const double reach = m_radius * 2;
        return rect.united(rect.translated(m_offset).adjusted(-reach, -reach, reach, reach));
    }

protected:
    void draw(QPainter* painter) override {
        const QRectF card = sourceBoundingRect(Qt::LogicalCoordinates);
        paintGlow(*painter, cardShape(card), m_color, m_radius, m_offset);
        drawSource(painter);
    }

private:
    QColor m_color = Qt::transparent;
    double m_radius = 0;
    QPointF m_offset;
};

// Drawn over the scrolling content: the accent stripe along the top and the
// outline, both following the card's rounded corners.
class DetailsPane::Frame : public QWidget {
public:
    explicit Frame(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    bool dark = false;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const Palette& pal = Palette::of(dark);
        const QRectF box(rect());
        p.save();
        p.setClipPath(cardShape(box));
        p.fillRect(QRectF(0, 0, box.width(), kStripe), pal.accent);
        p.restore();
        p.setPen(QPen(pal.outline, 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), kCorner - 0.5, kCorner - 0.5);
    }
};

DetailsPane::DetailsPane(AreaContext context, QWidget* parent)
    : QWidget(parent),
      m_context(context),
      m_scroll(new QScrollArea(this)),
      m_frame(new Frame(this)),
      m_shadow(new Shadow(this)) {
    setObjectName(QStringLiteral("details"));
    setFixedWidth(kWidth);
    m_scroll->setObjectName(QStringLiteral("detailsScroll"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    // Only a holder: neither a Tab stop without a mark nor the place a click on
    // Reveal or Quick Look would move the keys to.
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setAutoFillBackground(false);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_frame->raise();
    setGraphicsEffect(m_shadow);
}

void DetailsPane::present(const WindowView& view) {
    DetailsInputs in;
    in.selection = view.selection;
    in.row = view.selectedRow;
    in.group = view.selectedGroup ? &*view.selectedGroup : nullptr;
    if (view.engine != nullptr) {
        in.freshBytes = view.engine->freeBytes;
        in.totalBytes = view.engine->totalBytes;
    }
    in.otherBytes = view.otherBytes;
    in.home = view.home;
    DetailsContent content = detailsContent(in);
    const bool schemeChanged = !m_built || view.dark != m_dark;
    if (!schemeChanged && content == m_content && view.home == m_home) return;
    // The same item or group with new texts (a tick, a rescan, the scheme) keeps
    // the reader's place: a button below the fold stays where it was clicked.
    const int keepScroll = m_built && content.subject == m_content.subject
                               ? m_scroll->verticalScrollBar()->value()
                               : 0;
    m_content = std::move(content);
    m_dark = view.dark;
    m_home = view.home;
    if (schemeChanged) {
        const Palette& pal = Palette::of(m_dark);
        // Light: a soft dark shadow below; dark: an accent glow all round.
        if (m_dark) {
            m_shadow->set(withAlpha(pal.accent, 0.18), 20, {});
        } else {
            m_shadow->set(withAlpha(QColor(Qt::black), 0.08), 14, {0, 6});
        }
        m_frame->dark = m_dark;
        m_frame->update();
        update();
    }
    rebuild();
    m_scroll->verticalScrollBar()->setValue(keepScroll);
}

void DetailsPane::rebuild() {
    auto* body = new QWidget;
    body->setObjectName(QStringLiteral("detailsBody"));
    auto* outer = new QVBoxLayout(body);
    outer->setContentsMargins(16, 20, 16, 16);
    outer->setSpacing(12);
    auto* card = new QVBoxLayout;
    outer->addLayout(card);
    outer->addStretch(1);
    buildDetailsCard(card, body, m_content, {m_context, m_dark, m_home});
    QWidget* const heir = focusHeir(body);
    // The old card may be the one whose button led here: it goes once the
    // event that did so is over.
    if (QWidget* old = m_scroll->takeWidget()) {
        old->hide();
        old->deleteLater();
    }
    m_scroll->setWidget(body);
    if (heir != nullptr) giveFocus(heir, m_heirByKeys);
    // The scroll area fills its widget with the window colour; the card shows through.
    body->setAutoFillBackground(false);
    m_built = true;
    ++m_builds;
}

QWidget* DetailsPane::focusHeir(QWidget* body) {
    // The keys stay on the control they pressed: Space on "Keep" ticks the row,
    // and the new card's toggle ("Cleaning") takes them, so the next Space
    // unticks it. Without a control of that name the keys move on as Qt moves
    // them from a control that goes.
    QWidget* old = m_scroll->widget();
    QWidget* holder = window()->focusWidget();
    if (old == nullptr || holder == nullptr || !old->isAncestorOf(holder)) return nullptr;
    const QString name = holder->objectName();
    QWidget* heir = name.isEmpty() ? nullptr : body->findChild<QWidget*>(name);
    if (heir == nullptr || !heir->isEnabled() || (heir->focusPolicy() & Qt::TabFocus) == 0)
        return nullptr;
    // Also while a sheet has the keys: a tick it asked for builds the card.
    m_heirByKeys = keysBroughtFocus(holder);
    holder->clearFocus();
    return heir;
}

void DetailsPane::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(cardShape(QRectF(rect())), Palette::of(m_dark).card);
}

void DetailsPane::resizeEvent(QResizeEvent*) {
    m_scroll->setGeometry(rect());
    m_frame->setGeometry(rect());
}

}  // namespace virirado
