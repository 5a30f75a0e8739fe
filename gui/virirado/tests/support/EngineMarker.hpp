// A line the scripted engine says after the lines a test is about, and the
// wait for it. The window ignores the event but writes it to its traffic log
// as it reads it, so once the log holds it the window has taken every line the
// engine said before it. A round trip through the engine also shows that the
// engine read every command the window sent before.
#pragma once

#include <filesystem>
#include <string>

#include "HostileWindow.hpp"
#include "Settled.hpp"

namespace virirado::testing::hostile {

inline std::string markerLine(const std::string& name) {
    return "say {\"event\":\"marker\",\"name\":\"" + name + "\"}\n";
}

inline bool markerTaken(HostileWindow& w, const std::string& name) {
    const std::filesystem::path log = w.home / "Library/Logs/Virirado/gui-engine.log";
    const std::string said = "\"name\":\"" + name + "\"";
    return w.waitFor([&] { return readFile(log).find(said) != std::string::npos; }, kHangMs);
}

// The end of a script that answers `roundTrip`.
inline const std::string kRoundTrip = "on cancel\n" + markerLine("round trip");

// The window sends "cancel" (no scan is open, so nothing is cancelled) and
// waits for the engine's answer.
inline bool roundTrip(HostileWindow& w) {
    if (w.state().scanning) return false;
    w.client().cancel();
    return markerTaken(w, "round trip");
}

}  // namespace virirado::testing::hostile
