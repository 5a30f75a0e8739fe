// One search keystroke in the main window with 10,000 records, from the key
// press to the repainted window: the field takes the key, the window filters
// through the query language's positions path, hands every area its values,
// and the whole content is painted (a full grab, more than a real repaint).
//
//   QT_QPA_PLATFORM=offscreen build/bench/window_keystroke_bench [--map-open] [records] [rounds]
//
// With --map-open the largest-files map under the Dazu bar is open, so every key
// that changes the visible rows lays the map out and paints it again.
#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ContentView.hpp"
#include "QuietServices.hpp"
#include "RecordingEngine.hpp"
#include "RecordingFileActions.hpp"

namespace {

using namespace virirado;

// A mixed result, the same every run: caches, build folders, downloads, virtual
// machines and the rest, one in seven ticked.
std::vector<ItemRecord> records(int count) {
    struct Kind {
        const char* category;
        const char* kind;
        const char* word;
        const char* folder;
    };
    static const Kind kinds[] = {
        {"caches", "cache", "cache", "~/Library/Caches/"},
        {"derived", "devbuild", "DerivedData", "~/Library/Developer/Xcode/DerivedData/"},
        {"devbuilds", "devbuild", "node_modules", "~/Developer/"},
        {"downloads", "download", "installer", "~/Downloads/"},
        {"vms", "vm-bundles", "VM", "~/VMs/"},
        {"logs", "logs", "logs", "~/Library/Logs/"},
        {"sims", "sim-runtime", "Simulator runtime", "/Library/Developer/CoreSimulator/"},
        {"trash", "trash", "Trash", "~/.Trash/"},
    };
    static const char* const names[] = {"harbor", "quill", "lumen",   "orbit", "cedar",
                                        "delta",  "fjord", "juniper", "kelp",  "mosaic"};
    static const char* const exts[] = {"", "zip", "dmg", "mov", "pdf", ""};
    std::vector<ItemRecord> out;
    uint64_t seed = 88172645463325252ull;
    for (int i = 0; i < count; ++i) {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        const Kind& k = kinds[i % 8];
        ItemRecord r;
        r.id = "r" + std::to_string(i);
        r.category = k.category;
        r.kind = k.kind;
        r.label = std::string(k.word) + " " + names[(i / 8) % 10] + "-" + std::to_string(i);
        r.path = std::string(k.folder) + names[(i / 8) % 10] + "/" + std::to_string(i);
        r.size = static_cast<int64_t>(seed % 40'000'000'000ull) + 1000;
        r.realisticSize = i % 3 == 0 ? r.size / 2 : 0;
        r.fileCount = static_cast<int64_t>(seed % 5000) + 1;
        r.safety = i % 5 == 0 ? "review" : "safe";
        r.ticked = i % 7 == 0 && r.safety == "safe";
        r.ext = exts[i % 6];
        r.action = i % 4 == 0 ? "trash" : "rm";
        r.why = "Rebuilt on demand.";
        out.push_back(std::move(r));
    }
    return out;
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(at, v.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("QT_FONT_DPI", "96", 1);
    QApplication app(argc, argv);
    bool mapOpen = false;
    std::vector<int> numbers;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--map-open") {
            mapOpen = true;
        } else {
            numbers.push_back(std::max(1, std::atoi(argv[i])));
        }
    }
    const int count = numbers.size() > 0 ? numbers[0] : 10'000;
    const int rounds = numbers.size() > 1 ? numbers[1] : 5;

    testing::RecordingEngine engine;
    MemoryStore settings;
    FixedClock clock(1'772'366'400.0, 794'059'200.35);
    testing::RecordingFileActions files;
    QMainWindow window;
    auto* content =
        new ContentView(testing::quietServices(engine, settings, clock, files, "/home/bench"));
    window.setCentralWidget(content);
    window.resize(1240, 800);
    engine.onChanged = [content] { content->engineChanged(); };
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) return 1;
    engine.value.volumeName = "Macintosh HD";
    engine.load(records(count), 240'400'000'000, 2'000'000'000'000'000);
    if (mapOpen) content->model().setMapExpanded(true);
    QCoreApplication::processEvents();
    content->grab();

    auto* field = content->findChild<QLineEdit*>(QStringLiteral("searchField"));
    if (field == nullptr) {
        std::fprintf(stderr, "no search field\n");
        return 1;
    }
    field->setFocus();
    // Typed one key at a time, then taken back, each round: plain words, a
    // size filter and a kind filter.
    const std::string typed = "harbor size:>1G kind:cache";
    std::vector<double> ms;
    std::size_t lastVisible = 0;
    for (int round = 0; round < rounds; ++round) {
        auto key = [&](auto&& press) {
            const auto start = std::chrono::steady_clock::now();
            press();
            QCoreApplication::processEvents();
            const QPixmap picture = content->grab();
            const auto end = std::chrono::steady_clock::now();
            ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
            lastVisible = content->model().visibleRows().size();
            (void)picture;
        };
        for (char c : typed)
            key([&] { QTest::keyClick(field, c); });
        for (std::size_t i = 0; i < typed.size(); ++i)
            key([&] { QTest::keyClick(field, Qt::Key_Backspace); });
    }
    // The window's share alone: the query set and every area's values derived.
    std::vector<double> derive;
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t n = 1; n <= typed.size(); ++n) {
            const auto start = std::chrono::steady_clock::now();
            content->model().setQuery(typed.substr(0, n));
            const WindowView view = content->model().view();
            const auto end = std::chrono::steady_clock::now();
            derive.push_back(std::chrono::duration<double, std::milli>(end - start).count());
        }
    }
    std::printf("records %d, map %s, keystrokes %zu (last query shows %zu rows)\n", count,
                mapOpen ? "open" : "folded", ms.size(), lastVisible);
    std::printf("query to derived values: median %.2f ms, p90 %.2f ms, max %.2f ms\n",
                percentile(derive, 0.5), percentile(derive, 0.9),
                *std::max_element(derive.begin(), derive.end()));
    std::printf("key to repainted window: median %.2f ms, p90 %.2f ms, p99 %.2f ms, max %.2f ms\n",
                percentile(ms, 0.5), percentile(ms, 0.9), percentile(ms, 0.99),
                *std::max_element(ms.begin(), ms.end()));
    return 0;
}
