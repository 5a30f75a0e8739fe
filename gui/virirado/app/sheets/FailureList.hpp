// The items a clean could not remove, one line each in the order reported: the
// item's label on the left and the engine's message on the right, both plain
// text on one line. Each line is an element a reader walks with the keys.
#pragma once

#include <vector>

#include "CleanProgress.hpp"
#include "ReadingLines.hpp"

namespace virirado {

class FailureList : public ReadingLines {
    Q_OBJECT
public:
    explicit FailureList(QWidget* parent = nullptr);

    void setFailures(const std::vector<durozizo::CleanProgress::Failure>& failures);
    void setDark(bool dark);
    std::size_t count() const { return m_failures.size(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {0, sizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    int lineCount() const override { return static_cast<int>(m_failures.size()); }
    QRectF lineBox(int line) const override;
    QString spokenLine(int line) const override;

private:
    double lineHeight() const;

    std::vector<durozizo::CleanProgress::Failure> m_failures;
    bool m_dark = false;
};

}  // namespace virirado
