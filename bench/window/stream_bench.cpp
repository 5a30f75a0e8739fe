// A scan's result arriving as the engine streams it: N "item" events, a
// "progress" event now and then, then "done" without items, into the real
// engine client and the whole window; or, with --one-line, the whole result in
// the "items" of one "done" line, each item with its explanations as the
// stand-in writes them (300,000 items make a line of about 120 MB). With
// --through-pipe that one line comes from a real child process (the scripted
// engine of the tests) through a real pipe, with the window's scanning
// animation running, and is timed from "Start scan" to the repainted window. The events reach the
// client in 64 KiB pieces, as a pipe hands them over, and the window's event loop runs between two
// pieces, so it refreshes while the items arrive as it would on screen. Timed from the first piece
// to the end of a full grab of the window after "done"; the items taken after each tenth of the
// stream show whether the cost of an item stays flat as the list grows.
//
//   QT_QPA_PLATFORM=offscreen build/bench/window_stream_bench [--limit-s S] [--one-line]
//       [--through-pipe] [N ...]
//
// N defaults to 10000 100000 300000. A run that passes S seconds (default 600)
// stops taking items and reports how many it took by then.
#include <sys/resource.h>
#include <QApplication>
#include <QDir>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "BenchWindow.hpp"
#include "QuietServices.hpp"

