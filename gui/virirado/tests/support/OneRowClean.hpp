// A scripted engine's clean of one row "d" (a scratch folder): the scan that
// lists it, the preview of it and the clean's first progress, and what the
// deletion log says afterwards.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ClampedLabel.hpp"
#include "CleanProgressView.hpp"
#include "HostileWindow.hpp"

namespace virirado::testing::hostile {

// The scan that lists row "d", and the answer to a preview of it.
inline std::string scanOf(const ScratchRow& d) {
    return volume("1000", "100000") + "on scan\nsay {\"event\":\"item\",\"item\":" + d.json +
           "}\nsay "
           "{\"event\":\"done\",\"free_bytes\":1000,\"total_bytes\":100000,\"ticked\":[\"d\"]}"
           "\n";
}
inline std::string previewOfRow(const ScratchRow& d, const std::string& rowJson = "") {
    return "say {\"event\":\"preview\",\"confirm_token\":\"tok\",\"items\":[" +
           (rowJson.empty() ? d.json : rowJson) + "]}\n";
}
inline const std::string kStartD =
    "say {\"event\":\"clean_progress\",\"phase\":\"start\",\"label\":\"dies\"}\n";
inline const std::string kDoneD =
    "say {\"event\":\"clean_progress\",\"phase\":\"done\",\"label\":\"dies\",\"ok\":true,"
    "\"realistic_size\":4096}\n";

// A clean of "d" that starts and never ends: the engine says nothing more.
inline std::string hungCleanOf(const ScratchRow& d) {
    return scanOf(d) + "on preview\n" + previewOfRow(d) + "on clean\n" + kStartD;
}

// Deletion-log lines with the given status word.
inline int logLines(const std::filesystem::path& home, const std::string& status) {
    const std::string text = deletionLogs(home);
    int n = 0;
    for (std::size_t at = 0; (at = text.find("\t" + status + "\t", at)) != std::string::npos; ++at)
        ++n;
    return n;
}

// Scans, confirms the preview and waits until the clean is under way; returns
// the sheet that follows it, or none.
inline ConfirmSheet* startClean(HostileWindow& w) {
    if (!w.scan()) return nullptr;
    w.content->model().requestPreview();
    ConfirmSheet* sheet = confirmShownPreview(w);
    if (sheet == nullptr) return nullptr;
    const bool started = w.waitFor([&] {
        return w.state().cleanProgress.has_value() && w.state().cleanProgress->current.has_value();
    });
    return started ? sheet : nullptr;
}

// The sheet's line under the progress: how the clean can be stopped.
inline QString stopLineOf(ConfirmSheet* sheet) {
    return sheet->progressView()->findChild<ClampedLabel*>("cantStop")->text();
}

// The process ids in the engine's pid file: the engine first, then its helpers.
inline std::vector<pid_t> enginePids(const HostileWindow& w) {
    std::vector<pid_t> pids;
    std::ifstream in(w.root / "pid");
    for (long pid; in >> pid;)
        pids.push_back(static_cast<pid_t>(pid));
    return pids;
}

}  // namespace virirado::testing::hostile
