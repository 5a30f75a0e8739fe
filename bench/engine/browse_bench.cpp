// Browse answers over a synthetic scanned tree held in memory: 60 top folders of 1,000 folders
// each (60,061 folders) holding 1,000,000 recorded files. The target is every answer under
// 50 ms; none of these touches the disk.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <string>

#include "browse.hpp"

namespace {

using bwcore::Browse;
using bwcore::FileRec;
using bwcore::Node;

constexpr int TOP_FOLDERS = 60;
constexpr int SUB_FOLDERS = 1000;
constexpr int FILES = 1000000;
constexpr const char* ROOT = "/Users/bench";

struct Lcg {
    uint64_t state = 0x9e3779b97f4a7c15ull;
    uint64_t next() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return state >> 17;
    }
};

Node make_tree() {
    static constexpr std::array<const char*, 10> exts = {"mov", "jpg", "log", "txt",  "zip",
                                                         "dmg", "bin", "mp3", "json", "pdf"};
    Lcg rng;
    Node root;
    root.name = "bench";
    int file_no = 0;
    for (int t = 0; t < TOP_FOLDERS; ++t) {
        Node top;
        top.name = (t % 7 == 0 ? "Photos" : "project") + std::to_string(t);
        for (int s = 0; s < SUB_FOLDERS; ++s) {
            Node sub;
            sub.name = "dir" + std::to_string(s);
            int here = FILES / (TOP_FOLDERS * SUB_FOLDERS) + (s % 3 != 2 ? 1 : 0);  // 16 2/3 each
            for (int f = 0; f < here && file_no < FILES; ++f, ++file_no) {
                uint64_t alloc = 1000000 + rng.next() % 4000000000ull;
                int64_t mtime = 1500000000000000000ll +
                                static_cast<int64_t>(rng.next() % 200000000) * 1000000000ll;
                sub.files.push_back(FileRec{"f" + std::to_string(f) + "." + exts[file_no % 10],
                                            alloc, alloc, mtime, static_cast<uint64_t>(file_no)});
                sub.own.alloc += alloc;
                sub.own.files += 1;
            }
            top.children.push_back(std::move(sub));
        }
        root.children.push_back(std::move(top));
    }
    bwcore::tree::settle_links(root);
    return root;
}

const Browse& browse() {
    static const Node tree = make_tree();
    static const Browse b(ROOT, tree, bwcore::Rules::defaults(),
                          bwcore::Rules::defaults().marker_index(), std::string(ROOT), false);
    return b;
}

void BM_Top(benchmark::State& state) {
    const Browse& b = browse();
    for (auto _ : state)
        benchmark::DoNotOptimize(b.top(ROOT, 500));
}

void BM_NodeRoot(benchmark::State& state) {
    const Browse& b = browse();
    for (auto _ : state)
        benchmark::DoNotOptimize(b.node(ROOT, 500, false));
}

// One folder with 1,000 child folders, all made into rows.
void BM_NodeWide(benchmark::State& state) {
    const Browse& b = browse();
    std::string path = std::string(ROOT) + "/project1";
    for (auto _ : state)
        benchmark::DoNotOptimize(b.node(path, 5000, false));
}

void BM_Search(benchmark::State& state, const char* query) {
    const Browse& b = browse();
    for (auto _ : state)
        benchmark::DoNotOptimize(b.search(query, 500));
}

void args(benchmark::internal::Benchmark* bm) {
    bm->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
}

BENCHMARK(BM_Top)->Apply(args);
BENCHMARK(BM_NodeRoot)->Apply(args);
BENCHMARK(BM_NodeWide)->Apply(args);
BENCHMARK_CAPTURE(BM_Search, word, "photos")->Apply(args);
BENCHMARK_CAPTURE(BM_Search, size, "size:>3.5g")->Apply(args);
BENCHMARK_CAPTURE(BM_Search, kind, "kind:video")->Apply(args);
BENCHMARK_CAPTURE(BM_Search, everything, "")->Apply(args);

}  // namespace
