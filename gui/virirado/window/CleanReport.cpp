#include "CleanReport.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "DeleteLog.hpp"
#include "Format.hpp"
#include "Numeric.hpp"

namespace virirado {

namespace {

using Phase = CleanProgress::Phase;

constexpr const char* kDot = " \u00B7 ";

// Counts kept by the client are never negative; a stray one still reads as 0.
int64_t atLeastZero(int64_t n) {
    return std::max<int64_t>(n, 0);
}

}  // namespace

std::string progressTitle(const CleanProgress& p) {
    switch (p.phase) {
        case Phase::checking:
            return "Checking\u2026";
        case Phase::deleting:
            return p.readsDry() ? "Dry run\u2026" : "Deleting\u2026";
        case Phase::finished:
            break;
    }
    if (p.error) return "Stopped";
    return p.readsDry() ? "Dry run done" : "Done";
}

int64_t itemNumber(const CleanProgress& p) {
    int64_t n = atLeastZero(p.doneCount);
    if (p.current) n = durozizo::saturatingAdd(n, 1);
    return std::clamp<int64_t>(n, 0, atLeastZero(p.totalCount));
}

std::string countsLine(const CleanProgress& p) {
    return std::to_string(itemNumber(p)) + " of " + std::to_string(atLeastZero(p.totalCount)) +
           kDot + finderSize(p.doneBytes) + " of " + finderSize(p.totalBytes);
}

std::string currentLine(const CleanProgress& p) {
    if (p.current) return *p.current;
    if (p.phase == Phase::checking) return "Re-checking each item";
    return " ";
}

double barFraction(const CleanProgress& p) {
    const double f = p.fraction();
    if (!std::isfinite(f)) return 0;
    return std::clamp(f, 0.0, 1.0);
}

std::pair<double, double> indeterminateSpan(double t, bool motion) {
    constexpr double kWidth = 0.3;
    if (!motion || !std::isfinite(t)) return {0.5 - kWidth / 2, 0.5 + kWidth / 2};
    // The lit part enters at the left and leaves at the right every 1.6 s.
    constexpr double kPeriod = 1.6;
    const double phase = t / kPeriod - std::floor(t / kPeriod);
    const double head = phase * (1 + kWidth) - kWidth;
    return {std::max(0.0, head), std::min(1.0, head + kWidth)};
}

double startedSeconds(const CleanProgress& p) {
    using namespace std::chrono;
    return duration<double>(p.started.time_since_epoch()).count();
}

std::string elapsedText(double started, double now) {
    const double span = now - started;
    const int64_t s = std::isfinite(span) ? atLeastZero(durozizo::clampToInt64(span)) : 0;
    const int64_t seconds = s % 60;
    return std::to_string(s / 60) + ":" + (seconds < 10 ? "0" : "") + std::to_string(seconds);
}

int msToNextSecond(double started, double now) {
    const double span = now - started;
    if (!std::isfinite(span)) return 1000;
    const double left = span < 0 ? 1 - span : 1 - (span - std::floor(span));
    return static_cast<int>(std::clamp(std::ceil(left * 1000), 1.0, 1000.0));
}

std::string resultHeadline(const CleanProgress& p) {
    const std::string deleted = std::to_string(atLeastZero(p.deletedCount));
    if (p.readsDry()) return "Would free " + finderSize(p.freedBytes) + kDot + deleted + " items";
    return "Freed " + finderSize(p.freedBytes) + kDot + deleted + " deleted" + kDot +
           std::to_string(p.failures.size()) + " failed";
}

std::optional<std::string> errorLine(const CleanProgress& p) {
    return p.error;
}

std::optional<std::string> trashNote(const CleanProgress& p, int64_t trashed) {
    // A dry run sent nothing to the Trash, whatever the list would have sent.
    if (p.readsDry() || trashed < 1 || p.deletedCount < 1) return std::nullopt;
    return "Empty the Trash to free what went there.";
}

std::optional<std::string> notTriedLine(const CleanProgress& p) {
    if (p.notTried < 1) return std::nullopt;
    return std::to_string(p.notTried) + " not tried";
}

std::optional<std::string> logProblemLine(const CleanProgress& p,
                                          const std::optional<std::string>& problem) {
    if (!problem || !showsLog(p)) return std::nullopt;
    return DeleteLog::notWritten(*problem);
}

std::string stopLine(bool closeWaiting) {
    return closeWaiting ? "Closes when done \u00B7 close again to stop now"
                        : "Can't stop mid-clean";
}

int failureListHeight(std::size_t failures) {
    if (failures == 0) return 0;
    constexpr std::size_t kCap = 110;
    // Past five lines the cap holds, and the multiplication cannot overflow.
    if (failures >= 5) return static_cast<int>(kCap);
    return static_cast<int>(std::min<std::size_t>(22 * failures + 4, kCap));
}

}  // namespace virirado
