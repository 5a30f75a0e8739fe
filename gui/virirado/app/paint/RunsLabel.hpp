// One line of text made of runs in different fonts and colours, set on one
// common baseline ("3 ticked" bold, " · 2 to Trash" regular). Painted as plain
// text; when the line is too narrow, the last run that fits is cut with "…".
#pragma once

#include <QWidget>
#include <vector>

#include "CapsuleButton.hpp"

namespace virirado {

class RunsLabel : public QWidget {
    Q_OBJECT
public:
    explicit RunsLabel(QWidget* parent = nullptr);

    // `spacing` lies between two runs.
    void setRuns(std::vector<TextRun> runs, double spacing = 0);
    const std::vector<TextRun>& runs() const { return m_runs; }
    // The runs' texts joined as shown (without the spacing).
    QString text() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double ascent() const;
    double descent() const;

    std::vector<TextRun> m_runs;
    double m_spacing = 0;
};

}  // namespace virirado
