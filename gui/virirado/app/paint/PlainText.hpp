// Text from the engine (names, paths, reasons, messages) is only ever shown as
// text. Qt guesses markup in tool tips and labels; these helpers stop the guess.
#pragma once

#include <QString>

namespace virirado {

// A tool tip that shows `text` exactly, line breaks kept, never read as markup.
QString plainToolTip(const QString& text);
// The same from UTF-8.
QString plainToolTip(const std::string& text);

// A button or menu text that shows "&" as itself instead of taking it for a
// keyboard mnemonic.
QString literalMnemonic(const QString& text);

}  // namespace virirado
