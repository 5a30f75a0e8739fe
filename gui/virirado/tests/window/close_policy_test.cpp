#include <gtest/gtest.h>

#include "ClosePolicy.hpp"

namespace virirado {
namespace {

TEST(AnswerClose, WaitsWhileACleanRunsUnlessAskedAgain) {
    EngineState state;
    EXPECT_EQ(answerClose(state, false), CloseAnswer::closeNow);
    // A scan or a preview on show is cut short without harm.
    state.scanning = true;
    state.preview = PreviewPayload{};
    EXPECT_EQ(answerClose(state, false), CloseAnswer::closeNow);
    EXPECT_EQ(answerClose(state, true), CloseAnswer::closeNow);

    // The re-check before the clean, then the clean itself; asked again while
    // it waits, the engine that has not answered is ended.
    state.verifying = true;
    state.cleanProgress.emplace(2, 100, false, durozizo::CleanProgress::Clock::now());
    EXPECT_EQ(answerClose(state, false), CloseAnswer::afterClean);
    EXPECT_EQ(answerClose(state, true), CloseAnswer::endEngine);
    state.verifying = false;
    EXPECT_EQ(answerClose(state, false), CloseAnswer::afterClean);
    state.cleanProgress->startDeleting();
    state.cleanProgress->itemFinished("npm cache", 50, true, "");
    EXPECT_EQ(answerClose(state, false), CloseAnswer::afterClean);
    EXPECT_EQ(answerClose(state, true), CloseAnswer::endEngine);

    // The result has come: nothing left to wait for, even with the sheet up.
    state.cleanProgress->finish({});
    EXPECT_EQ(answerClose(state, false), CloseAnswer::closeNow);
    EXPECT_EQ(answerClose(state, true), CloseAnswer::closeNow);
}

TEST(AnswerSheetClose, IsTheWindowsCloseOnlyWhileACleanRuns) {
    EngineState state;
    state.preview = PreviewPayload{};
    EXPECT_EQ(answerSheetClose(state), SheetCloseAnswer::backOut);
    state.scanning = true;
    EXPECT_EQ(answerSheetClose(state), SheetCloseAnswer::backOut);
    state.verifying = true;
    EXPECT_EQ(answerSheetClose(state), SheetCloseAnswer::closeWindow);
    state.verifying = false;
    state.cleanProgress.emplace(2, 100, false, durozizo::CleanProgress::Clock::now());
    EXPECT_EQ(answerSheetClose(state), SheetCloseAnswer::closeWindow);
    state.cleanProgress->startDeleting();
    EXPECT_EQ(answerSheetClose(state), SheetCloseAnswer::closeWindow);
    state.cleanProgress->fail("The engine stopped.");
    EXPECT_EQ(answerSheetClose(state), SheetCloseAnswer::backOut);
}

}  // namespace
}  // namespace virirado
