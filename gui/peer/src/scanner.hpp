// The bridge to the scanning engine (`virirado-engine scan --jsonl`): where it
// is, running it as a child, and what its final record says about build folders
// and big files.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "items.hpp"

namespace peer::scanner {

// VIRIRADO_SCANNER when set; else bin/virirado-engine of the build or install
// tree this program sits in (<prefix>/share/virirado/ -> <prefix>/bin/); else
// "virirado-engine", searched on PATH.
std::string locate();

struct Output {
    std::vector<items::Found> devbuilds;
    // At least 100 MB, biggest first; which of them are offered is decided
    // after they are measured (items::big_file_items).
    std::vector<items::Found> big_files;
};

// The rows of the engine's "done" record.
Output read_done(const nlohmann::json& done);

struct Run {
    bool ok = false;
    bool cancelled = false;
    std::string error;  // for the user: why nothing came of it
    Output output;
};

// Runs `exe scan --jsonl --root home` and waits for it; `on_progress` is called
// for each of its progress lines; once `cancelled` says so the child is stopped.
Run run(const std::string& exe, const std::string& home, const std::function<bool()>& cancelled,
        const std::function<void()>& on_progress);

}  // namespace peer::scanner
