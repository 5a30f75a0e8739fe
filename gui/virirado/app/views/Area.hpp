// One area of the main window: it is handed the window's derived values after
// every change and draws from them; what the user does goes back through the
// window's actions (AreaContext), never to the engine client.
#pragma once

#include "Clock.hpp"
#include "FileActions.hpp"
#include "WindowActions.hpp"
#include "WindowView.hpp"

namespace virirado {

class Area {
public:
    virtual ~Area() = default;
    // Called on the main thread once per event-loop turn in which anything the
    // window shows changed. `view.engine` is valid only during the call; rows
    // an area keeps must be kept together with `view.store`.
    virtual void present(const WindowView& view) = 0;
};

// What every area is made with.
struct AreaContext {
    WindowActions& actions;
    FileActions& files;
    // Animations read the frame time from here when they paint.
    const WindowClock& clock;
};

}  // namespace virirado
