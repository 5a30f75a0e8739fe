// Lays out the map of the largest items: 10,000 weights spread over several orders
// of magnitude, on a canvas the size of a large window. Run with the default
// repetitions and read the median line.
#include <benchmark/benchmark.h>

#include <random>

#include "Treemap.hpp"

namespace {

std::vector<durozizo::MapWeight> makeWeights(size_t n) {
    std::mt19937_64 rng(2024);
    std::lognormal_distribution<double> size(16.0, 2.5);  // around 9 MB, long tail
    std::vector<durozizo::MapWeight> out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i)
        out.push_back({"item-" + std::to_string(i), static_cast<int64_t>(size(rng)) + 1});
    return out;
}

void BM_TreemapLayout10k(benchmark::State& state) {
    const auto weights = makeWeights(10'000);
    const durozizo::MapRect canvas(1600.0, 900.0);
    size_t tiles = 0;
    for (auto _ : state) {
        auto out = durozizo::Treemap::layout(weights, canvas);
        tiles = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["tiles"] = static_cast<double>(tiles);
}

BENCHMARK(BM_TreemapLayout10k)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

}  // namespace
