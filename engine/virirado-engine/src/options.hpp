#pragma once
// What the commands share: environment text, the rules file, and the options of plain scans.
#include <optional>
#include <string>

#include "args.hpp"
#include "rules.hpp"
#include "scan.hpp"

namespace virirado_engine {

// An environment variable that is set, not empty and valid UTF-8; otherwise none.
std::optional<std::string> env_text(const char* name);

// The rules of `--config FILE`, or the built-in rules without a file. A file that cannot be read
// or parsed throws ExitError{2, "--config FILE: <error>\n"}.
bwcore::Rules load_rules(const std::optional<std::string>& path);

// `--threads N` clamped to what a process can sensibly run (0 stays 0: one worker). A pool of
// millions of threads could not start; the clamped count is what runs and what is reported.
inline constexpr unsigned MAX_THREADS = 256;
unsigned clamp_threads(uint64_t requested);

}  // namespace virirado_engine