namespace {

using namespace virirado;
using Clock = std::chrono::steady_clock;

// The processor time of this process so far, all threads, user and system.
double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Items as the engine finds them: eight categories, every fifth to be checked
// first, one in seven ticked, and half of the sizes drawn from a few hundred
// whole numbers of blocks, so that many items tie on size and the list orders
// them by name.
std::string itemObject(int i) {
    static const char* const categories[] = {"caches", "derived", "devbuilds", "downloads",
                                             "vms",    "logs",    "sims",      "trash"};
    static const char* const words[] = {"harbor", "quill", "lumen",   "orbit", "cedar",
                                        "delta",  "fjord", "juniper", "kelp",  "mosaic"};
    uint64_t h = static_cast<uint64_t>(i) * 0x9E3779B97F4A7C15ull;
    h ^= h >> 29;
    const long long size = i % 2 == 0 ? 4096LL * static_cast<long long>(1 + h % 300)
                                      : 1000 + static_cast<long long>(h % 40'000'000'000ull);
    const std::string n = std::to_string(i);
    const std::string word = words[(h >> 8) % 10];
    return "{\"id\":\"s" + n + "\",\"label\":\"" + word + " " + n + "\",\"category\":\"" +
           categories[i % 8] + "\",\"path\":\"/home/bench/" + word + "/" + n +
           "\",\"size\":" + std::to_string(size) + ",\"safety\":\"" +
           (i % 5 == 0 ? "review" : "safe") + "\",\"action\":\"rm\",\"kind\":\"cache\"" +
           ",\"ticked\":" + (i % 7 == 0 ? "true" : "false") + "}";
}

// An item with everything the stand-in says of one: its explanations too.
std::string fullItemObject(int i) {
    std::string item = itemObject(i);
    item.pop_back();
    return item +
           ",\"explain\":{\"what\":\"Files that this program keeps so it can start and load "
           "faster.\",\"if_gone\":\"Nothing you made is lost. The program downloads or rebuilds "
           "what it needs.\",\"comes_back\":\"Recreated on demand.\"},\"file_count\":" +
           std::to_string(1 + i % 977) + ",\"modified\":1796798195,\"deletable\":true}";
}

std::string itemLine(int i) {
    return "{\"event\":\"item\",\"item\":" + itemObject(i) + "}\n";
}

std::string progressLine(int i, int count) {
    return "{\"event\":\"progress\",\"pct\":" + std::to_string(100.0 * i / count) +
           ",\"place\":\"~/place " + std::to_string(i / 5000) + "\",\"done\":" + std::to_string(i) +
           ",\"total\":" + std::to_string(count) + "}\n";
}

struct Run {
    int count = 0;
    int taken = 0;  // items the client holds when the stream ended or was cut off
    bool cutOff = false;
    double seconds = 0;          // first piece to the repainted window after "done"
    double cpu = 0;              // processor time over the same span
    double streamSeconds = 0;    // first piece to the last piece taken
    double finishSeconds = 0;    // "done" to the repainted window
    std::vector<double> tenths;  // seconds at which each further tenth of the items was taken
    int changes = 0;             // changes the client announced while the items arrived
    std::size_t lineBytes = 0;   // the one line's length, with --one-line
};

Run stream(int count, double limit, bool oneLine) {
    Run run;
    run.count = count;
    std::string events =
        "{\"event\":\"volume\",\"free_bytes\":240400000000,"
        "\"total_bytes\":2000000000000000,\"volume\":\"Bench\"}\n";
    // Where each tenth of the items ends in the stream.
    std::vector<std::size_t> tenthEnds;
    std::string done = "{\"event\":\"done\",\"free_bytes\":240400000000,";
    if (oneLine) done += "\"items\":[";
    for (int i = 0; i < count; ++i) {
        if (oneLine) {
            done += (i == 0 ? "" : ",") + fullItemObject(i);
            continue;
        }
        if (i % 2000 == 0) events += progressLine(i, count);
        events += itemLine(i);
        if ((i + 1) % std::max(1, count / 10) == 0) tenthEnds.push_back(events.size());
    }
    if (oneLine) done += "],";
    done += "\"total_bytes\":2000000000000000}\n";
    // The one line comes in pieces like any other output.
    if (oneLine) {
        events += done;
        done.clear();
        run.lineBytes = events.size();
    }

    bench::BenchWindow bench;
    auto& handlers = bench.handlers;
    auto& object = bench.object;
    auto* content = bench.content;
    auto& window = bench.window;
    int changes = 0;
    QObject::connect(&object, &EngineClientObject::changed, [&changes] { ++changes; });
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) std::exit(1);
    object.client().start();
    object.client().scan();
    QCoreApplication::processEvents();

    const auto start = Clock::now();
    const double cpuStart = cpuSeconds();
    std::size_t nextTenth = 0;
    for (std::size_t at = 0; at < events.size(); at += 65536) {
        handlers.output(events.substr(at, 65536));
        // The event loop runs between two reads of the pipe.
        QCoreApplication::processEvents();
        while (nextTenth < tenthEnds.size() && tenthEnds[nextTenth] <= at + 65536) {
            run.tenths.push_back(secondsSince(start));
            ++nextTenth;
        }
        if (secondsSince(start) > limit) {
            run.cutOff = true;
            break;
        }
    }
    run.streamSeconds = secondsSince(start);
    run.taken = static_cast<int>(object.client().records().size());
    const auto finish = Clock::now();
    if (!done.empty()) handlers.output(done);
    QCoreApplication::processEvents();
    content->refreshNow();
    const QPixmap picture = content->grab();
    run.finishSeconds = secondsSince(finish);
    run.seconds = secondsSince(start);
    run.cpu = cpuSeconds() - cpuStart;
    run.changes = changes;
    if (!run.cutOff && content->model().rows()->rows.size() != static_cast<std::size_t>(count)) {
        std::fprintf(stderr, "rows missing: %zu of %d shown\n",
                     content->model().rows()->rows.size(), count);
        std::exit(1);
    }
    (void)picture;
    return run;
}

// The whole result as one "done" line from the scripted engine, through the
// real process and pipe, into a window whose scanning animation runs.
Run throughPipe(int count, double limit) {
    Run run;
    run.count = count;
    QTemporaryDir root;
    const std::string home = (root.path() + "/home").toStdString();
    QDir().mkpath(QString::fromStdString(home));
    std::string done = "{\"event\":\"done\",\"free_bytes\":240400000000,\"items\":[";
    for (int i = 0; i < count; ++i)
        done += (i == 0 ? "" : ",") + fullItemObject(i);
    done += "],\"total_bytes\":2000000000000000}";
    run.lineBytes = done.size() + 1;
    const std::string script = (root.path() + "/script").toStdString();
    {
        std::FILE* f = std::fopen(script.c_str(), "w");
        if (f == nullptr) std::exit(1);
        std::fprintf(f, "on scan\nsay %s\n", done.c_str());
        std::fclose(f);
    }
    done.clear();
    done.shrink_to_fit();

    ClientServices services = ClientServices::system(home);
    services.launch = LaunchContext::current();
    services.launch.arguments = {"--no-autoscan"};
    auto& env = services.launch.environment;
    env["HOME"] = home;
    env["VIRIRADO_ENGINE"] =
        (QCoreApplication::applicationDirPath() + "/../bin/virirado-fake-engine").toStdString();
    env["VIRIRADO_FAKE_SCRIPT"] = script;
    EngineClientObject object(std::move(services));
    MemoryStore settings;
    SystemClock clock;
    testing::RecordingFileActions files;
    WindowServices w = testing::quietServices(object.client(), settings, clock, files, home);
    w.reduceMotion = false;
    QMainWindow window;
    auto* content = new ContentView(std::move(w));
    window.setCentralWidget(content);
    window.resize(1240, 800);
    QObject::connect(&object, &EngineClientObject::changed, content, &ContentView::engineChanged);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) std::exit(1);
    QTest::qWait(200);

