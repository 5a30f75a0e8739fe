#include "SnapshotRunner.hpp"

#include <QAbstractAnimation>
#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QTimer>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "ContentView.hpp"
#include "Glow.hpp"
#include "SheetHost.hpp"
#include "SnapshotCapture.hpp"
#include "SnapshotDemo.hpp"
#include "Timeline.hpp"

namespace virirado {

namespace {

using Kind = SnapshotAction::Kind;

durozizo::CleanProgress::Clock::time_point wallTime(double seconds) {
    using namespace std::chrono;
    return durozizo::CleanProgress::Clock::time_point(
        duration_cast<durozizo::CleanProgress::Clock::duration>(duration<double>(seconds)));
}

void reportFailure(const std::string& path) {
    const std::string line = "snapshot failed " + path + "\n";
    std::fputs(line.c_str(), stderr);
}

}  // namespace

SnapshotRunner::SnapshotRunner(ContentView& content, std::string prefix, bool quick, bool demo)
    : QObject(&content), m_content(content) {
    const PreviewPayload preview = SnapshotDemo::preview();
    m_states = SnapshotDemo::cleanStates(preview, wallTime(content.services().clock->now()));
    std::vector<std::string> names;
    for (const auto& [name, progress] : m_states)
        names.push_back(name);
    m_steps = snapshotSteps(quick, demo);
    m_plan = snapshotPlan(prefix, quick, demo, names);
    m_folder = std::filesystem::path(prefix).parent_path().string();
}

void SnapshotRunner::start() {
    // The pictures' folder may not exist yet. One that cannot be made is not an
    // error here: every picture then fails to save and says so.
    if (!m_folder.empty()) {
        std::error_code ignored;
        std::filesystem::create_directories(m_folder, ignored);
    }
    m_next = 0;
    next();
}

void SnapshotRunner::next() {
    if (m_next >= m_plan.size()) return;
    const SnapshotAction& action = m_plan[m_next];
    const int ms = static_cast<int>(std::lround(action.wait * 1000));
    QTimer::singleShot(ms, this, [this] {
        const SnapshotAction current = m_plan[m_next++];
        perform(current);
        next();
    });
}

void SnapshotRunner::perform(const SnapshotAction& a) {
    WindowModel& model = m_content.model();
    EngineFacade& engine = m_content.engine();
    switch (a.kind) {
        case Kind::resize:
            resizeWindow();
            break;
        case Kind::appearance:
            m_content.setDark(a.dark);
            break;
        case Kind::setupStep: {
            const Snapshot::Step& step = m_steps.at(a.index);
            model.setScope(step.scope);
            model.setQuery(step.query);
            model.setMapExpanded(false);
            model.setSelection(std::nullopt);
            break;
        }
        case Kind::selectFirst:
            selectFirst();
            resizeWindow();
            break;
        case Kind::capture:
            capture(a.path);
            break;
        case Kind::openMap:
            model.setScope(durozizo::VadeScope::everything);
            model.setQuery("");
            model.setMapExpanded(true);
            selectFirst();
            break;
        case Kind::fakeScan:
            model.setMapExpanded(false);
            engine.editForSnapshot([](EngineState& s) {
                s.scanning = true;
                s.pct = 62;
                s.eta = 4;
                s.place = "~/Library/Developer/CoreSimulator/Volumes/iOS_23E244";
                s.scanPlaces = {"~/Library/Caches/Homebrew",
                                "~/Library/Developer/Xcode/DerivedData",
                                "~/Library/Developer/CoreSimulator/Volumes/iOS_23E244"};
            });
            break;
        case Kind::hideRoot:
            m_keptRoot = engine.state().root;
            engine.editForSnapshot([](EngineState& s) { s.root.reset(); });
            break;
        case Kind::restoreRoot:
            engine.editForSnapshot([this](EngineState& s) {
                s.root = m_keptRoot;
                s.scanning = false;
            });
            break;
        case Kind::showPreview:
            engine.editForSnapshot([](EngineState& s) { s.preview = SnapshotDemo::preview(); });
            break;
        case Kind::captureSheet:
            captureSheet(a.path);
            break;
        case Kind::captureWindow:
            captureWindow(a.path);
            break;
        case Kind::cleanState:
            engine.editForSnapshot(
                [this, i = a.index](EngineState& s) { s.cleanProgress = m_states.at(i).second; });
            break;
        case Kind::finish:
            engine.editForSnapshot([](EngineState& s) {
                s.cleanProgress.reset();
                s.preview.reset();
            });
            break;
        case Kind::quit:
            settle();
            QCoreApplication::exit(m_failures == 0 ? 0 : 1);
            break;
    }
}

void SnapshotRunner::selectFirst() {
    const RowRefs visible = m_content.model().visibleRows();
    m_content.model().setSelection(visible.empty() ? std::nullopt
                                                   : std::optional(visible.front()->id));
}

void SnapshotRunner::resizeWindow() {
    QWidget* window = m_content.window();
    // The content fills the window, so sizing the window sizes the content.
    const QSize frame = window->size() - m_content.size();
    window->resize(QSize(1240, 800) + frame);
    settle();
}

void SnapshotRunner::settle() {
    // A picture shows every motion at rest, however busy the machine was while
    // the run waited for it: a fold or a fade the event loop had no time for
    // would otherwise be caught half done, or not begun. The changes drawn from
    // the frame clock would never end by themselves: the pictures' clock stands.
    for (QAbstractAnimation* motion : m_content.findChildren<QAbstractAnimation*>()) {
        if (motion->state() == QAbstractAnimation::Running && motion->totalDuration() > 0) {
            motion->setCurrentTime(motion->totalDuration());
        }
    }
    for (Timeline* change : m_content.findChildren<Timeline*>())
        change->finish();
    m_content.refreshNow();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
}

void SnapshotRunner::capture(const std::string& path) {
    settle();
    if (!Snapshot::captureWidget(&m_content, path)) {
        ++m_failures;
        reportFailure(path);
    }
}

void SnapshotRunner::captureSheet(const std::string& path) {
    settle();
    if (!Snapshot::captureWidget(m_content.sheets().current(), path)) {
        ++m_failures;
        reportFailure(path);
    }
}

QImage SnapshotRunner::withSheet(const QImage& window, const QImage& sheet) {
    QImage out = window.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (sheet.isNull()) return out;
    QPainter p(&out);
    p.setRenderHint(QPainter::Antialiasing);
    const double ratio = window.devicePixelRatio() > 0 ? window.devicePixelRatio() : 1.0;
    const QSizeF size = QSizeF(sheet.size()) / sheet.devicePixelRatio();
    const QRectF place(QPointF((out.width() / ratio - size.width()) / 2, 0), size);
    QPainterPath shape;
    shape.addRoundedRect(place, 10, 10);
    paintGlow(p, shape, QColor(0, 0, 0, 90), 18, QPointF(0, 6));
    p.drawImage(place.topLeft(), sheet);
    return out;
}

void SnapshotRunner::captureWindow(const std::string& path) {
    settle();
    SheetDialog* sheet = m_content.sheets().current();
    const QImage composed = withSheet(m_content.grab().toImage(),
                                      sheet != nullptr ? sheet->grab().toImage() : QImage());
    if (composed.isNull() || !composed.save(QString::fromStdString(path), "PNG")) {
        ++m_failures;
        reportFailure(path);
        return;
    }
    const std::string line = "snapshot " + path + "\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

}  // namespace virirado
