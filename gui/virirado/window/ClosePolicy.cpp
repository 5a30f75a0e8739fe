#include "ClosePolicy.hpp"

namespace virirado {

namespace {

// The re-check before a clean, or the clean itself, has no result yet.
bool cleaning(const EngineState& state) {
    return state.verifying || (state.cleanProgress && state.cleanProgress->isRunning());
}

}  // namespace

CloseAnswer answerClose(const EngineState& state, bool waiting) {
    if (!cleaning(state)) return CloseAnswer::closeNow;
    return waiting ? CloseAnswer::endEngine : CloseAnswer::afterClean;
}

SheetCloseAnswer answerSheetClose(const EngineState& state) {
    return cleaning(state) ? SheetCloseAnswer::closeWindow : SheetCloseAnswer::backOut;
}

}  // namespace virirado