    const auto start = Clock::now();
    const double cpuStart = cpuSeconds();
    content->model().scan();
    const bool shown = QTest::qWaitFor(
        [&] { return object.state().place == "done" || !object.client().engineRunning(); },
        static_cast<int>(limit * 1000));
    content->refreshNow();
    const QPixmap picture = content->grab();
    (void)picture;
    run.seconds = secondsSince(start);
    run.cpu = cpuSeconds() - cpuStart;
    run.taken = static_cast<int>(object.client().records().size());
    run.cutOff = !shown || run.taken != count;
    run.streamSeconds = run.seconds;
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("QT_FONT_DPI", "96", 1);
    QTemporaryDir home;
    setenv("HOME", home.path().toUtf8().constData(), 1);
    setenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8().constData(), 1);
    QApplication qt(argc, argv);
    double limit = 600;
    bool oneLine = false;
    bool pipe = false;
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--one-line") == 0) {
            oneLine = true;
        } else if (std::strcmp(argv[i], "--through-pipe") == 0) {
            pipe = true;
        } else if (std::strcmp(argv[i], "--limit-s") == 0 && i + 1 < argc) {
            limit = std::atof(argv[++i]);
        } else {
            counts.push_back(std::max(1, std::atoi(argv[i])));
        }
    }
    if (counts.empty()) counts = {10'000, 100'000, 300'000};
    for (int count : counts) {
        if (pipe) {
            const Run r = throughPipe(count, limit);
            std::printf("one \"done\" line of %.1f MB through a pipe, %d items: ",
                        r.lineBytes / 1e6, count);
            if (r.cutOff) {
                std::printf("not shown after %.1f s (%d items taken)\n", r.seconds, r.taken);
            } else {
                std::printf("repainted window %.2f s after \"Start scan\", processor %.2f s\n",
                            r.seconds, r.cpu);
            }
            std::fflush(stdout);
            continue;
        }
        const Run r = stream(count, limit, oneLine);
        if (oneLine) std::printf("one \"done\" line of %.1f MB\n", r.lineBytes / 1e6);
        if (r.cutOff) {
            std::printf("%d items: cut off after %.1f s with %d items taken\n", count,
                        r.streamSeconds, r.taken);
        } else {
            std::printf(
                "%d items to repainted window: %.2f s (%.1f us an item), processor "
                "%.2f s; stream %.2f s, \"done\" to picture %.2f s\n",
                count, r.seconds, 1e6 * r.seconds / count, r.cpu, r.streamSeconds, r.finishSeconds);
        }
        std::printf("  each tenth of the items, us an item:");
        double before = 0;
        const int tenth = std::max(1, count / 10);
        for (double t : r.tenths) {
            std::printf(" %.1f", 1e6 * (t - before) / tenth);
            before = t;
        }
        std::printf("\n  changes announced while streaming: %d\n", r.changes);
        std::fflush(stdout);
    }
    return 0;
}
