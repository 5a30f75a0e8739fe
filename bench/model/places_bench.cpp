// A preview of every item judged by the folders on disk they name: 10,000 build
// folders with two members each, in a temporary home made once. What the
// background checks spend before the sheet opens and before the clean is sent.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "AsScanned.hpp"
#include "ScannedPlaces.hpp"

namespace {

using namespace virirado;
namespace fs = std::filesystem;

ItemRecord record(const std::string& id, const std::string& path) {
    ItemRecord r;
    r.id = id;
    r.label = id;
    r.path = path;
    r.safety = "safe";
    r.action = "trash";
    return r;
}

// Projects in 100 folders of 100: ~/src/g{k}/p{i}/target with debug and release.
struct Scan {
    fs::path home;
    std::vector<ItemRecord> records;
    std::vector<PreviewRow> rows;

    explicit Scan(int count) {
        std::string pattern = (fs::temp_directory_path() / "vplaces-XXXXXX").string();
        home = ::mkdtemp(pattern.data());
        for (int i = 0; i < count; ++i) {
            const std::string n = std::to_string(i);
            const fs::path target =
                home / "src" / ("g" + std::to_string(i / 100)) / ("p" + n) / "target";
            fs::create_directories(target / "debug");
            fs::create_directories(target / "release");
            ItemRecord r = record("x" + n, target.string());
            r.members = {record("x" + n + "/d", (target / "debug").string()),
                         record("x" + n + "/r", (target / "release").string())};
            records.push_back(r);
            PreviewRow row;
            row.id = r.id;
            row.label = r.label;
            row.path = r.path;
            row.safety = "safe";
            row.action = "trash";
            rows.push_back(row);
        }
    }
    ~Scan() { fs::remove_all(home); }
};

const Scan& scanOf(int count) {
    static const Scan scan(count);
    return scan;
}

void BM_PreviewJudgedByPlace(benchmark::State& state) {
    const Scan& scan = scanOf(static_cast<int>(state.range(0)));
    std::size_t lookups = 0;
    for (auto _ : state) {
        const AsScanned scanned(scan.records, scan.home.string());
        ScannedPlaces places(scanned);
        int stricter = 0;
        for (const PreviewRow& row : scan.rows)
            stricter += AsScanned::tightened(row, scanned.judge(row, places)).safety != "safe";
        benchmark::DoNotOptimize(stricter);
        lookups = places.lookups();
    }
    state.counters["lookups"] = static_cast<double>(lookups);
}

void BM_PreviewJudgedByText(benchmark::State& state) {
    const Scan& scan = scanOf(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const AsScanned scanned(scan.records, scan.home.string());
        int stricter = 0;
        for (const PreviewRow& row : scan.rows)
            stricter += scanned.tightened(row).safety != "safe";
        benchmark::DoNotOptimize(stricter);
    }
}

}  // namespace

BENCHMARK(BM_PreviewJudgedByPlace)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PreviewJudgedByText)->Arg(10000)->Unit(benchmark::kMillisecond);
