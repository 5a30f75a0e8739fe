// The bookkeeping of the cleans this window sent: the rows that went out and
// are still open, the reports taken for them, and the deletion-log lines they
// come to. Every row sent gets exactly one line, as its report said, or
// "unknown" when no report will name it.
//
// Events name no command, so a report is never matched to a clean by its "id":
// each result is taken for an open row with the id it names, whichever clean
// sent that row, and the report answers the cleans whose rows it named. A
// report that names none answers the newest clean still open. Rows of an
// answered clean that its report left out are "unknown": the engine said it was
// done, so no later report will name them. Rows of a clean no report answers
// stay open until one does or the engine ends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Json.hpp"
#include "Model.hpp"

namespace virirado {

class CleanLedger {
public:
    using Number = uint64_t;

    // One result taken for one row sent.
    struct Taken {
        Number clean = 0;
        // The row as it was sent: the deletion log names its path, the one the
        // guards checked, never a path the engine supplies.
        PreviewRow row;
        // The engine's result for it, as reported.
        Json result;
    };

    // What one "clean" report comes to.
    struct Report {
        // The report's own "dry_run", else whether the cleans it answers were
        // sent as dry runs.
        bool dry = false;
        std::vector<Taken> taken;
        // Rows of the answered cleans that no result names, in the order sent.
        std::vector<PreviewRow> unknown;
        std::vector<Number> answered;

        bool answers(Number clean) const;
        // The results taken, in the report's order.
        std::vector<Json> results() const;
        // The results taken for rows of one clean.
        std::vector<Json> resultsOf(Number clean) const;
    };

    // A clean went out with these rows; returns its number.
    Number sent(std::vector<PreviewRow> rows, bool dry);
    // The clean never reached the engine: nothing will answer it.
    void unsent(Number clean);
    // Some row sent still waits for its report.
    bool awaiting() const { return !m_cleans.empty(); }

    // Takes one "clean" event; none when no row sent is open, so the report
    // answers nothing this window asked.
    std::optional<Report> take(const Json& event);

    // A "clean_progress" for `label` during clean `clean`: true when a row of
    // that clean bears the label and its progress may count. A finished item
    // counts once per row: its label is then used up.
    bool progress(Number clean, const std::string& label, bool finished);

    // The engine is gone and can report no more: the rows still open of every
    // clean that was not a dry run, for the log as "unknown". Nothing stays open.
    std::vector<PreviewRow> ended();

private:
    struct Clean {
        Number number = 0;
        bool dry = false;
        std::vector<PreviewRow> rows;
        std::vector<bool> open;
        // Labels of rows whose progress has not finished yet.
        std::vector<std::string> labelsLeft;
    };

    Clean* find(Number clean);
    // Closes the newest open row with this id; the clean it was in, or none.
    Clean* closeRow(const std::string& id, PreviewRow& row);

    Number m_next = 0;
    // Oldest first; a clean leaves once none of its rows is open.
    std::vector<Clean> m_cleans;
};

}  // namespace virirado
