#include "DetailsPane.hpp"

#include <QGraphicsDropShadowEffect>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QVBoxLayout>

#include "DetailsCards.hpp"
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
      m_shadow(new QGraphicsDropShadowEffect(this)) {
    setObjectName(QStringLiteral("details"));
    setFixedWidth(kWidth);
    m_scroll->setObjectName(QStringLiteral("detailsScroll"));
    m_scroll->setFrameShape(QFrame::NoFrame);
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
    m_content = std::move(content);
    m_dark = view.dark;
    m_home = view.home;
    if (schemeChanged) {
        const Palette& pal = Palette::of(m_dark);
        // Light: a soft dark shadow below; dark: an accent glow all round.
        m_shadow->setColor(m_dark ? withAlpha(pal.accent, 0.18)
                                  : withAlpha(QColor(Qt::black), 0.08));
        m_shadow->setBlurRadius(m_dark ? 40 : 28);
        m_shadow->setOffset(0, m_dark ? 0 : 6);
        m_frame->dark = m_dark;
        m_frame->update();
        update();
    }
    rebuild();
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
    // The old card may be the one whose button led here: it goes once the
    // event that did so is over.
    if (QWidget* old = m_scroll->takeWidget()) {
        old->hide();
        old->deleteLater();
    }
    m_scroll->setWidget(body);
    // The scroll area fills its widget with the window colour; the card shows through.
    body->setAutoFillBackground(false);
    m_built = true;
    ++m_builds;
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
