// A button drawn as a capsule: a fill, an inside border, an optional leading
// symbol and one or more text runs, each in its own font and colour. It paints
// its texts itself, so "&" is never taken for a keyboard mnemonic. Tab reaches
// it and Space presses it; it shows the keyboard's focus ring, never a click's:
// inside its capsule, or around its text when it draws no capsule.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QMarginsF>
#include <vector>

namespace virirado {

class OutsideFocusRing;

struct TextRun {
    QString text;
    QFont font;
    QColor color;
};

struct CapsuleStyle {
    QColor fill = Qt::transparent;
    QColor border = Qt::transparent;
    double borderWidth = 0;
    // Left and right, then top and bottom.
    double padX = 14;
    double padY = 8;
    double spacing = 6;
    QString symbol;
    double symbolSize = 0;
    QColor symbolColor;
    // Opacity of the whole button while disabled.
    double disabledOpacity = 1.0;
    // Rounded rectangle corners instead of a capsule, when above 0.
    double cornerRadius = 0;
};

class CapsuleButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit CapsuleButton(QWidget* parent = nullptr);

    void setRuns(std::vector<TextRun> runs);
    void setCapsule(const CapsuleStyle& style);
    const std::vector<TextRun>& runs() const { return m_runs; }
    // The runs' texts joined with single spaces: what the button says.
    QString spokenText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QSizeF contentSize() const;
    // A fill or a border to show the capsule's shape.
    bool drawsCapsule() const;
    // The keyboard's ring inside the capsule.
    void paintRing(QPainter& p, const QRectF& box, double radius) const;

    std::vector<TextRun> m_runs;
    CapsuleStyle m_style;
    OutsideFocusRing* m_outside = nullptr;
};

}  // namespace virirado
