// How fast the app gets out of an engine's way: the engine client over the
// real process layer and the tests' scripted engine, each ending timed from
// the moment it is asked for until the engine and its helper no longer run.
//
//   build/bench/window_ways_out_bench [rounds]
//
// - at once: a second close during a clean, or logout (`endEngineNow`), with
//   an engine that ignores SIGTERM and a helper holding its output;
// - the app's end with that stubborn engine (the client destroyed): its input
//   closed, then SIGTERM, then SIGKILL;
// - the app's end with an engine that ends when its input closes.
#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "EngineClientObject.hpp"
#include "Processes.hpp"
#include "Settled.hpp"

namespace {

using namespace virirado;
using Clock = std::chrono::steady_clock;
using virirado::testing::kHangMs;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One engine client over the scripted engine in `folder`, started.
struct Round {
    std::string folder;
    std::unique_ptr<EngineClientObject> object;
    std::vector<pid_t> pids;
    pid_t group = 0;

    Round(const std::string& root, const std::string& script) : folder(root) {
        std::ofstream(folder + "/script") << script;
        std::remove((folder + "/pid").c_str());
        ClientServices s = ClientServices::system(folder);
        s.launch = LaunchContext::current();
        s.launch.arguments = {"--no-autoscan"};
        s.launch.environment["VIRIRADO_ENGINE"] = VIRIRADO_FAKE_ENGINE;
        s.launch.environment["VIRIRADO_FAKE_SCRIPT"] = folder + "/script";
        s.launch.environment["VIRIRADO_FAKE_PIDFILE"] = folder + "/pid";
        object = std::make_unique<EngineClientObject>(std::move(s));
        object->client().start();
    }
    // The engine and its helper, once both run.
    bool running() {
        const bool both = QTest::qWaitFor(
            [&] {
                pids.clear();
                std::ifstream in(folder + "/pid");
                for (long pid; in >> pid;)
                    pids.push_back(static_cast<pid_t>(pid));
                return pids.size() == 2;
            },
            kHangMs);
        group = both ? testing::groupOf(pids.front()) : 0;
        return both && group > 0;
    }
    bool allEnded() { return testing::allEnd(pids, group, kHangMs); }
};

const std::string kStubborn = "ignore-term\nspawn-child\nstall " + std::to_string(kHangMs) + "\n";
const char* const kWellBehaved = "spawn-child\n";

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication qt(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QTemporaryDir home;
    if (!home.isValid()) return 1;
    const std::string root = home.path().toStdString();

    std::vector<double> atOnce, atOnceAll, stubborn, stubbornAll, polite, politeAll;
    for (int i = 0; i < rounds; ++i) {
        {
            Round r(root, kStubborn);
            if (!r.running()) return 1;
            const auto start = Clock::now();
            r.object->client().endEngineNow();
            atOnce.push_back(msSince(start));
            if (!r.allEnded()) return 1;
            atOnceAll.push_back(msSince(start));
        }
        for (const bool ignoresTerm : {true, false}) {
            Round r(root, ignoresTerm ? kStubborn : kWellBehaved);
            if (!r.running()) return 1;
            const auto start = Clock::now();
            r.object.reset();
            (ignoresTerm ? stubborn : polite).push_back(msSince(start));
            if (!r.allEnded()) return 1;
            (ignoresTerm ? stubbornAll : politeAll).push_back(msSince(start));
        }
    }
    std::printf("medians of %d rounds, to the call's return / to nothing of the engine running\n",
                rounds);
    std::printf("at once (second close, logout), stubborn engine: %.1f / %.1f ms\n", median(atOnce),
                median(atOnceAll));
    std::printf("app's end, engine ignores SIGTERM:               %.1f / %.1f ms\n",
                median(stubborn), median(stubbornAll));
    std::printf("app's end, engine ends on its input:             %.1f / %.1f ms\n", median(polite),
                median(politeAll));
    return 0;
}
