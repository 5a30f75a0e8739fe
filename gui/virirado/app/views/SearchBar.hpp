// The search bar at the right end of the header: a capsule holding a magnifying
// glass, the text field bound to the window's query and focus, and, while a
// query is typed, how many rows match with what they give back and a clear
// button. Every keystroke goes to the window, which filters at once.
#pragma once

#include <QAbstractButton>
#include <QLineEdit>
#include <QWidget>

#include "Area.hpp"

namespace virirado {

class ClampedLabel;
class SymbolIcon;

// The text field: reports its focus and Escape to the bar.
class SearchField : public QLineEdit {
    Q_OBJECT
public:
    explicit SearchField(QWidget* parent = nullptr);
    // One line of text tall, as a plain field is; the style's own hint adds 4
    // points of frame the field does not draw.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void escaped();
    void focusChanged(bool focused);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};

// The round "x" that empties the query; it never takes the keyboard focus.
class ClearButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit ClearButton(QWidget* parent = nullptr);
    void setColor(const QColor& color);
    QSize sizeHint() const override { return {14, 14}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_color;
};

class SearchBar : public QWidget, public Area {
    Q_OBJECT
public:
    explicit SearchBar(AreaContext context, QWidget* parent = nullptr);
    void present(const WindowView& view) override;

    SearchField* field() const { return m_field; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void escape();
    void clear();
    void recolour();

    AreaContext m_context;
    SymbolIcon* m_glass;
    SearchField* m_field;
    ClampedLabel* m_count;
    ClearButton* m_clear;
    bool m_dark = false;
    bool m_focused = false;
};

}  // namespace virirado
