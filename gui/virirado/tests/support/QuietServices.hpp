// The window's services as the tests and benchmarks build them: no scan at
// launch and no motion, over whatever engine, settings, clock and file actions
// the caller owns. No test framework, so the benchmarks take it too.
#pragma once

#include <string>

#include "ContentView.hpp"

namespace virirado::testing {

inline WindowServices quietServices(EngineFacade& engine, KeyValueStore& settings,
                                    const WindowClock& clock, FileActions& files,
                                    std::string home) {
    WindowServices s;
    s.engine = &engine;
    s.settings = &settings;
    s.clock = &clock;
    s.files = &files;
    s.home = std::move(home);
    s.autoscan = false;
    s.reduceMotion = true;
    return s;
}

}  // namespace virirado::testing
