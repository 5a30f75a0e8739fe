// The deletion log as the engine client writes it: every line goes to the disk
// at once, and what the disk does not take is kept, said and tried again. The
// lines kept and why they wait are the keeper's; the client publishes the why
// and the banners end with its sentence. At the end whatever still is not on
// disk is handed back whole, for the app to say where it can.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ClientServices.hpp"
#include "DeleteLog.hpp"

namespace virirado {

class DeletionLogKeeper {
public:
    DeletionLogKeeper(ClientServices::WriteDeleteLog writeResults,
                      ClientServices::WriteRefusedLog writeRefused);

    // One line per result taken, as the ledger read it.
    void results(const std::vector<CleanLedger::Taken>& taken);
    // One "unknown" line per row: the engine may have removed any of them.
    void unknown(const std::vector<PreviewRow>& rows);
    // One "refused" line per row the guards held back.
    void refused(const std::vector<HeldRow>& held);
    // Tries the kept lines again, when there are any.
    void retry();
    // Tries the kept lines a last time and hands back what is still not on
    // disk; nothing is kept afterwards.
    std::optional<DeleteLog::Unwritten> finish();

    // Why lines wait to be written; none while every line is on disk.
    const std::optional<std::string>& problem() const { return m_problem; }
    // `banner` and, while lines wait, the sentence that says why.
    std::string withProblem(std::string banner) const;

private:
    using Write = std::function<std::optional<DeleteLog::Unwritten>(std::string_view kept)>;
    // Writes through `write`, handing it the kept lines first; keeps what does
    // not reach the disk.
    void write(const Write& write);

    ClientServices::WriteDeleteLog m_writeResults;
    ClientServices::WriteRefusedLog m_writeRefused;
    // Lines no write could put on disk yet, oldest first.
    std::string m_kept;
    std::optional<std::string> m_problem;
};

}  // namespace virirado
