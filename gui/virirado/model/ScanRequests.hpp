// The scan the window asked for, and the cancels the engine has not answered.
// Events name no command, so only what is open is known: the scan (open until
// its "done", the engine's "cancelled", an "error" or the engine's end; left
// by the user once cancelled, when its late events answer nothing) and the
// number of cancels sent. A "cancelled" answers one of those cancels first:
// the scan that cancel was for was left when it was sent, and a scan started
// since goes on. Only with none open is a "cancelled" the engine's own, which
// ends the open scan.
#pragma once

#include <optional>
#include <string>

namespace virirado {

class ScanRequests {
public:
    // A new engine, or one that ended: nothing is asked of it.
    void reset();
    // A "scan" command went out; `reached` tells whether it reached the engine.
    void sent(bool reached);
    // The user cancelled: the window leaves the scan at once.
    void leave();
    // A "cancel" command reached the engine.
    void cancelSent();

    // The scan asked for has not finished: its progress moves the window.
    bool open() const { return m_scan == Scan::open; }
    // The user cancelled it: its late items and result are no answer.
    bool left() const { return m_scan == Scan::left; }

    // A "done": whether it is the result of the scan asked for (or one the
    // window did not leave).
    bool done();
    // A "cancelled" naming `cmd`: true when it is the engine's own, ending the
    // open scan.
    bool cancelled(const std::optional<std::string>& cmd);
    // An "error" naming `cmd`: the scan has its answer, as may a cancel.
    void error(const std::optional<std::string>& cmd);

private:
    enum class Scan { none, open, left };
    Scan m_scan = Scan::none;
    int m_cancelsOpen = 0;
};

}  // namespace virirado
