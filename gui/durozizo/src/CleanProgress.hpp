// The state of one clean run as the app sees it, and the totals of the ticked
// and tickable rows of the result list.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Search.hpp"

namespace durozizo {

struct CleanProgress {
    enum class Phase { checking, deleting, finished };

    struct Failure {
        std::string label;
        std::string message;
        bool operator==(const Failure&) const = default;
    };

    // One line of the engine's closing report.
    struct Result {
        std::string label;
        int64_t bytes = 0;
        bool ok = false;
        std::string message;
    };

    using Clock = std::chrono::system_clock;

    CleanProgress(int64_t totalCount, int64_t totalBytes, bool dryRun, Clock::time_point started);

    Phase phase = Phase::checking;
    bool dryRun = false;
    int64_t totalCount = 0;
    int64_t totalBytes = 0;
    int64_t doneCount = 0;
    int64_t doneBytes = 0;
    int64_t freedBytes = 0;
    int64_t deletedCount = 0;
    std::optional<std::string> current;
    std::vector<Failure> failures;
    int64_t notTried = 0;
    std::optional<std::string> error;
    Clock::time_point started;
    // The engine's report said the clean only pretended.
    bool ranDry = false;

    // From 0 to 1: by bytes whenever there are bytes, else by items.
    double fraction() const;
    bool isRunning() const { return phase != Phase::finished; }

    // Every mutation below does nothing once the run is finished.
    void startDeleting();
    void itemStarted(const std::string& label);
    void itemFinished(const std::string& label, int64_t bytes, bool ok, const std::string& message);
    // The engine's closing report replaces the running counts. A report that
    // says it was a dry run makes the run read as one (`ranDry`), whatever was
    // asked for: nothing was deleted, so nothing may read as deleted. `dryRun`
    // stays what the run was made with.
    void finish(const std::vector<Result>& results, bool ranDry = false);
    // The engine's own report of a run that an error had already ended: it
    // tells what was really done, so it replaces the stopped run's figures and
    // its error. Runs that are going, or that ended otherwise, stay as they are.
    void finishAfterError(const std::vector<Result>& results, bool ranDry = false);
    void fail(const std::string& message);
    // The run reads as a dry run: it was made as one, or the engine said so.
    bool readsDry() const { return dryRun || ranDry; }

    bool operator==(const CleanProgress&) const = default;
};

struct HonestTotals {
    int64_t tickedCount = 0;
    int64_t tickedBack = 0;
    int64_t tickedListed = 0;
    int64_t trashCount = 0;
    int64_t removeCount = 0;
    int64_t cleanableBack = 0;

    static HonestTotals of(const std::vector<SearchItem>& items);

    // The listed size is more than 5 per cent above what really comes back.
    bool listedOverstates() const;

    bool operator==(const HonestTotals&) const = default;
};

}  // namespace durozizo

template <>
struct std::hash<durozizo::HonestTotals> {
    std::size_t operator()(const durozizo::HonestTotals& t) const noexcept;
};
