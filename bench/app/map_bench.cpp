// The largest-files map with 10,000 rows in the window's slot (1232 by 140, the
// default window less its margins), offscreen: laying the tiles out and painting
// all of them, and one hover step from tile to tile with what it repaints. The
// target is one frame (16.7 ms) for the first, and a repaint of only the two
// tiles and the card for the second.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPixmap>
#include <cstdlib>
#include <memory>
#include <random>

#include "Fonts.hpp"
#include "LargestFilesMap.hpp"

namespace {

using namespace virirado;

class NoActions : public WindowActions {
public:
    void select(const std::string&) override {}
    void toggle(const VadeRow&) override {}
    void tickGroup(const TreeGroup&) override {}
    void quickDelete(const VadeRow&) override {}
    void setScope(durozizo::VadeScope) override {}
    void setQuery(const std::string&) override {}
    void setSearchFocused(bool) override {}
    void setExpanded(const std::set<std::string>&) override {}
    void setMapExpanded(bool) override {}
    void scan() override {}
    void cancelScan() override {}
    void requestPreview() override {}
    void dismissBanner() override {}
    void setIncludePrivate(bool) override {}
    void dismissPreview() override {}
    void confirmClean(const PreviewPayload&) override {}
    void keepCheckFirst() override {}
    void cleanCheckFirst() override {}
    void cancelQuickDelete() override {}
    void continueQuickDelete() override {}
};

class NoFiles : public FileActions {
public:
    void copyFile(const std::string&, const std::string&) override {}
    void copyText(const std::string&) override {}
    void reveal(const std::string&) override {}
    void quickLook(const std::string&) override {}
};

// 10,000 rows over several orders of magnitude, in a mix of groups and states.
std::shared_ptr<RowStore> makeRows(std::size_t n, unsigned seed) {
    static const char* categories[] = {"caches", "derived", "sims", "vms", "downloads", "trash"};
    static const char* safeties[] = {"safe", "review", "review", "info"};
    std::mt19937_64 rng(seed);
    std::lognormal_distribution<double> size(18.0, 2.2);
    auto store = std::make_shared<RowStore>();
    store->rows.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        VadeRow r;
        r.id = "row-" + std::to_string(i);
        r.category = categories[i % 6];
        r.name = std::string(categories[i % 6]) + " item " + std::to_string(i) + " (cache)";
        r.size = static_cast<int64_t>(size(rng)) + 1;
        r.realistic = i % 3 == 0 ? r.size / 2 : 0;
        r.fileCount = static_cast<int64_t>(i % 500);
        r.safety = safeties[i % 4];
        r.tickable = r.safety != "info";
        r.ticked = i % 7 == 0;
        r.action = "rm";
        r.kind = "cache";
        store->rows.push_back(std::move(r));
    }
    return store;
}

