#include "ScanRequests.hpp"

namespace virirado {

void ScanRequests::reset() {
    m_scan = Scan::none;
    m_cancelsOpen = 0;
}

void ScanRequests::sent(bool reached) {
    m_scan = reached ? Scan::open : Scan::none;
}

void ScanRequests::leave() {
    m_scan = Scan::left;
}

void ScanRequests::cancelSent() {
    ++m_cancelsOpen;
}

bool ScanRequests::done() {
    // The result of a scan the user cancelled comes too late to be wanted.
    if (m_scan == Scan::left) return false;
    // The engine takes its commands in turn: a cancel sent before this scan
    // has had whatever answer it will get, and an engine may answer none (it
    // had nothing left to cancel, or the new scan replaced the old one).
    if (m_scan == Scan::open) m_cancelsOpen = 0;
    m_scan = Scan::none;
    return true;
}

bool ScanRequests::cancelled(const std::optional<std::string>& cmd) {
    // The answer to a cancel the window sent: it left that scan already, and a
    // scan it started since is not the one cancelled.
    if (m_cancelsOpen > 0) {
        --m_cancelsOpen;
        return false;
    }
    if (cmd != "scan" || m_scan != Scan::open) return false;
    m_scan = Scan::none;
    return true;
}

void ScanRequests::error(const std::optional<std::string>& cmd) {
    if (m_scan == Scan::open) m_scan = Scan::none;
    if (m_cancelsOpen > 0 && cmd == "cancel") --m_cancelsOpen;
}

}  // namespace virirado
