// An area of the window that is not drawn yet: a quiet outlined box of the area's
// final size, so the frame around it already has its real proportions.
#pragma once

#include <QWidget>

#include "Area.hpp"

namespace virirado {

class PlaceholderArea : public QWidget, public Area {
    Q_OBJECT
public:
    // `height` 0 lets the box take whatever height the layout gives it.
    PlaceholderArea(const QString& name, int width, int height, QWidget* parent = nullptr);
    void present(const WindowView& view) override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_name;
    bool m_dark = false;
};

}  // namespace virirado
