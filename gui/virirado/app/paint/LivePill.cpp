#include "LivePill.hpp"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "PlainText.hpp"
#include "ReadAs.hpp"
#include "Theme.hpp"

namespace virirado {

namespace {

QFont pillFont() {
    return Dazu::kerned(Dazu::text(10.5, FontWeight::heavy), 0.8);
}

const QString kText = QStringLiteral("LIVE");

}  // namespace

LivePill::LivePill(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("livePill"));
    // Marked before it is named: naming it makes Qt build its interface.
    readAsText(this);
    setToolTip(plainToolTip(QStringLiteral("This build can really delete files.")));
    setAccessibleName(kText);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QColor LivePill::red() {
    return QColor::fromRgbF(0.84f, 0.13f, 0.13f);
}

QSize LivePill::sizeHint() const {
    const QFontMetricsF fm(pillFont());
    return {static_cast<int>(std::ceil(fm.horizontalAdvance(kText) + 16)),
            static_cast<int>(std::ceil(fm.height() + 6))};
}

void LivePill::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(rect());
    QPainterPath capsule;
    capsule.addRoundedRect(box, box.height() / 2, box.height() / 2);
    p.fillPath(capsule, red());
    p.setPen(Qt::white);
    p.setFont(pillFont());
    p.drawText(box, Qt::AlignCenter, kText);
}

}  // namespace virirado
