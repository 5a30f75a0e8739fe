// Filters and orders 100,000 search items with a query that mixes words and
// filters, as the result window does on every keystroke. The binary's main is
// shared with the other benchmarks of this folder; run with
// --benchmark_repetitions=9 --benchmark_filter=Search and read the median line.
// The Copies variants include copying every kept item out; the Indices ones
// are the keystroke path, which returns positions only.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "SearchMatch.hpp"

namespace {

constexpr double kNow = 1'700'000'000.0;
constexpr const char* kQuery = "size:>100k kind:cache,devbuild age:>30d build -zzz";

std::vector<durozizo::SearchItem> makeItems(std::size_t n) {
    const char* kinds[] = {"cache", "devbuild", "biggest-file", "log", "download", "app-cache"};
    const char* cats[] = {"caches", "builds", "downloads", "logs", "trash", "apps"};
    const char* exts[] = {"mov", "zip", "", "log", "Pdf", "dmg"};
    std::mt19937_64 rng(7);
    std::lognormal_distribution<double> size(15.0, 3.0);
    std::uniform_real_distribution<double> age(0, 400 * 86400.0);
    std::vector<durozizo::SearchItem> out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t k = i % 6;
        const auto bytes = static_cast<int64_t>(size(rng));
        out.emplace_back("id-" + std::to_string(i), "Item " + std::to_string(i % 977),
                         "/home/user/Projects/p" + std::to_string(i % 131) + "/Build Output", bytes,
                         bytes / 2, kinds[k], cats[(i / 6) % 6], exts[(i / 5) % 6], kNow - age(rng),
                         i % 3 ? "safe" : "review", "trash", i % 4 == 0, true,
                         i % 10 ? "" : "/home/user/Downloads/member.zip");
    }
    return out;
}

// Many equal sizes (empty folders, duplicate files): the order then rests on
// names compared by the user's collation.
std::vector<durozizo::SearchItem> makeTiedItems(std::size_t n) {
    const char* words[] = {"Cache", "cache", "Äpfel", "apfel", "zebra", "Build", "élan", "Elan"};
    std::mt19937_64 rng(11);
    std::uniform_int_distribution<int> pick(0, 7);
    std::uniform_int_distribution<int64_t> bytes(0, 20);
    std::vector<durozizo::SearchItem> out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const int64_t b = bytes(rng) * 4096;
        std::string name = std::string(words[pick(rng)]) + " " + words[pick(rng)];
        out.emplace_back("id-" + std::to_string(i), std::move(name), "/home/user/x", b, b, "cache",
                         "caches", "", kNow, "safe", "trash", false, true, "");
    }
    return out;
}

void BM_SearchParseAndMatch(benchmark::State& state) {
    const auto items = makeItems(100000);
    for (auto _ : state) {
        auto found = durozizo::search(items, kQuery, durozizo::VadeScope::everything, kNow);
        benchmark::DoNotOptimize(found.data());
        state.counters["kept"] = static_cast<double>(found.size());
    }
}
BENCHMARK(BM_SearchParseAndMatch)->Unit(benchmark::kMillisecond);

void BM_SearchEmptyTextOrdersAll(benchmark::State& state) {
    const auto items = makeItems(100000);
    for (auto _ : state) {
        auto found = durozizo::search(items, "", durozizo::VadeScope::everything, kNow);
        benchmark::DoNotOptimize(found.data());
    }
}
BENCHMARK(BM_SearchEmptyTextOrdersAll)->Unit(benchmark::kMillisecond);

void BM_SearchIndicesParseAndMatch(benchmark::State& state) {
    const auto items = makeItems(100000);
    for (auto _ : state) {
        auto found = durozizo::searchIndices(items, kQuery, durozizo::VadeScope::everything, kNow);
        benchmark::DoNotOptimize(found.data());
        state.counters["kept"] = static_cast<double>(found.size());
    }
}
BENCHMARK(BM_SearchIndicesParseAndMatch)->Unit(benchmark::kMillisecond);

void BM_SearchIndicesEmptyTextOrdersAll(benchmark::State& state) {
    const auto items = makeItems(100000);
    for (auto _ : state) {
        auto found = durozizo::searchIndices(items, "", durozizo::VadeScope::everything, kNow);
        benchmark::DoNotOptimize(found.data());
    }
}
BENCHMARK(BM_SearchIndicesEmptyTextOrdersAll)->Unit(benchmark::kMillisecond);

void BM_SearchIndicesManyTiedSizes(benchmark::State& state) {
    const auto items = makeTiedItems(100000);
    for (auto _ : state) {
        auto found = durozizo::searchIndices(items, "", durozizo::VadeScope::everything, kNow);
        benchmark::DoNotOptimize(found.data());
    }
}
BENCHMARK(BM_SearchIndicesManyTiedSizes)->Unit(benchmark::kMillisecond);

}  // namespace
