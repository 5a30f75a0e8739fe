// A text shown as plain text in at most a given number of lines, the last one cut
// with an ellipsis, or in one line cut at its start, middle or end.
#pragma once

#include <QColor>
#include <QFont>
#include <QWidget>

namespace virirado {

class ClampedLabel : public QWidget {
    Q_OBJECT
public:
    explicit ClampedLabel(QWidget* parent = nullptr);

    void setText(const QString& text);
    const QString& text() const { return m_text; }
    void setTextFont(const QFont& font);
    void setColor(const QColor& color);
    // 1 keeps the text on one line, cut by `elide`; more wraps at word breaks.
    void setMaxLines(int lines);
    // Line breaks in the text start new lines, and when the lines do not all
    // fit, the first ones give way (fitMessage): for messages whose last lines
    // say the most. Off by default.
    void setKeepLastLines(bool keep);
    void setElide(Qt::TextElideMode elide);
    void setAlignment(Qt::Alignment alignment);
    // The widest the label asks for; 0 means as wide as the text.
    void setIdealWidth(int width);

    // The lines as drawn at `width`, after wrapping and cutting.
    QStringList lines(double width) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return m_maxLines > 1; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    QFont m_font;
    QColor m_color;
    int m_maxLines = 1;
    bool m_keepLast = false;
    Qt::TextElideMode m_elide = Qt::ElideRight;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
    int m_idealWidth = 0;
};

}  // namespace virirado
