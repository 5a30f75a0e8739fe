#include "CheckList.hpp"

#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

#include "Palette.hpp"
#include "SheetParts.hpp"
#include "Theme.hpp"

namespace virirado {

namespace {

constexpr double kLineSpacing = 8;
constexpr double kInner = 2;
constexpr double kPadY = 2;
constexpr int kDetailLines = 2;

QFont titleFont() {
    return Dazu::text(13, FontWeight::regular);
}
QFont sizeFont() {
    return Dazu::mono(14, Dazu::MonoFace::medium);
}
QFont detailFont() {
    return Dazu::text(13.5, FontWeight::regular);
}

QString flat(const std::string& text) {
    QString out = qs(text);
    out.replace(u'\n', u' ').replace(u'\r', u' ');
    return out;
}

double titleRowHeight() {
    return std::max(QFontMetricsF(titleFont()).height(), QFontMetricsF(sizeFont()).height());
}

}  // namespace

CheckList::CheckList(QWidget* parent) : ReadingLines(parent) {
    setObjectName(QStringLiteral("checkList"));
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void CheckList::setLines(std::vector<CheckLine> lines) {
    if (lines == m_lines) return;
    m_lines = std::move(lines);
    m_topsWidth = -1;
    updateGeometry();
    linesChanged();
}

void CheckList::setDark(bool dark) {
    if (dark == m_dark) return;
    m_dark = dark;
    update();
}

QStringList CheckList::detailLines(const CheckLine& line, double width) const {
    QStringList out;
    if (line.detail.empty()) return out;
    const QString text = flat(line.detail);
    const QFont font = detailFont();
    const QFontMetricsF fm(font);
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    while (true) {
        QTextLine l = layout.createLine();
        if (!l.isValid()) break;
        l.setLineWidth(width);
        if (out.size() + 1 == kDetailLines) {
            out << fm.elidedText(text.mid(l.textStart()), Qt::ElideRight, width);
            break;
        }
        out << text.mid(l.textStart(), l.textLength());
    }
    layout.endLayout();
    return out;
}

double CheckList::lineHeight(const CheckLine& line, double width) const {
    double h = kPadY + titleRowHeight();
    const auto details = detailLines(line, width).size();
    if (details > 0) {
        const QFontMetricsF fm(detailFont());
        h += kInner + fm.lineSpacing() * static_cast<double>(details - 1) + fm.height();
    }
    return h + kInner + 1 + kPadY;
}

const std::vector<double>& CheckList::tops(double width) const {
    if (width == m_topsWidth) return m_tops;
    m_tops.clear();
    m_tops.reserve(m_lines.size() + 1);
    double y = 0;
    for (const CheckLine& line : m_lines) {
        m_tops.push_back(y);
        y += lineHeight(line, width) + kLineSpacing;
    }
    m_tops.push_back(m_lines.empty() ? 0 : y - kLineSpacing);
    m_topsWidth = width;
    return m_tops;
}

int CheckList::heightForWidth(int width) const {
    return static_cast<int>(std::ceil(tops(width).back()));
}

QRectF CheckList::lineBox(int line) const {
    const std::vector<double>& at = tops(width());
    const auto i = static_cast<std::size_t>(line);
    const double next = i + 1 < m_lines.size() ? at[i + 1] - kLineSpacing : at.back();
    return {0, at[i], static_cast<double>(width()), next - at[i]};
}

QString CheckList::spokenLine(int line) const {
    const CheckLine& l = m_lines.at(static_cast<std::size_t>(line));
    QString words = flat(l.title) + QStringLiteral(", ") + qs(l.size);
    if (!l.detail.empty()) words += QStringLiteral(", ") + flat(l.detail);
    return words;
}

void CheckList::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    const Palette& palette = Palette::of(m_dark);
    const double width = this->width();
    const QFontMetricsF tm(titleFont());
    const QFontMetricsF sm(sizeFont());
    const QFontMetricsF dm(detailFont());
    const double row = titleRowHeight();
    const std::vector<double>& at = tops(width);
    // The first line that reaches into the part to paint.
    const auto first =
        std::upper_bound(at.begin(), at.end() - 1, static_cast<double>(event->rect().top()));
    for (auto i = static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, first - at.begin() - 1));
         i < m_lines.size(); ++i) {
        const CheckLine& line = m_lines[i];
        const double y = at[i];
        if (y > event->rect().bottom()) break;
        const double mid = y + kPadY + row / 2;
        const QString size = qs(line.size);
        const double sizeWidth = sm.horizontalAdvance(size);
        p.setFont(sizeFont());
        p.setPen(palette.text);
        p.drawText(QPointF(width - sizeWidth, mid + (sm.ascent() - sm.descent()) / 2), size);
        const double room = std::max(0.0, width - sizeWidth - 8);
        p.setFont(titleFont());
        p.drawText(QPointF(0, mid + (tm.ascent() - tm.descent()) / 2),
                   tm.elidedText(flat(line.title), Qt::ElideRight, room));
        double ty = y + kPadY + row + kInner;
        const QStringList details = detailLines(line, width);
        p.setFont(detailFont());
        p.setPen(palette.secondary);
        for (const QString& d : details) {
            p.drawText(QPointF(0, ty + dm.ascent()), d);
            ty += dm.lineSpacing();
        }
        if (!details.isEmpty()) ty += dm.height() - dm.lineSpacing() + kInner;
        p.fillRect(QRectF(0, ty, width, 1), palette.outline);
    }
    paintKeysLine(p);
}

}  // namespace virirado
