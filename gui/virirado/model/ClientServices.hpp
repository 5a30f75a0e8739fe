// What the engine client takes from the platform: the process, background
// work, settings, logs and the clock. Tests hand in fakes, so the whole
// protocol runs without a child.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CleanLedger.hpp"
#include "DeleteLog.hpp"
#include "EngineLocator.hpp"
#include "EngineProcess.hpp"
#include "Model.hpp"

namespace virirado {

struct ClientServices {
    // The deletion log: the rows a report named, each with its result; with
    // none, the rows to log as "unknown"; and the refusals of held rows. `kept`
    // holds lines an earlier write could not write, which go first. What is not
    // on disk comes back, with why.
    using WriteDeleteLog = std::function<std::optional<DeleteLog::Unwritten>(
        const std::vector<CleanLedger::Taken>& results, const std::vector<PreviewRow>& fallback,
        std::string_view kept)>;
    using WriteRefusedLog = std::function<std::optional<DeleteLog::Unwritten>(
        const std::vector<HeldRow>& held, std::string_view kept)>;

    std::function<std::unique_ptr<EngineProcess>()> makeProcess;
    Executor* executor = nullptr;
    LaunchContext launch;
    // The home folder the guards and the deletion log use.
    std::string home;
    // The engine traffic log.
    std::function<void(std::string_view prefix, std::string_view text)> log;
    WriteDeleteLog writeDeleteLog;
    WriteRefusedLog writeRefusedLog;
    // Free bytes of the home folder's volume, none when unreadable.
    std::function<std::optional<int64_t>()> freeSpace;
    // The stored "includePrivate" choice, none when absent or not a Bool.
    std::function<std::optional<bool>()> loadIncludePrivate;
    std::function<void(bool)> storeIncludePrivate;
    // The moment the demo data is dated from (seconds since 1970); the system
    // clock when unset. Snapshot pictures fix it so that they never change.
    std::function<TimePoint()> now;
    // The longest line taken from the engine: a result of 300,000 items is about
    // 110 MB. A longer one is dropped up to its line feed, so an engine that never
    // ends a line cannot fill the memory.
    std::size_t maxLineBytes = 256u << 20;

    // This machine: the real logs under `home`, statvfs for free space, no stored
    // settings. The process, executor and launch context are left to the caller.
    static ClientServices system(std::string home);
};

}  // namespace virirado
