// The app's one connection to the cleaning engine: it finds and launches the
// engine, writes commands, reads events line by line, and runs the preview check
// and the clean pipeline. Every member is used on the main thread only; the
// platform (process, background work, settings, logs) comes in through
// ClientServices so the whole protocol runs under test without a child.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "CleanLedger.hpp"
#include "CleanProgress.hpp"
#include "DeleteLog.hpp"
#include "EngineFacade.hpp"
#include "EngineLocator.hpp"
#include "EngineProcess.hpp"
#include "Json.hpp"
#include "Model.hpp"
#include "Tree.hpp"

namespace virirado {

// A preview row the guards objected to, with their reason.
using HeldRow = std::pair<PreviewRow, std::string>;

struct ClientServices {
    std::function<std::unique_ptr<EngineProcess>()> makeProcess;
    Executor* executor = nullptr;
    LaunchContext launch;
    // The home folder the guards and the deletion log use.
    std::string home;
    // The engine traffic log.
    std::function<void(std::string_view prefix, std::string_view text)> log;
    // The deletion log: the rows a report named, each with its result; with
    // none, the rows to log as "unknown"; and the refusals of held rows. `kept`
    // holds lines an earlier write could not write, which go first. What is not
    // on disk comes back, with why.
    std::function<std::optional<DeleteLog::Unwritten>(
        const std::vector<CleanLedger::Taken>& results, const std::vector<PreviewRow>& fallback,
        std::string_view kept)>
        writeDeleteLog;
    std::function<std::optional<DeleteLog::Unwritten>(const std::vector<HeldRow>& held,
                                                      std::string_view kept)>
        writeRefusedLog;
    // Free bytes of the home folder's volume, none when unreadable.
    std::function<std::optional<int64_t>()> freeSpace;
    // The stored "includePrivate" choice, none when absent or not a Bool.
    std::function<std::optional<bool>()> loadIncludePrivate;
    std::function<void(bool)> storeIncludePrivate;
    // The moment the demo data is dated from (seconds since 1970); the system
    // clock when unset. Snapshot pictures fix it so that they never change.
    std::function<TimePoint()> now;
    // The longest line taken from the engine: a result of 300,000 items is about
    // 110 MB. A longer one is dropped up to its line feed, so an engine that never
    // ends a line cannot fill the memory.
    std::size_t maxLineBytes = 256u << 20;

    // This machine: the real logs under `home`, statvfs for free space, no stored
    // settings. The process, executor and launch context are left to the caller.
    static ClientServices system(std::string home);
};

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
    // The rows of the run's clean that no report has named yet, while the run
    // runs: the ledger holds them, as it holds every clean that is out.
    std::vector<PreviewRow> pendingRows() const;
    const std::string& stderrTail() const { return m_stderrTail; }
    bool engineRunning() const { return m_process != nullptr; }
    // Previews asked for whose answer has not come yet.
    int unansweredPreviews() const { return m_asks.unanswered; }

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

    // The transport, public so that the platform side and tests can drive it.
    void consume(std::string_view bytes);
    void consumeError(const std::string& bytes);
    void processEnded(int status);
    // A command already handed to the child never reached it.
    void writeFailed(const std::string& description);
    void handleLine(std::string_view line);
    void loadSnapshotDemo();

    static std::optional<PreviewRow> previewRow(const Json& entry);

private:
    struct Before {
        EngineState state;
        uint64_t previewRevision = 0;
        std::size_t failures = 0;
    };

    // Announces one change when the outermost operation ends and the published
    // state differs from what it was when that operation began. The display tree
    // is rebuilt once there, however many records the operation changed, and is
    // compared by its revision, not node by node.
    class Batch {
    public:
        explicit Batch(EngineClient& client) : m_client(client) {
            if (m_client.m_batchDepth++ == 0) m_before = m_client.snapshot();
        }
        ~Batch() {
            if (--m_client.m_batchDepth != 0) return;
            m_client.flushTree();
            if (m_before && !m_client.sameAs(*m_before) && m_client.m_onChanged) {
                m_client.m_onChanged();
            }
        }
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        EngineClient& m_client;
        std::optional<Before> m_before;
    };

    bool snapshotMode() const;
    void announce();
    // The published state with its large parts left out, and whether the state
    // equals such a copy. The tree is compared by its revision, the preview by
    // m_previewRevision and the run's failures by their number (they only grow
    // while the run goes, and what replaces them changes its phase or error):
    // copied, they made each progress event of a large clean cost the whole
    // preview and every failure so far.
    Before snapshot();
    bool sameAs(const Before& before);
    // Replaces the preview on show; every change of it goes through here.
    void setPreview(std::optional<PreviewPayload> preview);
    void flushTree();
    std::vector<ItemRecord>::iterator findRecord(const std::string& id);
    // Writes one command; returns the failure shown to the user, or none.
    std::optional<std::string> send(const Json& command);
    Json command(const char* name);
    void rebuild();
    void outputEnd();
    // Handles one received line and then logs it.
    void handleLogged(std::string_view line);
    // A line for the traffic log, held while a received line is handled.
    void logTraffic(std::string_view prefix, std::string_view text);
    // Keeps output that ends no line yet, up to the cap.
    void keepPartial(std::string_view bytes);
    void dropPending();
    // The window waits on the engine: an answer to "hello", a scan, a preview,
    // a clean.
    bool waitingOnEngine() const;

