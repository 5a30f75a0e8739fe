// Text from the engine (names, paths, reasons, messages) is only ever shown as
// text. Qt guesses markup in tool tips and labels; these helpers stop the guess.
#pragma once

#include <QString>

namespace virirado {

// The invisible character that keeps a tip's text from being read as markup.
inline constexpr char16_t kWordJoiner = u'\u2060';

// A tool tip that shows `text` as plain text, never read as markup, with its
// line breaks and its lines broken at a readable width.
QString plainToolTip(const QString& text);
// The same from UTF-8.
QString plainToolTip(const std::string& text);

// A button or menu text that shows "&" as itself instead of taking it for a
// keyboard mnemonic.
QString literalMnemonic(const QString& text);

}  // namespace virirado
