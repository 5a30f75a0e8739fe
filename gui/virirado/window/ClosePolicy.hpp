// Whether a request to close the window may end the app now: a running clean
// is never cut short by a first close, and a close asked again ends an engine
// that stopped answering. Plain values only; the window asks at the moment of
// the close and acts on the answer.
#pragma once

#include "EngineState.hpp"

namespace virirado {

enum class CloseAnswer {
    // Nothing would be cut short: the window closes and the app ends.
    closeNow,
    // A clean (or the re-check that starts it) is running: the app ends when its
    // result has come, never before.
    afterClean,
    // Asked again while it waits: the engine has stopped answering, so it is
    // ended at once and the app ends.
    endEngine,
};

// `waiting`: an earlier close already waits for the clean.
CloseAnswer answerClose(const EngineState& state, bool waiting);

enum class SheetCloseAnswer {
    // The sheet's own way out, as Escape.
    backOut,
    // A clean (or its re-check) is running and no sheet can be left during it:
    // the close is the window's close, which waits for the result or, asked
    // again, ends the engine. Otherwise a mouse user would have no way out.
    closeWindow,
};

// The window manager's close on a sheet (its title bar's close button).
SheetCloseAnswer answerSheetClose(const EngineState& state);

}  // namespace virirado
