// The window with the demo result loaded and its Dazu bar at hand, for the
// tests of the bar, its map and its legend.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "DazuBar.hpp"
#include "LargestFilesMap.hpp"
#include "WindowHarness.hpp"

namespace virirado::testing {

struct DemoBar {
    WindowHarness h;
    DazuBar* bar = nullptr;

    explicit DemoBar(const std::function<void(WindowServices&)>& tweak = {}) : h(tweak) {
        h.show();
        h.loadDemo();
        bar = h.find<DazuBar>("dazuBar");
        if (bar == nullptr) ADD_FAILURE() << "no Dazu bar";
    }
    WindowModel& model() { return h.content->model(); }
    LargestFilesMap* map() const { return bar->map(); }
    void open() {
        model().setMapExpanded(true);
        h.settle();
    }
    // The position of the tile of row `id` among the map's tiles; -1 for none.
    int tileOf(const std::string& id) const {
        const auto& tiles = map()->tiles();
        for (std::size_t i = 0; i < tiles.size(); ++i) {
            if (tiles[i].id == id) return static_cast<int>(i);
        }
        return -1;
    }
};

}  // namespace virirado::testing
