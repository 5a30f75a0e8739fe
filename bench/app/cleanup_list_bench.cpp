// The cleanup list with 10,000 rows in the real window, offscreen: what a
// change of its inputs costs, what one scroll step or page with its repaint
// costs, a selection far down the list, and the list entered by the keys while
// a screen reader listens. A frame at 60 a second is 16.7 ms.
// Run with --benchmark_repetitions=9 and read the medians.
#include <benchmark/benchmark.h>

#include <QAccessible>
#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QScrollBar>
#include <cstdlib>
#include <memory>
#include <random>

#ifdef VIRIRADO_TOOLS_CAN_LISTEN
#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>
#endif

#include "CleanupList.hpp"
#include "ContentView.hpp"
#include "Fonts.hpp"
#include "PaintedAccessible.hpp"
#include "QuietServices.hpp"
#include "RecordingEngine.hpp"
#include "RecordingFileActions.hpp"

namespace {

using namespace virirado;

constexpr int kRows = 10'000;

std::vector<ItemRecord> makeRecords() {
    static const char* kCategories[] = {"caches",  "derived", "sims",  "vms",        "devbuilds",
                                        "android", "system",  "trash", "devsupport", "cloud"};
    static const char* kExtensions[] = {"mov", "pdf", "zip", "wav", "psd", "bin", "swift", "pptx"};
    static const char* kSafety[] = {"safe", "review", "info"};
    std::mt19937_64 rng(2026);
    std::lognormal_distribution<double> size(18.0, 2.0);
    std::vector<ItemRecord> out;
    out.reserve(kRows);
    for (int i = 0; i < kRows; ++i) {
        ItemRecord r;
        r.id = "item-" + std::to_string(i);
        const bool file = i % 4 == 0;
        r.category = file ? "downloads" : kCategories[i % 10];
        r.kind = file ? "biggest-file" : "cache";
        r.ext = file ? kExtensions[(i / 4) % 8] : "";
        r.label = "Item " + std::to_string(i) + " of a long and winding project name";
        r.path = "~/Library/Caches/project-" + std::to_string(i) + "/build/output";
        r.size = static_cast<int64_t>(size(rng)) + 1;
        r.realisticSize = i % 3 == 0 ? r.size / 2 : 0;
        r.fileCount = i % 500;
        r.safety = kSafety[i % 3];
        r.ticked = i % 7 == 0 && r.safety != std::string("info");
        r.deletable = r.safety != std::string("info");
        r.action = r.deletable ? "rm" : "info";
        r.blocked = i % 97 == 0 ? "in use" : "";
        out.push_back(std::move(r));
    }
    return out;
}

// One window over 10,000 rows, every group open, shown offscreen.
struct Window {
    testing::RecordingEngine engine;
    MemoryStore settings;
    FixedClock clock{1'772'366'400.0, 794'059'200.35};
    testing::RecordingFileActions files;
    QMainWindow window;
    ContentView* content = nullptr;
    CleanupList* list = nullptr;
    std::set<std::string> allOpen;

    Window() {
        content =
            new ContentView(testing::quietServices(engine, settings, clock, files, "/home/bench"));
        window.setCentralWidget(content);
        window.resize(1280, 840);
        engine.onChanged = [this] { content->engineChanged(); };
        window.show();
        QCoreApplication::processEvents();
        engine.load(makeRecords(), 100'000'000'000, 500'000'000'000);
        for (const TreeGroup& g : content->model().view().groups)
            allOpen.insert(g.key);
        content->model().setExpanded(allOpen);
        content->refreshNow();
        list = content->findChild<CleanupList*>("cleanupList");
        QCoreApplication::processEvents();
    }
};

// Made on first use, closed by main while the application still exists.
std::unique_ptr<Window>& windowSlot() {
    static std::unique_ptr<Window> w;
    return w;
}

Window& window() {
    if (!windowSlot()) windowSlot() = std::make_unique<Window>();
    return *windowSlot();
}

// Folds and opens one group: new lines for 10,000 rows, laid out again.
void BM_ListPresentAfterChange(benchmark::State& state) {
    Window& w = window();
    WindowView open = w.content->model().view();
    WindowView folded = open;
    folded.expanded.erase(folded.expanded.begin());
    bool flip = false;
    for (auto _ : state) {
        w.list->present(flip ? open : folded);
        flip = !flip;
    }
    w.list->present(open);
    state.counters["lines"] = static_cast<double>(w.list->lines().size());
}
BENCHMARK(BM_ListPresentAfterChange)->Unit(benchmark::kMillisecond);

// A tick's refresh while a tool holds an element for every line: the same
// lines over new rows, each held line checked for new words.
void BM_ListPresentTickWithEveryLineHeld(benchmark::State& state) {
    Window& w = window();
    const WindowView before = w.content->model().view();
    const std::string id = lineId(w.list->lines()[1], before.groups);
    w.engine.tick({id});
    w.content->refreshNow();
    const WindowView after = w.content->model().view();
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(w.list);
    for (int i = 0; i < list->childCount(); ++i)
        (void)list->child(i)->child(0);
    bool flip = false;
    for (auto _ : state) {
        w.list->present(flip ? after : before);
        flip = !flip;
    }
    w.engine.untick({id});
    w.content->refreshNow();
    state.counters["held"] = 2.0 * list->childCount();
}
BENCHMARK(BM_ListPresentTickWithEveryLineHeld)->Unit(benchmark::kMillisecond);

// The whole window's refresh: derived values for 10,000 rows and every area.
void BM_WindowRefresh(benchmark::State& state) {
    Window& w = window();
    for (auto _ : state)
        w.content->refreshNow();
}
BENCHMARK(BM_WindowRefresh)->Unit(benchmark::kMillisecond);

// Scrolls by `step` and repaints the list at once, as one frame would.
void scrollAndPaint(benchmark::State& state, int step) {
    Window& w = window();
    QScrollBar* bar = w.list->verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    int direction = 1;
    for (auto _ : state) {
        if (bar->value() + step * direction > bar->maximum() || bar->value() + step * direction < 0)
            direction = -direction;
        bar->setValue(bar->value() + step * direction);
        w.list->viewport()->repaint();
    }
    state.counters["range"] = bar->maximum();
}

void BM_ListScrollLineAndRepaint(benchmark::State& state) {
    scrollAndPaint(state, 34);
}
BENCHMARK(BM_ListScrollLineAndRepaint)->Unit(benchmark::kMillisecond);

void BM_ListScrollPageAndRepaint(benchmark::State& state) {
    scrollAndPaint(state, window().list->viewport()->height());
}
BENCHMARK(BM_ListScrollPageAndRepaint)->Unit(benchmark::kMillisecond);

// The list's own painting of one screenful, into a picture: no window to
// compose and flush, so only what the list itself draws.
void BM_ListPaintOnly(benchmark::State& state) {
    Window& w = window();
    QScrollBar* bar = w.list->verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    QImage image(w.list->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    for (auto _ : state)
        w.list->viewport()->render(&image);
    state.counters["px_high"] = image.height();
}
BENCHMARK(BM_ListPaintOnly)->Unit(benchmark::kMillisecond);

// Selects a row far away: the list finds its line, scrolls it into view and repaints.
void BM_ListSelectFarRowAndRepaint(benchmark::State& state) {
    Window& w = window();
    WindowView a = w.content->model().view();
    WindowView b = a;
    a.selection = lineId(w.list->lines()[10], a.groups);
    b.selection = lineId(w.list->lines()[w.list->lines().size() - 10], b.groups);
    bool flip = false;
    for (auto _ : state) {
        w.list->present(flip ? a : b);
        w.list->viewport()->repaint();
        flip = !flip;
    }
}
BENCHMARK(BM_ListSelectFarRowAndRepaint)->Unit(benchmark::kMillisecond);

#ifdef VIRIRADO_TOOLS_CAN_LISTEN
// Reads every focus event as Orca 43 does when the keys enter the list (its
// debug log): the element's role, states, name and description, its children
// and its place in its parent, then the same of each ancestor up to the window.
struct ReaderAsks {
    static void read(QAccessibleInterface* element) {
        for (QAccessibleInterface* e = element; e != nullptr; e = e->parent()) {
            (void)e->role();
            (void)e->state();
            (void)e->text(QAccessible::Name);
            (void)e->text(QAccessible::Description);
            (void)e->childCount();
            (void)e->rect();
            if (QAccessibleInterface* up = e->parent()) (void)up->indexOfChild(e);
            if (e->role() == QAccessible::Window) break;
        }
    }
    static void handle(QAccessibleEvent* event) {
        if (event->type() != QAccessible::Focus) return;
        read(event->accessibleInterface());
        ++focusEvents();
    }
    static int& focusEvents() {
        static int count = 0;
        return count;
    }
    ReaderAsks() {
        previous = QAccessible::installUpdateHandler(&ReaderAsks::handle);
        platform()->setActive(true);
    }
    ~ReaderAsks() {
        platform()->setActive(false);
        QAccessible::installUpdateHandler(previous);
    }
    static QPlatformAccessibility* platform() {
        return QGuiApplicationPrivate::platformIntegration()->accessibility();
    }
    QAccessible::UpdateHandler previous = nullptr;
};

// The keys enter a list of 10,018 lines, its selected line far down, while a
// screen reader listens: the focus goes to the list, one turn later to its
// line, and the reader reads both as they are told.
void BM_ListEnteredWithAReaderListening(benchmark::State& state) {
    Window& w = window();
    if (ReaderAsks::platform() == nullptr) {
        state.SkipWithError("no accessibility on this platform");
        return;
    }
    const ReaderAsks reader;
    const WindowView view = w.content->model().view();
    w.content->model().setSelection(
        lineId(w.list->lines()[w.list->lines().size() - 10], view.groups));
    w.content->refreshNow();
    QCoreApplication::processEvents();
    ReaderAsks::focusEvents() = 0;
    for (auto _ : state) {
        w.list->clearFocus();
        w.list->setFocus(Qt::TabFocusReason);
        QCoreApplication::processEvents();
    }
    state.counters["lines"] = static_cast<double>(w.list->lines().size());
    // The list's and its line's each time, and the one Qt sends for the list
    // the keys leave.
    state.counters["focus_read"] =
        benchmark::Counter(ReaderAsks::focusEvents(), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ListEnteredWithAReaderListening)->Unit(benchmark::kMillisecond);
#endif

// A tool that counts a list's items asks each line its role, as Orca 43 does
// for a list's item count: the role comes without the line's words.
void BM_ListEveryLinesRole(benchmark::State& state) {
    Window& w = window();
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(w.list);
    for (auto _ : state) {
        int items = 0;
        for (int i = 0; i < list->childCount(); ++i)
            items += list->child(i)->role() == QAccessible::ListItem ? 1 : 0;
        benchmark::DoNotOptimize(items);
    }
    state.counters["lines"] = list->childCount();
}
BENCHMARK(BM_ListEveryLinesRole)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("QT_FONT_DPI", "96", 1);
    QApplication app(argc, argv);
    virirado::VadeFont::registerFonts();
    virirado::installPaintedAccessibility();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    windowSlot().reset();
    return 0;
}
