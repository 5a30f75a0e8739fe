// One symbol glyph as a small widget of its own, for rows laid out by layouts.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace virirado {

class SymbolIcon : public QWidget {
    Q_OBJECT
public:
    SymbolIcon(const QString& name, double size, QWidget* parent = nullptr);
    void setColor(const QColor& color);
    const QString& name() const { return m_name; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_name;
    QColor m_color;
};

}  // namespace virirado
