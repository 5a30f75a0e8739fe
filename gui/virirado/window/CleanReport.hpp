// What the clean progress and result view says about a run: its title, the
// running counts, the bar, the elapsed time and the result lines. Pure functions
// of the progress record and the clock.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "CleanProgress.hpp"

namespace virirado {

using durozizo::CleanProgress;

// "Checking…", "Dry run…", "Deleting…", "Stopped", "Dry run done" or "Done".
std::string progressTitle(const CleanProgress& p);

// The number of the item in hand: the done ones, plus the one being processed,
// never more than the total and never below 0.
int64_t itemNumber(const CleanProgress& p);
// "2 of 3 · 1.0 GB of 4.0 GB".
std::string countsLine(const CleanProgress& p);
// The item being processed, "Re-checking each item" while checking, else a
// single space so the line keeps its height.
std::string currentLine(const CleanProgress& p);

// The bar's value from 0 to 1, whatever numbers the run holds.
double barFraction(const CleanProgress& p);
// The bar has no value while the app re-checks the items.
inline bool barIndeterminate(const CleanProgress& p) {
    return p.phase == CleanProgress::Phase::checking;
}
// The lit part of a bar without a value, as fractions of its width, at frame
// time `t`; with motion off it stands still in the middle.
std::pair<double, double> indeterminateSpan(double t, bool motion);

// Seconds since 1970 of the run's start.
double startedSeconds(const CleanProgress& p);
// "m:ss" from the start to `now` (seconds since 1970): whole seconds, never
// below 0, minutes not folded into hours ("60:00").
std::string elapsedText(double started, double now);
// Milliseconds until the elapsed text next changes, from 1 to 1000.
int msToNextSecond(double started, double now);

// "Freed 1.2 GB · 3 deleted · 1 failed", or for a dry run "Would free 1.2 GB · 3 items".
std::string resultHeadline(const CleanProgress& p);
// The result's optional lines, each present only when it applies.
std::optional<std::string> errorLine(const CleanProgress& p);
// "Empty the Trash to free what went there." when items went to the Trash.
std::optional<std::string> trashNote(const CleanProgress& p, int64_t trashed);
// "2 not tried".
std::optional<std::string> notTriedLine(const CleanProgress& p);
// "The deletion log could not be written: …" after a real run, while lines of
// the deletion log wait to be written (`problem`: why).
std::optional<std::string> logProblemLine(const CleanProgress& p,
                                          const std::optional<std::string>& problem);
// The failure list's height in points: 22 a line and 4 more, at most 110; 0
// without failures.
int failureListHeight(std::size_t failures);

// The line beside the buttons while a run goes: it cannot be stopped, or the
// window closes at its end (and at once when asked again).
std::string stopLine(bool closeWaiting);

// Buttons: Show log only after a real run, Done only once it has finished.
inline bool showsLog(const CleanProgress& p) {
    return p.phase == CleanProgress::Phase::finished && !p.readsDry();
}
inline bool showsDone(const CleanProgress& p) {
    return p.phase == CleanProgress::Phase::finished;
}

}  // namespace virirado
