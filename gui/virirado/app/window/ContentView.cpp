#include "ContentView.hpp"

#include <QApplication>
#include <QHBoxLayout>
#include <QPointer>
#include <QScrollArea>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cmath>

#include "Appearance.hpp"
#include "BannerBar.hpp"
#include "BlockedCloseFilter.hpp"
#include "DazuBar.hpp"
#include "DetailsPane.hpp"
#include "EngineClientObject.hpp"
#include "FocusRing.hpp"
#include "HeaderBar.hpp"
#include "HeroFigures.hpp"
#include "ListPane.hpp"
#include "Palette.hpp"
#include "QtSettingsStore.hpp"
#include "ScopeBar.hpp"
#include "SheetHost.hpp"
#include "Snapshot.hpp"
#include "SnapshotRunner.hpp"
#include "SummaryBar.hpp"

namespace virirado {

namespace {

// Snapshot pictures are taken at this moment, so dates, ages and every animation
// frame come out the same in every run: 1 March 2026, 12:00 UTC.
constexpr double kSnapshotNow = 1'772'366'400.0;
constexpr double kSnapshotFrame = kSnapshotNow - kFrameEpochOffset + 0.35;

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

ContentView::ContentView() {
    const std::optional<std::string> prefix = Snapshot::prefix();
    if (prefix) {
        m_ownClock = std::make_unique<FixedClock>(kSnapshotNow, kSnapshotFrame);
    } else {
        m_ownClock = std::make_unique<SystemClock>();
    }
    ClientServices client = EngineClientObject::appServices();
    const WindowClock* clock = m_ownClock.get();
    if (prefix) client.now = [clock] { return clock->now(); };
    WindowServices s;
    s.home = client.home;
    s.autoscan = LaunchOptions::autoscan(client.launch);
    m_ownEngine = std::make_unique<EngineClientObject>(std::move(client));
    m_ownSettings = std::make_unique<QtSettingsStore>();
    m_ownFiles = std::make_unique<DesktopFileActions>();
    s.engine = &m_ownEngine->client();
    s.settings = m_ownSettings.get();
    s.clock = clock;
    s.files = m_ownFiles.get();
    s.snapshotPrefix = prefix;
    s.quickSnapshots = qgetenv("VIRIRADO_SNAPSHOT_QUICK") == "1";
    s.dark = Appearance::initialDark();
    s.followDesktop = !prefix && !Appearance::pinned();
    s.reduceMotion = Appearance::reduceMotion(*m_ownSettings);
    m_services = std::move(s);
    connect(m_ownEngine.get(), &EngineClientObject::changed, this, &ContentView::engineChanged);
    build();
}

ContentView::ContentView(WindowServices services) : m_services(std::move(services)) {
    build();
}

ContentView::~ContentView() {
    // Children going away move the keys before QObject's end would cut this off.
    disconnect(m_keysMoved);
}

void ContentView::build() {
    setObjectName(QStringLiteral("ContentView"));
    setAutoFillBackground(true);
    m_model =
        std::make_unique<WindowModel>(*m_services.engine, *m_services.settings, *m_services.clock,
                                      m_services.snapshotPrefix.has_value(), m_services.home);
    m_model->setDark(m_services.dark);
    m_model->setReduceMotion(m_services.reduceMotion);
    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setSingleShot(true);
    connect(m_refreshTimer, &QTimer::timeout, this, [this] {
        if (m_refreshPending) refreshNow();
    });
    m_model->setOnChanged([this] { scheduleRefresh(); });
    m_model->setOnEngineMilestone([this] { runSnapshotsIfAsked(); });
    const AreaContext context{*m_model, *m_services.files, *m_services.clock};

    auto* column = new QVBoxLayout(this);
    column->setSpacing(12);
    column->setContentsMargins(24, 8, 24, 18);

    add(column, new HeaderBar(context));

    add(column, new HeroFigures(context));
    add(column, new ScopeBar(context));
    add(column, new BannerBar(context));
    add(column, new DazuBar(context));

    auto* middle = new QHBoxLayout;
    middle->setSpacing(14);
    add(middle, new ListPane(context), 1);
    add(middle, new DetailsPane(context));
    column->addLayout(middle, 1);

    add(column, new SummaryBar(context));

    m_sheets = new SheetHost(this, context, m_services.sheets);

    // Ctrl+F from anywhere in the window puts the keyboard into the search field.
    auto* find = new QShortcut(QKeySequence::Find, this);
    find->setContext(Qt::WindowShortcut);
    connect(find, &QShortcut::activated, this, [this] { m_model->setSearchFocused(true); });
    auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    quit->setContext(Qt::WindowShortcut);
    connect(quit, &QShortcut::activated, this, &ContentView::requestQuit);
    connect(m_sheets, &SheetHost::quitAsked, this, &ContentView::requestQuit);
    m_keysMoved = connect(qApp, &QApplication::focusChanged, this,
                          [this](QWidget*, QWidget* now) { scrollToKeys(now); });

    if (m_services.followDesktop) {
        new Appearance::DesktopScheme([this](bool dark) { setDark(dark); }, this);
    }

    refreshNow();
}

template <typename W>
W* ContentView::add(QBoxLayout* layout, W* area, int stretch) {
    layout->addWidget(area, stretch);
    m_areas.push_back(area);
    return area;
}

void ContentView::engineChanged() {
    m_model->engineChanged();
    // While a scan streams its items, the list is refreshed at a pace that keeps
    // up with its length; anything else shows at once.
    const bool streaming = m_services.engine->state().scanning && !m_services.snapshotPrefix;
    scheduleRefresh(streaming ? m_pacing.delay(steadySeconds()) : 0);
}

void ContentView::scheduleRefresh(double delay) {
    const int ms = static_cast<int>(std::ceil(std::max(0.0, delay) * 1000));
    if (m_refreshPending && m_refreshTimer->isActive() && m_refreshTimer->remainingTime() <= ms)
        return;
    m_refreshPending = true;
    m_refreshTimer->start(ms);
}

void ContentView::refreshNow() {
    m_refreshPending = false;
    if (m_refreshTimer != nullptr) m_refreshTimer->stop();
    const double start = steadySeconds();
    const WindowView view = m_model->view();
    const QPointer<QWidget> holder = window()->focusWidget();
    const bool byKeys = holder != nullptr && showsFocusRing(holder);
    QPalette p = palette();
    const QColor background = Palette::of(view.dark).window;
    if (p.color(QPalette::Window) != background) {
        p.setColor(QPalette::Window, background);
        setPalette(p);
    }
    for (Area* area : m_areas)
        area->present(view);
    orderTabStops();
    passKeysOn(holder, byKeys);
    m_sheets->present(view);
    m_pacing.refreshed(start, steadySeconds());
    closeIfWaiting();
}

void ContentView::orderTabStops() {
    // Reading order: the areas from top to bottom, and in each its controls as
    // they stand in its widget tree, which follows its layout (faces that take
    // turns, as the list and the empty state, may stand in any order). A card
    // built anew would join the window's chain at its end, so the order is set
    // again after every refresh; a chain already in order costs a look per
    // pair. Hidden and disabled controls keep their place and are passed over.
    QWidget* previous = nullptr;
    for (Area* area : m_areas) {
        for (QWidget* w : dynamic_cast<QWidget*>(area)->findChildren<QWidget*>()) {
            if ((w->focusPolicy() & Qt::TabFocus) == 0) continue;
            if (previous != nullptr) QWidget::setTabOrder(previous, w);
            previous = w;
        }
    }
}

void ContentView::passKeysOn(QWidget* holder, bool byKeys) {
    // A scan's start and end swap the window's faces: the control that had the
    // keys goes, and Qt would hand them to whatever comes next in the chain (the
    // search field, or nothing). They go to the control that took its place.
    static const std::pair<const char*, const char*> heirs[] = {{"startScan", "cancelButton"},
                                                                {"scanButton", "cancelButton"},
                                                                {"cleanButton", "cancelButton"},
                                                                {"cancelButton", "scanButton"}};
    if (holder == nullptr || holder->isVisible()) return;
    for (const auto& [gone, heir] : heirs) {
        if (holder->objectName() != QLatin1String(gone)) continue;
        QWidget* next = findChild<QWidget*>(QLatin1String(heir));
        if (next != nullptr && next->isVisible() && next->isEnabled())
            next->setFocus(byKeys ? Qt::TabFocusReason : Qt::OtherFocusReason);
        return;
    }
}

void ContentView::scrollToKeys(QWidget* now) {
    // Only for keys: a click lands where the person already looks.
    if (now == nullptr || !isAncestorOf(now) || !showsFocusRing(now)) return;
    for (QWidget* w = now->parentWidget(); w != nullptr && w != this; w = w->parentWidget()) {
        if (auto* area = qobject_cast<QScrollArea*>(w)) area->ensureWidgetVisible(now, 24, 24);
    }
}

void ContentView::setDark(bool dark) {
    Appearance::applyToApplication(dark);
    m_model->setDark(dark);
    refreshNow();
}

void ContentView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_started) return;
    m_started = true;
    if (window() != this) {
        window()->installEventFilter(this);
        // The close button of the window still asks while a sheet blocks it.
        m_blockedClose = std::make_unique<BlockedCloseFilter>(window());
    }
    // After the show has been handled, so the window is on screen first.
    QTimer::singleShot(0, this, &ContentView::appear);
}

void ContentView::appear() {
    Appearance::applyToApplication(m_model->dark());
    m_services.engine->start();
    if (!m_services.snapshotPrefix) return;
    // Snapshot mode never outlives three minutes, whatever the run is doing.
    QTimer::singleShot(180'000, qApp, [] { QCoreApplication::exit(0); });
    runSnapshotsIfAsked();
}

void ContentView::requestQuit() {
    window()->close();
}

void ContentView::endNow() {
    m_model->endNow();
    window()->close();
}

bool ContentView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window() && event->type() == QEvent::Close && !m_model->askToClose()) {
        event->ignore();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void ContentView::closeIfWaiting() {
    if (!m_model->closeNoLongerWaits()) return;
    // Not from inside the refresh that the clean's result started.
    QTimer::singleShot(0, window(), &QWidget::close);
}

void ContentView::runSnapshotsIfAsked() {
    if (!m_services.snapshotPrefix || m_snapshotDone) return;
    const EngineState& state = m_services.engine->state();
    if (state.scanning || !state.root) return;
    m_snapshotDone = true;
    m_runner = new SnapshotRunner(*this, *m_services.snapshotPrefix, m_services.quickSnapshots,
                                  !m_services.autoscan);
    m_runner->start();
}

}  // namespace virirado
