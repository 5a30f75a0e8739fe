#include "PlainText.hpp"

namespace virirado {

QString plainToolTip(const QString& text) {
    if (text.isEmpty()) return {};
    // Marked up on purpose and escaped, so whatever the text holds is shown as it is.
    QString escaped = text.toHtmlEscaped();
    escaped.replace(QStringLiteral("\r\n"), QStringLiteral("<br>"));
    escaped.replace(u'\n', QStringLiteral("<br>"));
    escaped.replace(u'\r', QStringLiteral("<br>"));
    return QStringLiteral("<p style='white-space:pre-wrap'>") + escaped + QStringLiteral("</p>");
}

QString plainToolTip(const std::string& text) {
    return plainToolTip(QString::fromStdString(text));
}

QString literalMnemonic(const QString& text) {
    QString out = text;
    out.replace(u'&', QStringLiteral("&&"));
    return out;
}

}  // namespace virirado
