#include "CleanProgress.hpp"

#include <algorithm>

#include "Numeric.hpp"

namespace durozizo {
namespace {

int64_t nonNegative(int64_t bytes) {
    return std::max<int64_t>(bytes, 0);
}

// max(total - done, 0); the difference is taken exactly, then clamped.
int64_t remaining(int64_t total, int64_t done) {
    return std::max<int64_t>(saturatingSub(total, done), 0);
}

}  // namespace

CleanProgress::CleanProgress(int64_t totalCount_, int64_t totalBytes_, bool dryRun_,
                             Clock::time_point started_)
    : dryRun(dryRun_), totalCount(totalCount_), totalBytes(totalBytes_), started(started_) {}

double CleanProgress::fraction() const {
    if (phase == Phase::finished) return 1.0;
    if (totalBytes >= 1) {
        return std::min(static_cast<double>(doneBytes) / static_cast<double>(totalBytes), 1.0);
    }
    if (totalCount >= 1) {
        return std::min(static_cast<double>(doneCount) / static_cast<double>(totalCount), 1.0);
    }
    return 0.0;
}

void CleanProgress::startDeleting() {
    if (phase == Phase::checking) phase = Phase::deleting;
}

void CleanProgress::itemStarted(const std::string& label) {
    if (phase == Phase::finished) return;
    phase = Phase::deleting;
    current = label;
}

void CleanProgress::itemFinished(const std::string& label, int64_t bytes, bool ok,
                                 const std::string& message) {
    if (phase == Phase::finished) return;
    phase = Phase::deleting;
    doneCount = std::min(saturatingAdd(doneCount, 1), totalCount);
    const int64_t b = nonNegative(bytes);
    doneBytes = saturatingAdd(doneBytes, b);
    if (ok) {
        deletedCount = saturatingAdd(deletedCount, 1);
        freedBytes = saturatingAdd(freedBytes, b);
    } else {
        failures.push_back({label, message});
    }
}

void CleanProgress::finish(const std::vector<Result>& results, bool dry) {
    if (phase == Phase::finished) return;
    ranDry = dry;
    int64_t deleted = 0;
    int64_t freed = 0;
    int64_t done = 0;
    std::vector<Failure> failed;
    for (const Result& r : results) {
        const int64_t b = nonNegative(r.bytes);
        if (r.ok) {
            deleted = saturatingAdd(deleted, 1);
            freed = saturatingAdd(freed, b);
        } else {
            failed.push_back({r.label, r.message});
        }
        done = saturatingAdd(done, b);
    }
    const int64_t count = clampToInt64(static_cast<uint64_t>(results.size()));
    deletedCount = deleted;
    freedBytes = freed;
    failures = std::move(failed);
    doneCount = count;
    doneBytes = done;
    notTried = remaining(totalCount, count);
    current.reset();
    phase = Phase::finished;
}

void CleanProgress::finishAfterError(const std::vector<Result>& results, bool dry) {
    if (phase != Phase::finished || !error) return;
    error.reset();
    phase = Phase::deleting;
    finish(results, dry);
}

void CleanProgress::fail(const std::string& message) {
    if (phase == Phase::finished) return;
    error = message;
    current.reset();
    notTried = remaining(totalCount, doneCount);
    phase = Phase::finished;
}

HonestTotals HonestTotals::of(const std::vector<SearchItem>& items) {
    HonestTotals t;
    for (const SearchItem& item : items) {
        const int64_t r = item.rankBytes();
        if (item.tickable) t.cleanableBack = saturatingAdd(t.cleanableBack, r);
        if (!item.ticked) continue;
        t.tickedCount = saturatingAdd(t.tickedCount, 1);
        t.tickedBack = saturatingAdd(t.tickedBack, r);
        t.tickedListed = saturatingAdd(t.tickedListed, item.size);
        if (item.action == "trash") {
            t.trashCount = saturatingAdd(t.trashCount, 1);
        } else {
            t.removeCount = saturatingAdd(t.removeCount, 1);
        }
    }
    return t;
}

bool HonestTotals::listedOverstates() const {
    // Exact in 128 bits: tickedListed - tickedBack can exceed the 64-bit range.
    const Int128 over = static_cast<Int128>(tickedListed) - tickedBack;
    return tickedBack < tickedListed && over > tickedBack / 20;
}

}  // namespace durozizo

std::size_t std::hash<durozizo::HonestTotals>::operator()(
    const durozizo::HonestTotals& t) const noexcept {
    std::size_t seed = 0;
    for (int64_t v : {t.tickedCount, t.tickedBack, t.tickedListed, t.trashCount, t.removeCount,
                      t.cleanableBack}) {
        durozizo::detail::hashAdd(seed, v);
    }
    return seed;
}
