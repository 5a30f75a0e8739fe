#include "PlainText.hpp"

#include "DesktopHabits.hpp"

namespace virirado {

QString plainToolTip(const QString& text) {
    if (text.isEmpty()) return {};
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(u'\r', u'\n');
    // A tip in markup is wrapped by Qt into a narrow box; plain text is never
    // wrapped by it, so the lines are broken here.
    const QString wrapped = QString::fromStdString(wrapTip(lines.toStdString()));
    // Qt takes a tip for markup when its first line starts a tag or holds an
    // entity; a word joiner (drawn as nothing) after each "<" and "&" of that line
    // keeps the text plain.
    qsizetype firstBreak = wrapped.indexOf(u'\n');
    if (firstBreak < 0) firstBreak = wrapped.size();
    QString out;
    out.reserve(wrapped.size() + 8);
    for (qsizetype i = 0; i < wrapped.size(); ++i) {
        out += wrapped[i];
        if (i < firstBreak && (wrapped[i] == u'<' || wrapped[i] == u'&')) out += kWordJoiner;
    }
    return out;
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
