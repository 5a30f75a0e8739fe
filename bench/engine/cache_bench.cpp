// Cache encoding and decoding, and hard-link settlement, on a synthetic tree the size of a
// large home folder: 60,000 folders holding 1,000,000 file records.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "bincode.hpp"
#include "cache.hpp"

namespace {

using namespace bwcore;

// 60 top folders x 1,000 subfolders, 16 or 17 file records each, one hard link in every tenth.
const CacheBody& big_body() {
    static const CacheBody body = [] {
        CacheBody b;
        b.root = "/home/bench";
        b.key = 1;
        b.node.name = "bench";
        uint64_t ino = 1;
        for (int top = 0; top < 60; ++top) {
            Node t;
            t.name = "project-" + std::to_string(top);
            for (int sub = 0; sub < 1000; ++sub) {
                Node s;
                s.name = "folder-" + std::to_string(sub);
                s.self_alloc = 4096;
                int n = (top * 1000 + sub) % 3 == 0 ? 17 : 16;
                // The own totals are the sums of the records, as the reader checks.
                s.own = Agg{65536u * n, 60000u * n, uint64_t(n), 0, 1700000000, 0, 0, 0};
                for (int f = 0; f < n; ++f)
                    s.all_files.push_back(
                        FileRec{"file-" + std::to_string(f) + ".dat", 65536, 60000, 17, ino++});
                if (sub % 10 == 0) s.links.push_back(LinkRec{"shared", 1, 7, 4096, 4000, 3});
                t.children.push_back(std::move(s));
            }
            b.node.children.push_back(std::move(t));
        }
        return b;
    }();
    return body;
}

void BM_Encode(benchmark::State& state) {
    const CacheBody& b = big_body();
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string out = bincode::encode(b);
        bytes = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["MiB"] = double(bytes) / (1 << 20);
    state.SetBytesProcessed(int64_t(bytes) * state.iterations());
}

void BM_Decode(benchmark::State& state) {
    const std::string bytes = bincode::encode(big_body());
    for (auto _ : state) {
        std::optional<CacheBody> got = bincode::decode(bytes);
        if (!got) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(got->node.children.size());
    }
    state.SetBytesProcessed(int64_t(bytes.size()) * state.iterations());
}

// Save and load through the file system (page cache), with the 1 MiB buffers.
void BM_SaveLoad(benchmark::State& state) {
    const CacheBody& b = big_body();
    const std::string dir = (std::filesystem::temp_directory_path() / "cache-bench").string();
    for (auto _ : state) {
        if (!cache::save(dir, b.root, b.key, b.volume_uuid, b.event_id, b.node))
            state.SkipWithError("save failed");
        std::optional<CacheBody> got = cache::load(dir, b.root, b.key, 3600);
        if (!got) state.SkipWithError("load failed");
    }
    std::filesystem::remove_all(dir);
}

// The children arrive in walk order (unsorted by name) as they would after a scan.
void BM_SettleLinks(benchmark::State& state) {
    Node tree = big_body().node;
    for (auto _ : state) {
        state.PauseTiming();
        for (Node& t : tree.children)
            std::reverse(t.children.begin(), t.children.end());
        state.ResumeTiming();
        tree::settle_links(tree);
        benchmark::DoNotOptimize(tree.total.alloc);
    }
}

BENCHMARK(BM_Encode)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SaveLoad)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SettleLinks)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
