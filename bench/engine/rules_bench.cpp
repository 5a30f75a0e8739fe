// The rule decisions the walk makes for every listed entry: marker lookups, the nested-name
// test, the deny pre-test and the dev/build hint. They sit in the hot loop of every folder.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "rules.hpp"

namespace {

using bwcore::MarkerIndex;
using bwcore::Rules;

// A mix resembling a project tree: mostly ordinary names, some near misses of markers and
// dev/build folders, and a few real ones.
std::vector<std::string> listing() {
    std::vector<std::string> names;
    for (int i = 0; i < 200; ++i)
        names.push_back("file_" + std::to_string(i) + ".js");
    for (const char* n : {"package.json",
                          "package-lock.json",
                          "README.md",
                          "Cargo.toml",
                          "src",
                          "node_modules",
                          "target",
                          "build",
                          "dist",
                          ".git",
                          ".github",
                          "lib",
                          "tests",
                          "setup.py",
                          "pyproject.toml",
                          "venv",
                          "docs",
                          "Podfile",
                          "index.ts",
                          "tsconfig.json",
                          "wrangler.toml",
                          ".wrangler",
                          "coverage"})
        names.push_back(n);
    return names;
}

const Rules& rules() {
    static const Rules r = Rules::defaults();
    return r;
}

const MarkerIndex& index() {
    static const MarkerIndex ix = rules().marker_index();
    return ix;
}

void BM_MarkerBits(benchmark::State& state) {
    const auto names = listing();
    const MarkerIndex& ix = index();
    for (auto _ : state) {
        uint64_t markers = 0;
        for (const auto& n : names)
            markers |= ix.entry_bits(n, false);
        benchmark::DoNotOptimize(markers);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(names.size()));
}
BENCHMARK(BM_MarkerBits);

void BM_NestedName(benchmark::State& state) {
    const auto names = listing();
    const MarkerIndex& ix = index();
    for (auto _ : state) {
        int nested = 0;
        for (const auto& n : names)
            nested += ix.is_nested(n);
        benchmark::DoNotOptimize(nested);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(names.size()));
}
BENCHMARK(BM_NestedName);

void BM_ChildMightTrip(benchmark::State& state) {
    const auto names = listing();
    const std::string parent = "/home/u/code/project";
    for (auto _ : state) {
        int trips = 0;
        for (const auto& n : names)
            trips += rules().child_might_trip(parent, n, 2, false);
        benchmark::DoNotOptimize(trips);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(names.size()));
}
BENCHMARK(BM_ChildMightTrip);

void BM_ChildMightTripInLibrary(benchmark::State& state) {
    std::vector<std::string> names;
    for (int i = 0; i < 100; ++i)
        names.push_back("org.example.app" + std::to_string(i));
    names.push_back("com.apple.Safari");
    const std::string parent = "/home/u/Library/Containers";
    for (auto _ : state) {
        int trips = 0;
        for (const auto& n : names)
            trips += rules().child_might_trip(parent, n, 2, true);
        benchmark::DoNotOptimize(trips);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(names.size()));
}
BENCHMARK(BM_ChildMightTripInLibrary);

void BM_DevHintAndSettle(benchmark::State& state) {
    const auto names = listing();
    const MarkerIndex& ix = index();
    uint64_t parent = 0;
    for (const auto& n : names)
        parent |= ix.entry_bits(n, n == ".git");
    for (auto _ : state) {
        unsigned kinds = 0;
        for (const auto& n : names) {
            bwcore::DevHint h = ix.hint_for(n, parent, false, false, 3, false);
            kinds += ix.settle(h, 0).dev_kind;
        }
        benchmark::DoNotOptimize(kinds);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(names.size()));
}
BENCHMARK(BM_DevHintAndSettle);

// The full test, run only for the rare child that passes the pre-test.
void BM_ChildReasonTripped(benchmark::State& state) {
    for (auto _ : state) {
        auto r = rules().child_reason("/home/u/Library/Containers/com.apple.Safari",
                                      "com.apple.Safari", true, "/home/u");
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_ChildReasonTripped);

}  // namespace
