#include "PreviewCheck.hpp"

#include "DeleteGuard.hpp"
#include "ScannedPlaces.hpp"

namespace virirado {

namespace {

namespace guard = durozizo::DeleteGuard;

std::optional<std::string> rowStaticReason(const PreviewRow& row,
                                           const AsScanned::Judgement& judged,
                                           const AsScanned& scanned, const std::string& home) {
    if (auto reason =
            guard::staticReason(row.path, row.action, row.safety, scanned.pathsOf(row.id), home)) {
        return reason;
    }
    return AsScanned::reason(row, judged);
}

}  // namespace

CheckedPreview previewCheck(PreviewPayload payload, const AsScanned& scanned,
                            const std::string& home) {
    ScannedPlaces places(scanned);
    std::vector<HeldRow> held;
    for (PreviewRow& row : payload.rows) {
        const AsScanned::Judgement judged = scanned.judge(row, places);
        row = AsScanned::tightened(std::move(row), judged);
        if (auto reason = rowStaticReason(row, judged, scanned, home))
            held.emplace_back(row, *reason);
    }
    return {std::move(payload), std::move(held)};
}

std::vector<HeldRow> recheck(const PreviewPayload& payload, const AsScanned& scanned,
                             const std::string& home) {
    ScannedPlaces places(scanned);
    std::vector<HeldRow> held;
    for (const PreviewRow& row : payload.rows) {
        const AsScanned::Judgement judged = scanned.judge(row, places);
        auto reason = rowStaticReason(row, judged, scanned, home);
        if (!reason) reason = AsScanned::changedSince(row, judged);
        if (reason) {
            held.emplace_back(row, *reason);
            continue;
        }
        if (!row.path || row.action == "cmd") continue;
        // The same file the guards just passed: "~" stands for this client's home.
        const int64_t measured = guard::measure(expandTilde(*row.path, home));
        if (auto sized = guard::sizeReason(row.realisticSize, measured)) {
            held.emplace_back(row, *sized);
        }
    }
    return held;
}

}  // namespace virirado
