// What the main window sees of the engine client: its published state and the
// operations its controls call. The transport (process output, lines, exits)
// stays out of reach, so no view can feed the client an event; tests stand a
// recording fake in its place.
#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "EngineState.hpp"
#include "Model.hpp"

namespace virirado {

class EngineFacade {
public:
    virtual ~EngineFacade() = default;

    virtual const EngineState& state() const = 0;
    virtual const std::vector<ItemRecord>& records() const = 0;
    virtual const std::set<std::string>& ticked() const = 0;

    virtual void start() = 0;
    virtual void scan() = 0;
    virtual void cancel() = 0;
    virtual void tick(const std::vector<std::string>& ids) = 0;
    virtual void untick(const std::vector<std::string>& ids) = 0;
    virtual void requestPreview() = 0;
    virtual void requestQuickDelete(const std::string& id) = 0;
    virtual void confirmClean() = 0;
    virtual void dismissPreview() = 0;
    // The person quits a second time while a clean awaits its result: the
    // engine is ended at once, and the rows it never reported on are logged.
    virtual void endEngineNow() = 0;
    virtual void setBanner(std::optional<std::string> text) = 0;
    virtual void setIncludePrivate(bool value) = 0;

    // Snapshot mode stages the window's states by writing the published state
    // directly; the change is announced like any other.
    virtual void editForSnapshot(const std::function<void(EngineState&)>& edit) = 0;
};

}  // namespace virirado
