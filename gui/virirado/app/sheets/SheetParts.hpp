// Small pieces every cleanup sheet is built from: plain-text labels, the pale
// panel, the sheet's buttons and its background, and the Return key.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QWidget>
#include <string>

class QKeyEvent;
class QLayout;

namespace virirado {

class CapsuleButton;
class ClampedLabel;

inline QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

// A plain-text label in `font`, on one line cut at its end, or wrapped over at
// most `maxLines`.
ClampedLabel* sheetLabel(QWidget* parent, const char* name, const QFont& font, int maxLines = 1);

// The sheets' pale rounded panel: the outline colour at a quarter of its
// strength, corners of 10 points. Its layout carries the panel's padding.
class PanelBox : public QWidget {
    Q_OBJECT
public:
    explicit PanelBox(QWidget* parent = nullptr);
    void setDark(bool dark);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_dark = false;
};

// How a sheet's button looks: its text run and its capsule.
struct SheetButtonLook {
    QFont font;
    QColor text;
    QColor fill = Qt::transparent;
    double padX = 14;
    double padY = 8;
    double disabledOpacity = 1.0;
};
CapsuleButton* sheetButton(QWidget* parent, const char* name);
void styleButton(CapsuleButton* button, const QString& text, const SheetButtonLook& look);

// The sheet's own background colour, drawn under all of it.
void setSheetBackground(QWidget* sheet, const QColor& color);

// Return or Enter without modifiers: a sheet's forward action.
bool isReturnKey(const QKeyEvent* event);

// The height the sheet's layout needs at `width`.
int layoutHeight(QLayout* layout, int width);

}  // namespace virirado
