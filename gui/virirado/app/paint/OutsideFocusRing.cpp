#include "OutsideFocusRing.hpp"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QPainter>
#include <QWidget>

#include "FocusRing.hpp"

namespace virirado {

namespace {

class RingWidget : public QWidget {
public:
    RingWidget(QWidget* host, double radius) : QWidget(host), m_radius(radius) {
        setObjectName(QStringLiteral("focusRing"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        paintFocusRing(p, QRectF(rect()), m_radius);
    }

private:
    double m_radius;
};

// Where the ring is laid: the scrolling view the control sits in, so the ring
// scrolls and is cut with it, else the control's window.
QWidget* hostOf(QWidget* control) {
    QWidget* w = control->parentWidget();
    while (w != nullptr && !w->isWindow()) {
        auto* area = qobject_cast<QAbstractScrollArea*>(w->parentWidget());
        if (area != nullptr && area->viewport() == w) return w;
        w = w->parentWidget();
    }
    return w;
}

bool movesTheRing(QEvent::Type type) {
    switch (type) {
        case QEvent::FocusIn:
        case QEvent::FocusOut:
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::ParentChange:
            return true;
        default:
            return false;
    }
}

}  // namespace

OutsideFocusRing* OutsideFocusRing::attach(QWidget* control, QMargins outset, double radius) {
    return new OutsideFocusRing(control, outset, radius);
}

OutsideFocusRing::OutsideFocusRing(QWidget* control, QMargins outset, double radius)
    : QObject(control), m_control(control), m_outset(outset), m_radius(radius) {
    setObjectName(QStringLiteral("outsideFocusRing"));
    control->installEventFilter(this);
}

OutsideFocusRing::~OutsideFocusRing() {
    unwatch();
    delete m_ring;
}

QWidget* OutsideFocusRing::ring() const {
    return m_ring != nullptr && m_ring->isVisible() ? m_ring.data() : nullptr;
}

bool OutsideFocusRing::eventFilter(QObject* watched, QEvent* event) {
    if (movesTheRing(event->type())) follow();
    return QObject::eventFilter(watched, event);
}

void OutsideFocusRing::follow() {
    QWidget* host = hostOf(m_control);
    if (host == nullptr || !showsFocusRing(m_control) || !m_control->isVisible()) {
        unwatch();
        if (m_ring != nullptr) m_ring->hide();
        return;
    }
    if (m_ring == nullptr || m_ring->parentWidget() != host) {
        delete m_ring;
        m_ring = new RingWidget(host, m_radius);
    }
    watchAncestors(host);
    const QRect box(m_control->mapTo(host, QPoint(0, 0)), m_control->size());
    m_ring->setGeometry(box.marginsAdded(m_outset));
    m_ring->raise();
    m_ring->show();
}

void OutsideFocusRing::watchAncestors(QWidget* host) {
    // A control keeps its place in its parent while a layout or a scroll moves
    // the parent: those moves are seen on the way up to the host.
    std::vector<QPointer<QWidget>> now;
    for (QWidget* w = m_control->parentWidget(); w != nullptr && w != host; w = w->parentWidget())
        now.emplace_back(w);
    if (now == m_watched) return;
    unwatch();
    m_watched = std::move(now);
    for (const QPointer<QWidget>& w : m_watched)
        w->installEventFilter(this);
}

void OutsideFocusRing::unwatch() {
    for (const QPointer<QWidget>& w : m_watched) {
        if (w != nullptr) w->removeEventFilter(this);
    }
    m_watched.clear();
}

}  // namespace virirado
