// The engine client following one clean of many rows: the engine's progress
// events, a "start" and a "done" per row, then its closing report, as lines
// handed to `handleLine`. Each event should cost in proportion to what it names,
// so the time per row stays flat as the clean grows.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "DeleteLog.hpp"
#include "EngineClient.hpp"
#include "SilentProcess.hpp"

namespace {

using namespace virirado;

using bench::InlineExecutor;
using bench::SilentProcess;

// A home of its own, so the deletion log is written as in the app.
struct TempHome {
    std::string path;
    TempHome() {
        std::string name =
            (std::filesystem::temp_directory_path() / "virirado-clean-bench-XXXXXX").string();
        path = ::mkdtemp(name.data()) != nullptr ? name : "/nonexistent";
    }
    ~TempHome() {
        std::error_code ignored;
        if (path != "/nonexistent") std::filesystem::remove_all(path, ignored);
    }
};

std::string id(int i) {
    return "tool:" + std::to_string(i);
}
std::string label(int i) {
    return "Tool cache " + std::to_string(i);
}

// Rows the engine runs a tool for: they pass the guards without a look at the
// disk, so setting up a clean of 100,000 rows makes no files.
std::string scanOf(int count) {
    std::string items;
    std::string ticked;
    for (int i = 0; i < count; ++i) {
        if (i != 0) {
            items += ',';
            ticked += ',';
        }
        items += "{\"id\":\"" + id(i) + "\",\"label\":\"" + label(i) +
                 "\",\"category\":\"caches\",\"size\":4096,\"realistic_size\":4096,"
                 "\"safety\":\"safe\",\"action\":\"cmd\",\"kind\":\"cache\",\"ticked\":true}";
        ticked += "\"" + id(i) + "\"";
    }
    return "{\"event\":\"done\",\"free_bytes\":1000000000,\"total_bytes\":500000000000,"
           "\"items\":[" +
           items + "],\"ticked\":[" + ticked + "]}";
}

std::string previewOf(int count) {
    std::string rows;
    for (int i = 0; i < count; ++i) {
        if (i != 0) rows += ',';
        rows += "{\"id\":\"" + id(i) + "\",\"label\":\"" + label(i) +
                "\",\"realistic_size\":4096,\"kind\":\"cache\",\"safety\":\"safe\","
                "\"action\":\"cmd\"}";
    }
    return "{\"event\":\"preview\",\"confirm_token\":\"tok\",\"items\":[" + rows + "]}";
}

std::vector<std::string> progressOf(int count) {
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(count) * 2);
    for (int i = 0; i < count; ++i) {
        lines.push_back("{\"event\":\"clean_progress\",\"phase\":\"start\",\"label\":\"" +
                        label(i) + "\"}");
        // Every tenth fails, so the sheet keeps a list of failures as it goes.
        lines.push_back("{\"event\":\"clean_progress\",\"phase\":\"done\",\"label\":\"" + label(i) +
                        "\",\"realistic_size\":4096,\"ok\":" +
                        (i % 10 == 0 ? "false,\"msg\":\"busy\"" : "true") + "}");
    }
    return lines;
}

std::string reportOf(int count) {
    std::string results;
    for (int i = 0; i < count; ++i) {
        if (i != 0) results += ',';
        const bool ok = i % 10 != 0;
        results += "{\"id\":\"" + id(i) + "\",\"label\":\"" + label(i) +
                   "\",\"realistic_size\":4096,\"deleted\":" + (ok ? "true" : "false") +
                   ",\"ok\":" + (ok ? "true" : "false,\"msg\":\"busy\"") + "}";
    }
    return "{\"event\":\"clean\",\"dry_run\":false,\"clean_count\":" + std::to_string(count) +
           ",\"results\":[" + results + "]}";
}

// A client whose clean of `count` rows has just been sent.
struct CleanOut {
    TempHome home;
    EngineProcess::Handlers handlers;
    InlineExecutor executor;
    std::unique_ptr<EngineClient> client;

    explicit CleanOut(int count) {
        ClientServices s;
        s.makeProcess = [this] { return std::make_unique<SilentProcess>(&handlers); };
        s.executor = &executor;
        s.launch.arguments = {"--no-autoscan"};
        s.home = home.path;
        s.writeDeleteLog = [h = home.path](const std::vector<CleanLedger::Taken>& results,
                                           const std::vector<PreviewRow>& fallback,
                                           std::string_view kept) {
            return DeleteLog::write(results, fallback, std::nullopt, h, std::time(nullptr), kept);
        };
        client = std::make_unique<EngineClient>(std::move(s));
        client->start();
        client->handleLine(scanOf(count));
        client->requestPreview();
        client->handleLine(previewOf(count));
        client->confirmClean();
    }
    bool running() const {
        const auto& run = client->state().cleanProgress;
        return run && run->phase == durozizo::CleanProgress::Phase::deleting;
    }
};

void BM_CleanProgress(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const std::vector<std::string> lines = progressOf(count);
    for (auto _ : state) {
        state.PauseTiming();
        auto out = std::make_unique<CleanOut>(count);
        if (!out->running()) state.SkipWithError("the clean was not sent");
        state.ResumeTiming();
        for (const std::string& line : lines)
            out->client->handleLine(line);
        state.PauseTiming();
        benchmark::DoNotOptimize(out->client->state().cleanProgress->doneCount);
        if (out->client->state().cleanProgress->doneCount != count)
            state.SkipWithError("progress was not counted");
        out.reset();
        state.ResumeTiming();
    }
    state.counters["rows"] = count;
    state.counters["per_row"] = benchmark::Counter(
        count, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_CleanReport(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const std::string report = reportOf(count);
    for (auto _ : state) {
        state.PauseTiming();
        auto out = std::make_unique<CleanOut>(count);
        if (!out->running()) state.SkipWithError("the clean was not sent");
        state.ResumeTiming();
        out->client->handleLine(report);
        state.PauseTiming();
        if (out->client->state().cleanProgress->isRunning())
            state.SkipWithError("the report did not end the run");
        out.reset();
        state.ResumeTiming();
    }
    state.counters["rows"] = count;
    state.counters["per_row"] = benchmark::Counter(
        count, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_CleanProgress)
    ->Arg(12500)
    ->Arg(25000)
    ->Arg(50000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_CleanReport)
    ->Arg(12500)
    ->Arg(25000)
    ->Arg(50000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace
