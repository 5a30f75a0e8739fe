#include "FocusRing.hpp"

#include <QApplication>
#include <QFocusEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QWidget>
#include <algorithm>

#include "Palette.hpp"

namespace virirado {

namespace {

constexpr const char* kKeyFocus = "viriradoKeyFocus";
constexpr double kRingWidth = 2;

// Sees every focus change before the widget does, so the widget's own repaint
// on focus already knows how the focus came.
class FocusReasons : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::FocusIn || !watched->isWidgetType()) return false;
        switch (static_cast<QFocusEvent*>(event)->reason()) {
            case Qt::TabFocusReason:
            case Qt::BacktabFocusReason:
            case Qt::ShortcutFocusReason:
                watched->setProperty(kKeyFocus, true);
                break;
            case Qt::ActiveWindowFocusReason:
            case Qt::PopupFocusReason:
                break;
            default:
                watched->setProperty(kKeyFocus, false);
                break;
        }
        return false;
    }
};

}  // namespace

void installFocusRingTracking() {
    auto* app = qApp;
    const QString name = QStringLiteral("viriradoFocusReasons");
    if (app == nullptr || app->findChild<QObject*>(name, Qt::FindDirectChildrenOnly)) return;
    auto* reasons = new FocusReasons(app);
    reasons->setObjectName(name);
    app->installEventFilter(reasons);
}

bool showsFocusRing(const QWidget* widget) {
    return widget->hasFocus() && keysBroughtFocus(widget);
}

bool keysBroughtFocus(const QWidget* widget) {
    return widget->property(kKeyFocus).toBool();
}

void giveFocus(QWidget* widget, bool byKeys) {
    widget->setProperty(kKeyFocus, byKeys);
    widget->setFocus(byKeys ? Qt::TabFocusReason : Qt::OtherFocusReason);
}

void paintFocusRing(QPainter& painter, const QPainterPath& shape) {
    // Inside the outline, as the search field's border is: a stroke twice as
    // wide, of which the half inside the shape is kept.
    QPainterPathStroker stroker;
    stroker.setWidth(2 * kRingWidth);
    const QPainterPath band = stroker.createStroke(shape).intersected(shape);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(band, Palette::of(false).accent);
    painter.restore();
}

void paintFocusRing(QPainter& painter, const QRectF& box, double radius) {
    const double r = radius < 0 ? box.height() / 2 : std::min(radius, box.height() / 2);
    QPainterPath shape;
    shape.addRoundedRect(box, r, r);
    paintFocusRing(painter, shape);
}

}  // namespace virirado
