#include "EngineClient.hpp"

#include <csignal>

#include "Protocol.hpp"
#include "Snapshot.hpp"
#include "SnapshotDemo.hpp"

namespace virirado {

namespace {

// Holds the published state's large parts (the tree, the preview, the run's
// failures) aside while the rest is copied or compared.
class SetAside {
public:
    explicit SetAside(EngineState& state)
        : m_state(state), m_root(std::move(state.root)), m_preview(std::move(state.preview)) {
        state.root.reset();
        state.preview.reset();
        if (state.cleanProgress) m_failures = std::move(state.cleanProgress->failures);
        if (state.cleanProgress) state.cleanProgress->failures.clear();
    }
    ~SetAside() {
        m_state.root = std::move(m_root);
        m_state.preview = std::move(m_preview);
        if (m_state.cleanProgress) m_state.cleanProgress->failures = std::move(m_failures);
    }
    SetAside(const SetAside&) = delete;
    SetAside& operator=(const SetAside&) = delete;

private:
    EngineState& m_state;
    std::optional<TreeNode> m_root;
    std::optional<PreviewPayload> m_preview;
    std::vector<durozizo::CleanProgress::Failure> m_failures;
};

}  // namespace

EngineClient::Batch::Batch(EngineClient& client) : m_client(client) {
    if (m_client.m_batchDepth++ == 0) m_before = m_client.snapshot();
}

EngineClient::Batch::~Batch() {
    if (--m_client.m_batchDepth != 0) return;
    m_client.publish();
    if (m_before && !m_client.sameAs(*m_before) && m_client.m_onChanged) m_client.m_onChanged();
}

EngineClient::EngineClient(ClientServices services)
    : m_services(std::move(services)),
      m_channel(m_services.maxLineBytes, m_services.log),
      m_deletionLog(m_services.writeDeleteLog, m_services.writeRefusedLog) {
    if (m_services.loadIncludePrivate) {
        m_state.includePrivate = m_services.loadIncludePrivate().value_or(true);
    }
}

EngineClient::~EngineClient() {
    // The app is ending before the engine reported on every row it was sent,
    // or before the disk took every line of the deletion log. The app's own
    // end asks finishDeletionLog first and says what is left; this is the last
    // try for a client ended otherwise.
    m_run.noMoreReports();
    m_deletionLog.retry();
}

bool EngineClient::snapshotMode() const {
    return Snapshot::prefix(m_services.launch.environment).has_value();
}

void EngineClient::setBanner(std::optional<std::string> text) {
    Batch batch(*this);
    m_state.banner = std::move(text);
}

void EngineClient::editForSnapshot(const std::function<void(EngineState&)>& edit) {
    Batch batch(*this);
    if (!edit) return;
    flushTree();
    edit(m_state);
    ++m_state.rootRevision;
    ++m_previewRevision;
    // The edited tree is no longer the records' own: a new record makes it again.
    m_treeGrows = false;
}

void EngineClient::setIncludePrivate(bool value) {
    Batch batch(*this);
    m_state.includePrivate = value;
    if (m_services.storeIncludePrivate) m_services.storeIncludePrivate(value);
}

Json EngineClient::command(const char* name) {
    ++m_next;
    return Json{{"v", 1}, {"id", "gui-" + std::to_string(m_next)}, {"cmd", name}};
}

std::optional<std::string> EngineClient::send(const Json& command) {
    if (!m_process || !m_process->usable()) {
        m_state.scanning = false;
        const std::string text = "The engine is not running. " + m_state.commandSummary;
        if (!m_state.banner) m_state.banner = text;
        return text;
    }
    std::string text;
    try {
        text = command.dump(-1, ' ', false, Json::error_handler_t::replace);
    } catch (...) {
        return std::string();
    }
    m_channel.logTraffic(">>", text);
    if (auto failure = m_process->write(text + "\n")) {
        m_state.banner = "Couldn't talk to the engine. " + *failure;
        return m_state.banner;
    }
    return std::nullopt;
}

void EngineClient::start() {
    Batch batch(*this);
    if (m_process) return;
    const LaunchContext& launch = m_services.launch;
    if (snapshotMode() && !LaunchOptions::autoscan(launch)) {
        loadSnapshotDemo();
        return;
    }
    const EngineLocator::Command located = EngineLocator::locate(launch);
    m_state.commandSummary = EngineLocator::summary(located);

    // Whatever the last child left half-written, or was asked, belongs to it alone.
    m_channel.reset();
    m_retired.reset();
    m_previews.drop();
    m_heard = false;
    m_scans.reset();

    const uint64_t id = ++m_launchId;
    std::weak_ptr<int> alive = m_alive;
    auto live = [this, alive, id] { return !alive.expired() && id == m_launchId; };
    EngineProcess::Handlers handlers;
    handlers.output = [this, live](std::string_view bytes) {
        if (live()) consume(bytes);
    };
    handlers.error = [this, live](const std::string& bytes) {
        if (live()) consumeError(bytes);
    };
    handlers.ended = [this, live](int status) {
        if (live() && m_process) processEnded(status);
    };
    handlers.writeFailed = [this, live](const std::string& description) {
        if (live()) writeFailed(description);
    };

    auto process = m_services.makeProcess ? m_services.makeProcess() : nullptr;
    if (!process) {
        m_state.banner = "Couldn't start the virirado engine. No way to run programs.";
        return;
    }
    const Environment env = childEnvironment(launch.environment, located);
    if (auto failure = process->launch(located.executable, located.arguments, env, handlers)) {
        m_state.banner = "Couldn't start the virirado engine. " + *failure;
        return;
    }
    m_process = std::move(process);
    send(command("hello"));
    if (LaunchOptions::autoscan(launch)) scan();
}

void EngineClient::processEnded(int status) {
    Batch batch(*this);
    // Read before the ending below clears what the window waited for.
    const bool waited = waitingOnEngine();
    // Kept alive until the next launch: this may run inside one of its own callbacks.
    m_retired = std::move(m_process);
    m_state.scanning = false;
    m_scans.reset();
    // No answer will come from an engine that ended, and no later engine can
    // answer the clean this one was sent: what it may have removed is logged.
    m_previews.drop();
    m_run.noMoreReports();
    if (m_state.cleanProgress && m_state.cleanProgress->isRunning()) {
        m_state.cleanProgress->fail("The engine stopped.");
    }
    // An engine that ends quietly while the window waits on it has not
    // finished anything: a scan without its result must not read as an empty one.
    if (status == 0 && !waited) return;
    const std::string_view tail = protocol::trimmed(m_channel.stderrTail());
    if (!tail.empty()) {
        m_state.banner = m_deletionLog.withProblem(std::string(tail));
    } else if (status == 0) {
        m_state.banner = m_deletionLog.withProblem("The engine stopped.");
    } else {
        m_state.banner = m_deletionLog.withProblem("The engine stopped (status " +
                                                   std::to_string(status) + ").");
    }
}

bool EngineClient::waitingOnEngine() const {
    const auto& run = m_state.cleanProgress;
    return !m_heard || m_scans.open() || m_previews.unanswered() > 0 || m_run.awaiting() ||
           m_state.verifying || (run && run->isRunning());
}

void EngineClient::writeFailed(const std::string& description) {
    Batch batch(*this);
    m_state.banner = "Couldn't talk to the engine. " + description;
}

void EngineClient::consume(std::string_view bytes) {
    Batch batch(*this);
    m_channel.consume(bytes, [this](std::string_view line) { handleLine(line); });
}

void EngineClient::consumeError(const std::string& bytes) {
    Batch batch(*this);
    m_channel.consumeError(bytes);
}

void EngineClient::rebuild() {
    m_treeDirty = true;
    m_recordIndexValid = false;
}

void EngineClient::publish() {
    flushTree();
    m_state.deletionLogProblem = m_deletionLog.problem();
}

void EngineClient::flushTree() {
    const bool appended = m_records.size() > m_treeRecords;
    if (!m_treeDirty && !appended) return;
    ++m_state.rootRevision;
    if (m_records.empty() && m_state.totalBytes <= 0) {
        m_state.root.reset();
    } else if (!m_treeDirty && m_treeGrows && m_state.root) {
        appendToTree(*m_state.root, m_records, m_treeRecords, m_ticked, m_state.freeBytes,
                     m_state.totalBytes);
    } else {
        m_state.root = makeTree(m_records, m_ticked, m_state.freeBytes, m_state.totalBytes,
                                m_state.volumeName);
    }
    m_treeDirty = false;
    m_treeRecords = m_records.size();
    m_treeGrows = true;
}

EngineClient::Before EngineClient::snapshot() {
    Before before;
    before.previewRevision = m_previewRevision;
    before.failures = m_state.cleanProgress ? m_state.cleanProgress->failures.size() : 0;
    const SetAside aside(m_state);
    before.state = m_state;
    return before;
}

bool EngineClient::sameAs(const Before& before) {
    const std::size_t failures = m_state.cleanProgress ? m_state.cleanProgress->failures.size() : 0;
    if (before.previewRevision != m_previewRevision || before.failures != failures) return false;
    const SetAside aside(m_state);
    return m_state == before.state;
}

void EngineClient::setPreview(std::optional<PreviewPayload> preview) {
    if (preview == m_state.preview) return;
    m_state.preview = std::move(preview);
    ++m_previewRevision;
}

std::vector<ItemRecord>::iterator EngineClient::findRecord(const std::string& id) {
    if (!m_recordIndexValid) {
        m_recordIndex.clear();
        for (std::size_t i = 0; i < m_records.size(); ++i)
            m_recordIndex.try_emplace(m_records[i].id, i);
        m_recordIndexValid = true;
    }
    const auto it = m_recordIndex.find(id);
    return it == m_recordIndex.end() ? m_records.end()
                                     : m_records.begin() + static_cast<std::ptrdiff_t>(it->second);
}

void EngineClient::scan() {
    Batch batch(*this);
    if (snapshotMode() && !LaunchOptions::autoscan(m_services.launch)) return;
    start();
    m_records.clear();
    m_ticked.clear();
    m_recordIndexValid = false;
    m_treeDirty = false;
    m_treeRecords = 0;
    m_treeGrows = true;
    m_state.root.reset();
    ++m_state.rootRevision;
    setPreview(std::nullopt);
    m_state.scanning = true;
    m_state.hasScanned = true;
    m_state.pct = 0;
    m_state.eta.reset();
    m_state.place = "Starting the look";
    m_state.donePlaces = 0;
    m_state.totalPlaces = 0;
    m_state.scanPlaces.clear();
    m_state.banner.reset();
    // An answer still to come proposes items of the list this scan replaces.
    m_previews.drop();
    Json cmd = command("scan");
    cmd["include_private"] = m_state.includePrivate;
    m_scans.sent(!send(cmd));
}

void EngineClient::tick(const std::vector<std::string>& ids) {
    Batch batch(*this);
    if (ids.empty() || m_state.scanning) return;
    m_ticked.insert(ids.begin(), ids.end());
    rebuild();
    Json cmd = command("tick");
    cmd["ids"] = ids;
    send(cmd);
}

void EngineClient::untick(const std::vector<std::string>& ids) {
    Batch batch(*this);
    if (ids.empty() || m_state.scanning) return;
    for (const std::string& id : ids)
        m_ticked.erase(id);
    rebuild();
    Json cmd = command("untick");
    cmd["ids"] = ids;
    send(cmd);
}

void EngineClient::requestPreview() {
    Batch batch(*this);
    if (m_state.scanning) return;
    bool any = false;
    for (const ItemRecord& r : m_records)
        any = any || m_ticked.contains(r.id);
    if (!any) {
        m_state.banner = "Nothing is in clean the tank.";
        return;
    }
    askForPreview(false, m_ticked);
}

void EngineClient::requestQuickDelete(const std::string& id) {
    Batch batch(*this);
    if (m_state.scanning || id.empty()) return;
    askForPreview(true, {id});
}

void EngineClient::cancel() {
    Batch batch(*this);
    // The window leaves its scan at once, whether or not the engine answers: an
    // engine that went silent must not hold the window in "Scanning".
    if (m_scans.open() || m_state.scanning) {
        m_state.scanning = false;
        m_state.banner = "Scan cancelled. Nothing was deleted.";
        m_scans.leave();
    }
    if (!send(command("cancel"))) m_scans.cancelSent();
}

void EngineClient::endEngineNow() {
    Batch batch(*this);
    if (!m_process) return;
    // It has stopped answering, so it gets no time to finish an item.
    m_process->kill();
    // A process that reaps its child at once has reported the end already.
    if (m_process) processEnded(SIGKILL);
}

void EngineClient::refreshFree() {
    Batch batch(*this);
    if (!m_services.freeSpace) return;
    if (auto free = m_services.freeSpace()) m_state.freeBytes = *free;
}

void EngineClient::loadSnapshotDemo() {
    Batch batch(*this);
    flushTree();
    if (m_state.root) return;
    m_records = m_services.now ? SnapshotDemo::records(m_services.now()) : SnapshotDemo::records();
    m_ticked.clear();
    for (const ItemRecord& r : m_records) {
        if (r.ticked) m_ticked.insert(r.id);
    }
    m_state.freeBytes = 240'400'000'000;
    m_state.totalBytes = 506'300'000'000;
    m_state.volumeName = "Macintosh HD";
    m_state.scanning = false;
    m_state.hasScanned = true;
    rebuild();
    ++m_state.scanGeneration;
}

}  // namespace virirado
