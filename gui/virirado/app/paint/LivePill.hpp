// The red "LIVE" capsule every view that can really delete files carries, and
// its red, which also marks the buttons that really delete.
#pragma once

#include <QColor>
#include <QWidget>

namespace virirado {

class LivePill : public QWidget {
    Q_OBJECT
public:
    explicit LivePill(QWidget* parent = nullptr);
    static QColor red();
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace virirado
