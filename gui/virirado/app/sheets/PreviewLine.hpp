// One row of the final confirmation's panel: the item's label, a "Check first"
// badge for a row that needed checking, where it goes ("Trash" or "gone") and
// what it gives back. The path (or the label) is its tool tip. Tools read it as
// one label saying all of that.
#pragma once

#include <QWidget>

#include "Model.hpp"

namespace virirado {

class PreviewLine : public QWidget {
    Q_OBJECT
public:
    explicit PreviewLine(QWidget* parent = nullptr);

    void setRow(const PreviewRow& row);
    const PreviewRow& row() const { return m_row; }
    void setDark(bool dark);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {0, sizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PreviewRow m_row;
    bool m_dark = false;
};

}  // namespace virirado
