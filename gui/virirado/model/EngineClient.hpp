// The app's one connection to the cleaning engine: it finds and launches the
// engine, writes commands, takes its events, and holds what the window shows.
// Its parts, each a type of its own: the line channel (the engine's output as
// lines, the traffic log), the scan requests, the preview requests with their
// checks, the clean run (the ledger, the sheet's run, each report) and the
// deletion-log keeper. Every member is used on the main thread only; the
// platform comes in through ClientServices so the whole protocol runs under
// test without a child.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "CleanRun.hpp"
#include "ClientServices.hpp"
#include "DeletionLogKeeper.hpp"
#include "EngineFacade.hpp"
#include "LineChannel.hpp"
#include "PreviewCheck.hpp"
#include "PreviewRequests.hpp"
#include "ScanRequests.hpp"

namespace virirado {

class EngineClient : public EngineFacade {
public:
    explicit EngineClient(ClientServices services);
    ~EngineClient() override;
    EngineClient(const EngineClient&) = delete;
    EngineClient& operator=(const EngineClient&) = delete;

    // Called once after every operation or event that changed the state.
    void setOnChanged(std::function<void()> onChanged) { m_onChanged = std::move(onChanged); }

    const EngineState& state() const override { return m_state; }
    const std::vector<ItemRecord>& records() const override { return m_records; }
    const std::set<std::string>& ticked() const override { return m_ticked; }
    // The rows of the run's clean that no report has named yet, while it runs.
    std::vector<PreviewRow> pendingRows() const { return m_run.pendingRows(m_state.cleanProgress); }
    const std::string& stderrTail() const { return m_channel.stderrTail(); }
    bool engineRunning() const { return m_process != nullptr; }
    // Previews asked for whose answer has not come yet.
    int unansweredPreviews() const { return m_previews.unanswered(); }

    void start() override;
    void scan() override;
    void tick(const std::vector<std::string>& ids) override;
    void untick(const std::vector<std::string>& ids) override;
    void requestPreview() override;
    void requestQuickDelete(const std::string& id) override;
    void cancel() override;
    void refreshFree();
    void setIncludePrivate(bool value) override;
    void setBanner(std::optional<std::string> text) override;
    void editForSnapshot(const std::function<void(EngineState&)>& edit) override;

    // The clean pipeline.
    void confirmClean() override;
    void dismissPreview() override;
    void endEngineNow() override;
    // The app ends: the rows no report reached are logged as "unknown" and the
    // kept deletion-log lines tried a last time. What still is not on disk
    // comes back, whole, with why, for the app to say; nothing is kept.
    std::optional<DeleteLog::Unwritten> finishDeletionLog();

    // The transport, public so that the platform side and tests can drive it.
    void consume(std::string_view bytes);
    void consumeError(const std::string& bytes);
    void processEnded(int status);
    // A command already handed to the child never reached it.
    void writeFailed(const std::string& description);
    void handleLine(std::string_view line);
    void loadSnapshotDemo();

    static std::optional<PreviewRow> previewRow(const Json& entry) {
        return PreviewRequests::previewRow(entry);
    }

private:
    struct Before {
        EngineState state;
        uint64_t previewRevision = 0;
        std::size_t failures = 0;
    };

    // Announces one change when the outermost operation ends and the published
    // state differs from what it was when that operation began. The display tree
    // is rebuilt once there, however many records the operation changed.
    class Batch {
    public:
        explicit Batch(EngineClient& client);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        EngineClient& m_client;
        std::optional<Before> m_before;
    };

    bool snapshotMode() const;
    // The published state with its large parts left out (the tree by its
    // revision, the preview by m_previewRevision, the run's failures by their
    // number), and whether the state equals such a copy.
    Before snapshot();
    bool sameAs(const Before& before);
    // What parts keep for themselves and the window reads: the tree, and why
    // the deletion log waits.
    void publish();
    // Replaces the preview on show; every change of it goes through here.
    void setPreview(std::optional<PreviewPayload> preview);
    void flushTree();
    std::vector<ItemRecord>::iterator findRecord(const std::string& id);
    // Writes one command; returns the failure shown to the user, or none.
    std::optional<std::string> send(const Json& command);
    Json command(const char* name);
    void rebuild();
    // The window waits on the engine: an answer to "hello", a scan, a preview,
    // a clean.
    bool waitingOnEngine() const;

    // Events.
    void applyVolume(const Json& event);
    void upsert(ItemRecord record);
    void onProgress(const Json& event);
    void onDone(const Json& event);
    void onSelection(const Json& event);
    void onCancelled(const Json& event);
    void onError(const Json& event);
    void onScannerError(const Json& event);

    // The clean pipeline.
    void askForPreview(bool quickDelete, const std::set<std::string>& ids);
    void onPreview(const Json& event);
    // `ticksKept`: what a hold-back of this answer leaves ticked.
    void finishPreviewCheck(const CheckedPreview& checked, uint64_t answer, int64_t generation,
                            const std::set<std::string>& ticksKept);
    void finishRecheck(const PreviewPayload& payload, const std::vector<HeldRow>& held);
    // Refuses the clean and unticks the held rows, but for those in `keepTicked`:
    // the user's own ticks, which a quick delete's answer may not take away.
    void holdBack(const std::vector<HeldRow>& held, const std::set<std::string>& keepTicked = {});
    void sendClean(const PreviewPayload& payload, bool dry);
    void onClean(const Json& event);
    void removeRecords(const std::unordered_set<std::string>& ids);
    // From the moment its clean is sent until the user closes its result, a run
    // owns the sheet: nothing the engine proposes may replace or clear it.
    bool runOwnsSheet() const;

    ClientServices m_services;
    std::function<void()> m_onChanged;
    // Tells callbacks still queued whether this client still exists.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
    int m_batchDepth = 0;

    EngineState m_state;
    // Raised whenever the preview on show changes.
    uint64_t m_previewRevision = 0;
    // The tree waits to be rebuilt until the outermost operation ends. It holds
    // the first m_treeRecords records, so records appended since are added to
    // it instead of making it again; false m_treeGrows after a snapshot edit.
    bool m_treeDirty = false;
    std::size_t m_treeRecords = 0;
    bool m_treeGrows = true;
    std::vector<ItemRecord> m_records;
    // Record id to position; rebuilt when the records were replaced wholesale.
    std::unordered_map<std::string, std::size_t> m_recordIndex;
    bool m_recordIndexValid = false;
    std::set<std::string> m_ticked;

    std::unique_ptr<EngineProcess> m_process;
    // The child that ended last, kept until the next launch.
    std::unique_ptr<EngineProcess> m_retired;
    // Callbacks of a child that is no longer the current one are ignored.
    uint64_t m_launchId = 0;
    int64_t m_next = 0;
    // The engine has said something since it was started: until then the
    // window waits on its answer to "hello".
    bool m_heard = false;

    LineChannel m_channel;
    ScanRequests m_scans;
    PreviewRequests m_previews;
    DeletionLogKeeper m_deletionLog;
    CleanRun m_run{m_deletionLog};
};

}  // namespace virirado
