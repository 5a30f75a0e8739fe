// The check-first sheet's list: the row's own line, then one line per member,
// each a title and a size over an optional detail of at most two lines and a
// divider. Painted, so a row with thousands of members stays one widget; each
// line is an element a reader walks with the keys.
#pragma once

#include <vector>

#include "ReadingLines.hpp"
#include "RowSheets.hpp"

namespace virirado {

class CheckList : public ReadingLines {
    Q_OBJECT
public:
    explicit CheckList(QWidget* parent = nullptr);

    void setLines(std::vector<CheckLine> lines);
    const std::vector<CheckLine>& lines() const { return m_lines; }
    void setDark(bool dark);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override { return {476, heightForWidth(476)}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    int lineCount() const override { return static_cast<int>(m_lines.size()); }
    QRectF lineBox(int line) const override;
    QString spokenLine(int line) const override;

private:
    // One line's detail as shown at `width`: wrapped, at most two lines.
    QStringList detailLines(const CheckLine& line, double width) const;
    double lineHeight(const CheckLine& line, double width) const;
    // Where each line starts at `width`, and where the last ends; measured
    // once per width and lines, as a reader asks for every line's place.
    const std::vector<double>& tops(double width) const;

    std::vector<CheckLine> m_lines;
    bool m_dark = false;
    mutable std::vector<double> m_tops;
    mutable double m_topsWidth = -1;
};

}  // namespace virirado
