// Listing one 10,000-entry folder (warm cache) with the bulk and the generic lister.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "list_generic.hpp"
#include "list_macos.hpp"

namespace {

constexpr int ENTRIES = 10'000;

// The folder lives for the whole run and is removed at exit.
class WideFolder {
public:
    WideFolder() {
        std::string templ = "/tmp/virirado-bench-list-XXXXXX";
        if (::mkdtemp(templ.data()) == nullptr) return;
        m_path = templ;
        for (int i = 0; i < ENTRIES; ++i) {
            std::string p = m_path + "/entry-" + std::to_string(i) + (i % 10 == 0 ? ".d" : ".txt");
            if (i % 10 == 0) {
                ::mkdir(p.c_str(), 0755);
                continue;
            }
            int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            if (fd >= 0) {
                if (i % 3 == 0) (void)::write(fd, "some bytes", 10);
                ::close(fd);
            }
        }
    }
    ~WideFolder() {
        std::error_code ec;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

const WideFolder& folder() {
    static WideFolder f;
    return f;
}

void BM_ListBulk(benchmark::State& state) {
    const std::string& path = folder().path();
    for (auto _ : state) {
        auto r = bwcore::list_macos::list_dir(path);
        if (!r || r->size() != static_cast<size_t>(ENTRIES)) state.SkipWithError("listing failed");
        benchmark::DoNotOptimize(r);
    }
    state.SetItemsProcessed(state.iterations() * ENTRIES);
}
BENCHMARK(BM_ListBulk)->Unit(benchmark::kMillisecond);

void BM_ListGeneric(benchmark::State& state) {
    const std::string& path = folder().path();
    for (auto _ : state) {
        auto r = bwcore::list_generic::list_dir(path);
        if (!r || r->size() != static_cast<size_t>(ENTRIES)) state.SkipWithError("listing failed");
        benchmark::DoNotOptimize(r);
    }
    state.SetItemsProcessed(state.iterations() * ENTRIES);
}
BENCHMARK(BM_ListGeneric)->Unit(benchmark::kMillisecond);

}  // namespace
