// The snapshot run as a plain list of timed actions: which state to stage, how
// long to let the window settle, and which picture to take. The window carries
// it out; its order, waits and file names are checked here without a display.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "Snapshot.hpp"

namespace virirado {

struct SnapshotAction {
    enum class Kind {
        resize,         // the window's content to 1240 by 800
        appearance,     // light or dark, by `dark`
        setupStep,      // scope and query of step `index`, map closed, nothing selected
        selectFirst,    // the first visible row selected, then resize
        capture,        // the window's content to `path`
        openMap,        // everything, no query, map open, first row selected
        fakeScan,       // the map closed and a scan staged at 62 %
        hideRoot,       // the display tree set aside
        restoreRoot,    // the display tree back, scanning off
        showPreview,    // the demo preview
        captureSheet,   // the sheet to `path`
        captureWindow,  // the window with its sheet over it to `path`
        cleanState,     // clean state `index` of the demo preview
        finish,         // progress and preview cleared
        quit,
    };

    Kind kind;
    // Seconds to wait before this action.
    double wait = 0;
    std::string path;
    bool dark = false;
    std::size_t index = 0;

    bool operator==(const SnapshotAction&) const = default;
};

struct SnapshotWaits {
    double before, afterSetup, beforeStep, map, scanning, confirm, cleanState;
    static SnapshotWaits of(bool quick);
};

// The whole run. `demo` is true when the demo data was loaded (no scan at
// launch); `cleanStates` are the names of the demo's clean states, in order.
std::vector<SnapshotAction> snapshotPlan(const std::string& prefix, bool quick, bool demo,
                                         const std::vector<std::string>& cleanStates);

// The steps the run walks: the demo's or the scan's, the first two when quick.
std::vector<Snapshot::Step> snapshotSteps(bool quick, bool demo);

}  // namespace virirado
