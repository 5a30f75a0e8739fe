#include "SheetParts.hpp"

#include <QKeyEvent>
#include <QLayout>
#include <QPainter>
#include <QPainterPath>

#include "CapsuleButton.hpp"
#include "ClampedLabel.hpp"
#include "Palette.hpp"

namespace virirado {

ClampedLabel* sheetLabel(QWidget* parent, const char* name, const QFont& font, int maxLines) {
    auto* label = new ClampedLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFont(font);
    label->setMaxLines(maxLines);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (maxLines > 1) {
        // A wrapping label is as high as its lines at the width it gets, never
        // capped at the one line its natural width would take.
        QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Minimum);
        policy.setHeightForWidth(true);
        label->setSizePolicy(policy);
    }
    return label;
}

PanelBox::PanelBox(QWidget* parent) : QWidget(parent) {}

void PanelBox::setDark(bool dark) {
    if (dark == m_dark) return;
    m_dark = dark;
    update();
}

void PanelBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 10, 10);
    p.fillPath(shape, withAlpha(Palette::of(m_dark).outline, 0.25));
}

CapsuleButton* sheetButton(QWidget* parent, const char* name) {
    auto* button = new CapsuleButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

void styleButton(CapsuleButton* button, const QString& text, const SheetButtonLook& look) {
    button->setRuns({TextRun{text, look.font, look.text}});
    CapsuleStyle style;
    style.fill = look.fill;
    style.padX = look.padX;
    style.padY = look.padY;
    style.disabledOpacity = look.disabledOpacity;
    button->setCapsule(style);
}

void setSheetBackground(QWidget* sheet, const QColor& color) {
    QPalette p = sheet->palette();
    if (p.color(QPalette::Window) == color) return;
    p.setColor(QPalette::Window, color);
    sheet->setPalette(p);
    sheet->setAutoFillBackground(true);
}

bool isReturnKey(const QKeyEvent* event) {
    const int key = event->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter) return false;
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    return mods == Qt::NoModifier;
}

int layoutHeight(QLayout* layout, int width) {
    if (layout->hasHeightForWidth()) return layout->totalHeightForWidth(width);
    return layout->totalSizeHint().height();
}

}  // namespace virirado
