// Runs one library scan of a tree for the benchmark script and prints what it found, so the
// script can time it beside the floor, du and gdu and check the totals.
//
//     bench_scan [--threads N] [--cache-dir DIR] [--no-cache] [--save] [--generic] ROOT
//
// The tree's root is also the home (rules and dev/build hints apply as in a home scan).
// Prints "alloc files dirs listed reused elapsed_ms peak_rss_kib cache_load_ms" on one line.
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "scan.hpp"

int main(int argc, char** argv) {
    unsigned threads = 8;
    std::string root, cache_dir;
    bool use_cache = true, save = false, generic = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--threads" && i + 1 < argc) {
            threads = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        } else if (a == "--cache-dir" && i + 1 < argc) {
            cache_dir = argv[++i];
        } else if (a == "--no-cache") {
            use_cache = false;
        } else if (a == "--save") {
            save = true;
        } else if (a == "--generic") {
            generic = true;
        } else {
            root = a;
        }
    }
    if (root.empty()) {
        std::fprintf(stderr,
                     "usage: bench_scan [--threads N] [--cache-dir DIR] [--no-cache] "
                     "[--save] [--generic] ROOT\n");
        return 2;
    }
    auto controls = bwcore::scan::init_threads(threads);
    bwcore::scan::init_allocator();  // as the engine's main does
    bwcore::ScanOptions o(root);
    o.threads = threads;
    o.home = o.root;
    o.use_cache = use_cache;
    o.generic_lister = generic;
    if (!cache_dir.empty()) o.cache_dir = cache_dir;
    bwcore::walk::Counters counters;
    auto r = bwcore::scan::scan(o, counters, nullptr);
    if (!r) {
        std::fprintf(stderr, "bench_scan: %s\n", r.error().message.c_str());
        return 1;
    }
    if (save) {
        auto st = bwcore::scan::save_cache(o, *r);
        if (!st) std::fprintf(stderr, "bench_scan: cache not saved\n");
    }
    // As the engine's scan command does, the tree is left to the process's end instead of
    // being taken apart node by node on one thread.
    static const bwcore::ScanResult* kept = nullptr;
    kept = new bwcore::ScanResult(std::move(*r));
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    const auto& t = kept->node.total;
    std::printf("%llu %llu %llu %llu %llu %.1f %ld %.1f\n",
                static_cast<unsigned long long>(t.alloc), static_cast<unsigned long long>(t.files),
                static_cast<unsigned long long>(t.dirs),
                static_cast<unsigned long long>(kept->listed),
                static_cast<unsigned long long>(kept->reused), kept->elapsed_ms, ru.ru_maxrss,
                kept->cache_load_ms);
    return 0;
}