    // Events.
    void applyVolume(const Json& event);
    void upsert(ItemRecord record);
    void onProgress(const Json& event);
    void onDone(const Json& event);
    void onSelection(const Json& event);
    void onCleanProgress(const Json& event);
    void onCancelled(const Json& event);
    void onError(const Json& event);
    void onScannerError(const Json& event);

    // The clean pipeline.
    // The previews asked for since every earlier one was answered. The engine's
    // answers name no request, so an answer is judged against all of them: it
    // may hold any item one of them asked for, and it asks for the typed code
    // when any of them was a quick delete.
    struct PreviewAsks {
        int unanswered = 0;
        std::set<std::string> ids;
        bool quickDelete = false;
        bool tank = false;
        // What the user had ticked when a quick delete was asked for: a refusal
        // of its answer leaves those ticks alone.
        std::set<std::string> tickedAtQuickAsk;
    };
    // Sends the "preview" command of a new request.
    void askForPreview(bool quickDelete, const std::set<std::string>& ids);
    // One answer has come (a preview, or the engine's refusal of one).
    PreviewAsks takeAnswer();
    // No answer to an earlier request is wanted any more.
    void dropAsks();
    void onPreview(const Json& event);
    // The answer's rows that the request did not ask for, with the reason.
    static std::vector<HeldRow> unaskedRows(const PreviewPayload& payload,
                                            const PreviewAsks& asked);
    void finishPreviewCheck(const PreviewPayload& payload, const std::vector<HeldRow>& held,
                            uint64_t answer, int64_t generation);
    void finishRecheck(const PreviewPayload& payload, const std::vector<HeldRow>& held);
    // Refuses the clean and unticks the held rows, but for those in `keepTicked`:
    // the user's own ticks, which a quick delete's answer may not take away.
    void holdBack(const std::vector<HeldRow>& held, const std::set<std::string>& keepTicked = {});
    void sendClean(const PreviewPayload& payload, bool dry);
    void onClean(const Json& event);
    // The parts of taking a report: its deletion-log lines, the records it
    // says went, and the run on the sheet when the report is its clean's.
    void logReport(const CleanLedger::Report& report);
    void removeDeleted(const CleanLedger::Report& report);
    void finishRun(const CleanLedger::Report& report);
    // The banner that sums up a report.
    static std::string cleanBanner(const Json& event, const CleanLedger::Report& report,
                                   const std::optional<std::string>& logProblem);
    // No report can come any more: the rows still open go to the deletion log
    // as "unknown", since the engine may have removed any of them.
    void logRowsNoReportReached();
    // Writes deletion-log lines through `write`, handing it the lines earlier
    // writes left; keeps what does not reach the disk and publishes why.
    void logDeletions(
        const std::function<std::optional<DeleteLog::Unwritten>(std::string_view kept)>& write);
    // Tries the kept lines again, when there are any.
    void retryDeletionLog();
    // `banner` and, when the deletion log could not be written, why.
    std::string withLogProblem(std::string banner) const;
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
    // The tree waits to be rebuilt until the outermost operation ends.
    bool m_treeDirty = false;
    // The tree holds the first m_treeRecords records and nothing else, so records
    // appended since are added to it instead of making it again: a result that
    // arrives item by item costs each item once. False after a snapshot edit.
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
    // Output since the last line feed, in the pieces it came in, and its length.
    std::vector<std::string> m_pending;
    std::size_t m_pendingBytes = 0;
    std::string m_errorPending;
    int64_t m_next = 0;
    std::string m_stderrTail;
    // Every clean sent whose rows still wait for a report, and the one whose run
    // the sheet shows.
    CleanLedger m_ledger;
    // Deletion-log lines no write could put on disk yet, oldest first: tried
    // again with every later write, at every report and at the end.
    std::string m_unwrittenLines;
    std::optional<CleanLedger::Number> m_runClean;
    PreviewAsks m_asks;
    // Answers are numbered as they come; a check that finishes after a later
    // answer's, or after the asks were dropped, is not shown.
    uint64_t m_answers = 0;
    uint64_t m_answersSettled = 0;
    // Traffic-log lines that wait while a received line is handled.
    bool m_holdTraffic = false;
    std::vector<std::pair<std::string, std::string>> m_heldTraffic;
    // Output past the cap is being dropped up to the next line feed.
    bool m_overlong = false;
    // The scan this window asked for: open until its "done" or the engine's
    // "cancelled", an "error" or the engine's end. Cancelled by the user, its
    // late events are no answer to anything: the window left it at once.
    enum class ScanAsk { none, open, cancelled };
    ScanAsk m_scanAsk = ScanAsk::none;
    // Cancels sent that the engine has not answered yet. A "cancelled" answers
    // one of them: the scan that cancel was for was left when it was sent, and
    // a scan started since goes on. Only with none open is a "cancelled" the
    // engine's own, which ends the open scan. Events name no command, so only
    // their number is kept.
    int m_cancelsOpen = 0;
    // The engine has said something since it was started: until then the
    // window waits on its answer to "hello".
    bool m_heard = false;
};

}  // namespace virirado
