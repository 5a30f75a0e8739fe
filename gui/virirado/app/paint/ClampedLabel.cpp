#include "ClampedLabel.hpp"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>
#include <cmath>

#include "MessageLines.hpp"
#include "ReadAs.hpp"

namespace virirado {

ClampedLabel::ClampedLabel(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    readAsText(this);
}

void ClampedLabel::setText(const QString& text) {
    if (text == m_text) return;
    m_text = text;
    setAccessibleName(text);
    updateGeometry();
    update();
}

void ClampedLabel::setTextFont(const QFont& font) {
    m_font = font;
    setFont(font);
    updateGeometry();
    update();
}

void ClampedLabel::setColor(const QColor& color) {
    if (color == m_color) return;
    m_color = color;
    update();
}

void ClampedLabel::setMaxLines(int lines) {
    m_maxLines = std::max(1, lines);
    QSizePolicy policy = sizePolicy();
    policy.setHeightForWidth(m_maxLines > 1);
    setSizePolicy(policy);
    updateGeometry();
}

void ClampedLabel::setKeepLastLines(bool keep) {
    if (keep == m_keepLast) return;
    m_keepLast = keep;
    updateGeometry();
    update();
}

void ClampedLabel::setElide(Qt::TextElideMode elide) {
    m_elide = elide;
    update();
}

void ClampedLabel::setAlignment(Qt::Alignment alignment) {
    m_alignment = alignment;
    update();
}

void ClampedLabel::setIdealWidth(int width) {
    m_idealWidth = width;
    updateGeometry();
}

namespace {

// One line of text broken at word boundaries (anywhere within a word too long
// for a line) to `width`.
std::vector<std::string> wrapOneLine(const std::string& line, const QFont& font, double width) {
    const QString text = QString::fromStdString(line);
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    std::vector<std::string> out;
    layout.beginLayout();
    while (true) {
        QTextLine part = layout.createLine();
        if (!part.isValid()) break;
        part.setLineWidth(width);
        out.push_back(text.mid(part.textStart(), part.textLength()).trimmed().toStdString());
    }
    layout.endLayout();
    if (out.empty()) out.emplace_back();
    return out;
}

}  // namespace

QStringList ClampedLabel::lines(double width) const {
    const QFontMetricsF fm(m_font);
    if (m_keepLast) {
        QStringList out;
        const auto wrap = [&](const std::string& line) { return wrapOneLine(line, m_font, width); };
        const auto cut = [&](const std::string& line) {
            return fm.elidedText(QString::fromStdString(line), Qt::ElideRight, width).toStdString();
        };
        for (const std::string& line :
             fitMessage(m_text.toStdString(), static_cast<std::size_t>(m_maxLines), wrap, cut))
            out << QString::fromStdString(line);
        return out;
    }
    // Line breaks in the text are shown as spaces in a one-line label, so a name
    // can never push text into a second line.
    if (m_maxLines == 1) {
        QString flat = m_text;
        flat.replace(u'\n', u' ').replace(u'\r', u' ');
        return {fm.elidedText(flat, m_elide, width)};
    }
    QStringList out;
    QTextLayout layout(m_text, m_font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    while (true) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(width);
        if (out.size() + 1 == m_maxLines) {
            QString rest = m_text.mid(line.textStart());
            rest.replace(u'\n', u' ');
            out << fm.elidedText(rest, Qt::ElideRight, width);
            break;
        }
        out << m_text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return out;
}

QSize ClampedLabel::sizeHint() const {
    const QFontMetricsF fm(m_font);
    double natural = fm.horizontalAdvance(m_text);
    if (m_idealWidth > 0) natural = std::min<double>(natural, m_idealWidth);
    const int w = static_cast<int>(std::ceil(natural));
    return {w, m_maxLines > 1 ? heightForWidth(w) : static_cast<int>(std::ceil(fm.height()))};
}

QSize ClampedLabel::minimumSizeHint() const {
    const QFontMetricsF fm(m_font);
    return {0, static_cast<int>(std::ceil(fm.height()))};
}

int ClampedLabel::heightForWidth(int width) const {
    const QFontMetricsF fm(m_font);
    const auto count = std::max<qsizetype>(1, lines(width).size());
    return static_cast<int>(
        std::ceil(fm.lineSpacing() * static_cast<double>(count - 1) + fm.height()));
}

void ClampedLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(m_font);
    p.setPen(m_color);
    const QFontMetricsF fm(m_font);
    const QStringList shown = lines(width());
    const double total = fm.lineSpacing() * static_cast<double>(shown.size() - 1) + fm.height();
    double y = (m_alignment & Qt::AlignTop) ? 0 : (height() - total) / 2;
    for (const QString& line : shown) {
        const QRectF box(0, y, width(), fm.height());
        p.drawText(box,
                   static_cast<int>((m_alignment & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter),
                   line);
        y += fm.lineSpacing();
    }
}

}  // namespace virirado
