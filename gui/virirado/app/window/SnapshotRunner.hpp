// Carries out the snapshot run: stages each state of the window in turn, lets it
// settle for the planned time, and saves the pictures. The run ends the app; a
// picture that could not be saved makes it end with status 1.
#pragma once

#include <QObject>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "CleanProgress.hpp"
#include "SnapshotPlan.hpp"
#include "Tree.hpp"

namespace virirado {

class ContentView;

class SnapshotRunner : public QObject {
    Q_OBJECT
public:
    SnapshotRunner(ContentView& content, std::string prefix, bool quick, bool demo);
    void start();
    int failures() const { return m_failures; }

    // The main window's picture with the sheet's picture laid over it, centred at
    // the top, where the sheet sits on screen.
    static QImage withSheet(const QImage& window, const QImage& sheet);

private:
    void next();
    void perform(const SnapshotAction& action);
    void capture(const std::string& path);
    void captureSheet(const std::string& path);
    void captureWindow(const std::string& path);
    void resizeWindow();
    void selectFirst();
    void settle();

    ContentView& m_content;
    std::vector<SnapshotAction> m_plan;
    std::vector<std::pair<std::string, durozizo::CleanProgress>> m_states;
    std::vector<Snapshot::Step> m_steps;
    // Where the pictures go: the prefix's folder part, empty for the current folder.
    std::string m_folder;
    std::size_t m_next = 0;
    std::optional<TreeNode> m_keptRoot;
    int m_failures = 0;
};

}  // namespace virirado
