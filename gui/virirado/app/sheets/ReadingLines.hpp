// A painted list of lines in a sheet that the keys and a screen reader can
// walk. Each line is an element of its own (a list item saying every text the
// line shows), Tab reaches the list, and Up, Down, Home and End move the line
// the keys are on, scrolled into view, which is where a reader's focus lands.
// That line wears the keyboard's ring once the keys brought the focus or moved
// it; a focus the program gives shows nothing, so the sheet looks as it did.
#pragma once

#include <QWidget>

#include "PaintedAccessible.hpp"

class QPainter;

namespace virirado {

class ReadingLines : public QWidget, public PaintedParts {
    Q_OBJECT
public:
    explicit ReadingLines(QWidget* parent = nullptr);

    // The line the keys are on.
    int currentLine() const { return m_current; }

    int itemCount() const override { return lineCount(); }
    PartFace face(PartId id) const override;
    void act(PartId, const QString&) override {}
    std::optional<PartId> partAt(QPoint point) const override;
    std::optional<PartId> focusedPart() const override;
    QAccessible::Role widgetRole() const override { return QAccessible::List; }
    PaintedAccess& paintedAccess() override { return m_access; }

protected:
    virtual int lineCount() const = 0;
    // Where line `line` is drawn, in the widget's coordinates.
    virtual QRectF lineBox(int line) const = 0;
    // Every text the line shows, in reading order.
    virtual QString spokenLine(int line) const = 0;

    // The lines were replaced: the keys go back to the first, and tools read
    // the list again.
    void linesChanged();
    // The keys' line's ring, painted last.
    void paintKeysLine(QPainter& painter) const;

    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void moveTo(int line);

    PaintedAccess m_access{this, this};
    int m_current = 0;
    // The keys moved the line since the focus came.
    bool m_walked = false;
};

}  // namespace virirado
