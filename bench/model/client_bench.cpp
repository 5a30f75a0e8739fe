// The engine client taking a scan's result: item events one by one, then the
// closing "done", as the cleaning engine sends them.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "EngineClient.hpp"
#include "SilentProcess.hpp"

namespace {

using namespace virirado;

using bench::InlineExecutor;
using bench::SilentProcess;

std::string itemLine(int i) {
    const std::string n = std::to_string(i);
    return "{\"event\":\"item\",\"item\":{\"id\":\"i" + n + "\",\"label\":\"Item " + n +
           "\",\"category\":\"" + (i % 3 == 0 ? "caches" : "logs") + "\",\"path\":\"/tmp/i" + n +
           "\",\"size\":" + std::to_string(1000 + i * 997) +
           ",\"safety\":\"safe\",\"kind\":\"cache\"}}\n";
}

void BM_ClientTakesItems(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    std::string stream;
    for (int i = 0; i < count; ++i)
        stream += itemLine(i);
    stream += "{\"event\":\"done\",\"free_bytes\":1000000000,\"total_bytes\":500000000000}\n";
    for (auto _ : state) {
        EngineProcess::Handlers handlers;
        InlineExecutor executor;
        ClientServices s;
        s.makeProcess = [&handlers] { return std::make_unique<SilentProcess>(&handlers); };
        s.executor = &executor;
        s.launch.arguments = {"--no-autoscan"};
        s.home = "/nonexistent";
        EngineClient client(std::move(s));
        int changes = 0;
        client.setOnChanged([&changes] { ++changes; });
        client.start();
        // The pipe hands over what it has, in chunks of up to 64 KiB.
        for (std::size_t at = 0; at < stream.size(); at += 65536)
            handlers.output(stream.substr(at, 65536));
        benchmark::DoNotOptimize(client.state().root);
        state.counters["changes"] = changes;
    }
}
BENCHMARK(BM_ClientTakesItems)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
