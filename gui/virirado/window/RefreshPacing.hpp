// How soon the window refreshes after the engine client changed while a scan
// streams its items. A refresh derives everything from all rows, so its cost
// grows with the list; were the window to refresh after every piece of the
// stream, taking N items would cost N times N. Waiting a few times the last
// refresh's own cost keeps refreshing to a fixed share of the time, however
// long the list has grown, so the items keep arriving at the same pace.
#pragma once

namespace virirado {

class RefreshPacing {
public:
    // The wait between two refreshes is at least this many times the last one's cost.
    static constexpr double kCostTimes = 4.0;
    // And never shorter than this, in seconds: a list in plain view changes a few
    // times a second at most.
    static constexpr double kShortest = 0.1;

    // Seconds to wait, from `now`, before refreshing for an engine change during
    // a scan; 0 to refresh at once.
    double delay(double now) const;
    // A refresh ran from `start` to `end` (seconds on one steady clock).
    void refreshed(double start, double end);

private:
    bool m_refreshed = false;
    double m_lastEnd = 0;
    double m_lastCost = 0;
};

}  // namespace virirado
