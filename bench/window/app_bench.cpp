// The app's own speed, as a person meets it: from the start of the process to
// the first painted window, and from a scan's result (a "done" event carrying
// 10,000 items) to the repainted window; the peak memory with those records.
//
//   QT_QPA_PLATFORM=offscreen build/bench/window_app_bench [records] [rounds]
#include <QApplication>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "BenchWindow.hpp"
#include "ViriradoApp.hpp"

namespace {

using namespace virirado;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The peak resident memory of this process so far, in MiB.
double peakMiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmHWM:")) return std::atof(line.c_str() + 6) / 1024.0;
    }
    return 0;
}

// Notes the first paint of a widget.
class FirstPaint : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted = true;
        return false;
    }
};

using bench::SilentProcess;

std::string doneLine(int count) {
    std::string items;
    static const char* const categories[] = {"caches", "derived", "devbuilds", "downloads",
                                             "vms",    "logs",    "sims",      "trash"};
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        if (i > 0) items += ',';
        items += "{\"id\":\"r" + n + "\",\"label\":\"item " + n + "\",\"category\":\"" +
                 categories[i % 8] + "\",\"path\":\"/home/bench/x/" + n +
                 "\",\"size\":" + std::to_string(1000 + (i * 7919LL) % 40'000'000'000LL) +
                 ",\"safety\":\"" + (i % 5 == 0 ? "review" : "safe") +
                 "\",\"action\":\"rm\",\"kind\":\"cache\",\"ticked\":" +
                 (i % 7 == 0 ? "true" : "false") + "}";
    }
    return "{\"event\":\"done\",\"items\":[" + items +
           "],\"free_bytes\":240400000000,\"total_bytes\":2000000000000000}\n";
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const auto processStart = Clock::now();
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("QT_FONT_DPI", "96", 1);
    QTemporaryDir home;
    setenv("HOME", home.path().toUtf8().constData(), 1);
    setenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8().constData(), 1);
    setenv("VIRIRADO_AUTOSCAN", "0", 1);
    QApplication qt(argc, argv);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10'000;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    // Start to first paint, through the app's own entry.
    {
        const ViriradoApp app;
        auto window = app.makeWindow();
        FirstPaint first;
        window->centralWidget()->installEventFilter(&first);
        window->show();
        while (!first.painted)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        std::printf("start to first painted window: %.1f ms\n", msSince(processStart));
    }

    // A scan's result to the repainted window, over the real engine client.
    const std::string done = doneLine(count);
    std::vector<double> ms;
    std::vector<double> client;
    std::vector<double> refresh;
    std::vector<double> paint;
    for (int round = 0; round < rounds; ++round) {
        bench::BenchWindow bench;
        auto& handlers = bench.handlers;
        auto& object = bench.object;
        auto* content = bench.content;
        auto& window = bench.window;
        window.show();
        if (!QTest::qWaitForWindowExposed(&window)) return 1;
        object.client().start();
        QCoreApplication::processEvents();

        const auto start = Clock::now();
        for (std::size_t at = 0; at < done.size(); at += 65536)
            handlers.output(done.substr(at, 65536));
        client.push_back(msSince(start));
        const auto derived = Clock::now();
        content->refreshNow();
        refresh.push_back(msSince(derived));
        QCoreApplication::processEvents();
        const auto painted = Clock::now();
        const QPixmap picture = content->grab();
        paint.push_back(msSince(painted));
        ms.push_back(msSince(start));
        if (content->model().rows()->rows.size() != static_cast<std::size_t>(count)) {
            std::fprintf(stderr, "rows missing\n");
            return 1;
        }
        (void)picture;
    }
    std::printf("\"done\" with %d items to repainted window: median %.1f ms (of %d)\n", count,
                median(ms), rounds);
    std::printf("  of which: engine client %.1f ms, window values %.1f ms, painting %.1f ms\n",
                median(client), median(refresh), median(paint));
    std::printf("peak memory: %.1f MiB\n", peakMiB());
    return 0;
}