struct Fixture {
    NoActions actions;
    NoFiles files;
    FixedClock clock{1'772'366'400.0, 794'059'200.35};
    std::unique_ptr<LargestFilesMap> map;
    std::shared_ptr<RowStore> stores[2];

    Fixture() {
        map = std::make_unique<LargestFilesMap>(AreaContext{actions, files, clock});
        map->setReduceMotion(true);
        map->resize(1232, 140);
        // Shown, as in the open card: a hidden map puts its layout off.
        map->show();
        QCoreApplication::processEvents();
        stores[0] = makeRows(10'000, 7);
        stores[1] = makeRows(10'000, 8);
    }
    void use(int which) { map->setRows(stores[which], refsOf(stores[which]->rows)); }
};

// New rows: a fresh layout of every tile, then a paint of the whole map.
void BM_MapLayoutAndPaint10k(benchmark::State& state, Fixture& f) {
    QPixmap target(1232, 140);
    int which = 0;
    for (auto _ : state) {
        f.use(which);
        which ^= 1;
        f.map->render(&target);
    }
    state.counters["tiles"] = static_cast<double>(f.map->tiles().size());
}

// The first map ever shown: a fresh widget, nothing drawn before.
void BM_MapFirstLayoutAndPaint10k(benchmark::State& state, Fixture& f) {
    QPixmap target(1232, 140);
    for (auto _ : state) {
        state.PauseTiming();
        LargestFilesMap map(AreaContext{f.actions, f.files, f.clock});
        map.setReduceMotion(true);
        map.resize(1232, 140);
        map.show();
        QCoreApplication::processEvents();
        state.ResumeTiming();
        map.setRows(f.stores[0], refsOf(f.stores[0]->rows));
        map.render(&target);
    }
}

// A paint of every tile with the layout kept (a new selection).
void BM_MapPaintOnly10k(benchmark::State& state, Fixture& f) {
    f.use(0);
    QPixmap target(1232, 140);
    const std::string ids[2] = {"row-1", "row-2"};
    int which = 0;
    for (auto _ : state) {
        f.map->setSelection(ids[which]);
        which ^= 1;
        f.map->render(&target);
    }
    int small = 0;
    for (const auto& t : f.map->tiles()) {
        if (std::min(t.rect.w, t.rect.h) < 6) ++small;
    }
    state.counters["tiles"] = static_cast<double>(f.map->tiles().size());
    state.counters["tiles_under_6pt"] = small;
}

// The layout alone (tiles, colour sets, names of the labelled tiles).
void BM_MapLayoutOnly10k(benchmark::State& state, Fixture& f) {
    int which = 0;
    for (auto _ : state) {
        f.use(which);
        which ^= 1;
    }
    state.counters["tiles"] = static_cast<double>(f.map->tiles().size());
}

// Catches what each paint event covers.
class PaintArea : public QObject {
public:
    double pixels = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            for (const QRect& r : static_cast<QPaintEvent*>(event)->region())
                pixels += static_cast<double>(r.width()) * r.height();
        }
        return false;
    }
};

// The pointer moves from one big tile to another: the repaint the window does.
void BM_MapHoverStep10k(benchmark::State& state, Fixture& f) {
    f.use(0);
    QCoreApplication::processEvents();
    const auto& tiles = f.map->tiles();
    const auto centre = [&](std::size_t i) {
        const auto& r = tiles[i].rect;
        return QPointF(static_cast<double>(r.x + r.w / 2), static_cast<double>(r.y + r.h / 2));
    };
    const QPointF points[2] = {centre(0), centre(1)};
    PaintArea area;
    f.map->installEventFilter(&area);
    int which = 0;
    std::int64_t steps = 0;
    for (auto _ : state) {
        QMouseEvent move(QEvent::MouseMove, points[which], f.map->mapToGlobal(points[which]),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(f.map.get(), &move);
        QCoreApplication::processEvents();
        which ^= 1;
        ++steps;
    }
    f.map->removeEventFilter(&area);
    state.counters["painted_px_per_step"] =
        area.pixels / static_cast<double>(std::max<std::int64_t>(steps, 1));
    state.counters["map_px"] = 1232.0 * 140;
}

// Each benchmark over the one fixture `main` owns.
void registerAll(Fixture& f) {
    const auto add = [&f](const char* name, void (*run)(benchmark::State&, Fixture&),
                          benchmark::TimeUnit unit) {
        benchmark::RegisterBenchmark(name, [run, &f](benchmark::State& state) { run(state, f); })
            ->Unit(unit)
            ->Repetitions(9)
            ->ReportAggregatesOnly(true);
    };
    add("BM_MapLayoutAndPaint10k", BM_MapLayoutAndPaint10k, benchmark::kMillisecond);
    add("BM_MapFirstLayoutAndPaint10k", BM_MapFirstLayoutAndPaint10k, benchmark::kMillisecond);
    add("BM_MapPaintOnly10k", BM_MapPaintOnly10k, benchmark::kMillisecond);
    add("BM_MapLayoutOnly10k", BM_MapLayoutOnly10k, benchmark::kMillisecond);
    add("BM_MapHoverStep10k", BM_MapHoverStep10k, benchmark::kMicrosecond);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("QT_FONT_DPI", "96", 1);
    QApplication app(argc, argv);
    virirado::VadeFont::registerFonts();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    // The map is a widget, so the fixture lives here and goes before `app`: a
    // static one would be destroyed at exit, after the application, and crash.
    Fixture fixture;
    registerAll(fixture);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
