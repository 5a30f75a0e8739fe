// Follows one clean run from the confirmation to its result, in place of the
// confirmation inside the same sheet: what is being checked or deleted, how far
// the run is and how long it has taken, and at the end what it freed, what
// failed and where the log is. It offers no way to stop a run.
#pragma once

#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "CleanProgress.hpp"

class QScrollArea;
class QTimer;
class QVBoxLayout;

namespace virirado {

class CapsuleButton;
class ClampedLabel;
class CleanBar;
class FailureList;
class LivePill;
class PanelBox;
class WindowClock;

class CleanProgressView : public QWidget {
    Q_OBJECT
public:
    CleanProgressView(const WindowClock& clock, QWidget* parent = nullptr);

    // `trashed`: how many of the run's items go to the Trash (0 for a dry run).
    // `home`: whose log folder Show log opens. `logProblem`: why lines of the
    // deletion log wait to be written, when they do.
    void present(const durozizo::CleanProgress& progress, int64_t trashed, bool dark,
                 bool reduceMotion, const std::string& home,
                 const std::optional<std::string>& logProblem = std::nullopt);

    // The window waits for the run's end to close.
    void setCloseWaiting(bool waiting);

    void setOnDone(std::function<void()> onDone) { m_onDone = std::move(onDone); }
    // Opens a folder in the desktop's file manager. The desktop's own by default.
    void setFolderOpener(std::function<void(const QString&)> opener) {
        m_openFolder = std::move(opener);
    }

    // The title shown: the run's phase.
    QString title() const;
    // What a reader is told of the run: its phase while it runs; the result,
    // every line of it, once it has finished.
    QString spokenState() const;

    // Where the keys go: Done once the run has finished; none before.
    QWidget* firstFocus() const;

    // Done, when the run has finished; nothing before.
    void pressDone();
    // The log folder, when it is a real folder; nothing otherwise.
    void showLog();

private:
    void build();
    void buildHeader(QVBoxLayout* column);
    void buildRunning(QVBoxLayout* column);
    void buildResult(QVBoxLayout* column);
    void buildButtons(QVBoxLayout* column);
    void applyScheme();
    void updateRunning();
    void updateResult();
    void updateElapsed();
    void armElapsed();
    void tellReader();

    const WindowClock& m_clock;
    std::optional<durozizo::CleanProgress> m_progress;
    int64_t m_trashed = 0;
    std::optional<std::string> m_logProblem;
    bool m_dark = false;
    bool m_schemeSet = false;
    std::string m_home;
    std::function<void()> m_onDone;
    std::function<void(const QString&)> m_openFolder;
    // What a reader was last told, so a redraw with the same words is silent.
    QString m_told;
    // The keys were brought to Done when the run finished.
    bool m_doneFocused = false;

    ClampedLabel* m_title = nullptr;
    LivePill* m_pill = nullptr;
    ClampedLabel* m_elapsed = nullptr;
    QTimer* m_elapsedTimer = nullptr;

    QWidget* m_running = nullptr;
    CleanBar* m_bar = nullptr;
    ClampedLabel* m_counts = nullptr;
    ClampedLabel* m_current = nullptr;

    QWidget* m_result = nullptr;
    ClampedLabel* m_headline = nullptr;
    ClampedLabel* m_error = nullptr;
    ClampedLabel* m_logLine = nullptr;
    ClampedLabel* m_trashNote = nullptr;
    ClampedLabel* m_notTried = nullptr;
    PanelBox* m_failurePanel = nullptr;
    QScrollArea* m_failureScroll = nullptr;
    FailureList* m_failures = nullptr;

    CapsuleButton* m_showLog = nullptr;
    CapsuleButton* m_done = nullptr;
    ClampedLabel* m_cantStop = nullptr;
};

}  // namespace virirado
