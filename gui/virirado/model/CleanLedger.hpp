// The bookkeeping of the cleans this window sent: the rows that went out and
// are still open, the reports taken for them, and the deletion-log lines they
// come to. Every row sent gets exactly one line, as its report said, or
// "unknown" when no report will name it.
//
// Events name no command, so a report is never matched to a clean by its "id":
// each result is taken for an open row with the id it names, whichever clean
// sent that row (the newest first), and the report answers the cleans whose
// rows it named. Rows may share an id (an item's file and its member's
// folder): a result whose "path" is the path of one of them is taken for that
// row, and the others for the rows their paths leave, in order. The engine reports its cleans in
// the order it took them, so a report that names no open row answers the oldest clean still open;
// one whose results name only rows already closed (a report sent twice) answers nothing. Rows of an
// answered clean that its report left out are "unknown": the engine said it was done, so no later
// report will name them. Rows of a clean no report answers stay open until one does or the engine
// ends.
//
// Each call costs in proportion to what it names: the open rows are indexed by
// id, and each clean counts the labels whose progress is still to come.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Json.hpp"
#include "Model.hpp"

namespace virirado {

class CleanLedger {
public:
    using Number = uint64_t;

    // What a result says became of its row.
    enum class Outcome { deleted, wouldGo, failed };

    // One result taken for one row sent.
    struct Taken {
        Number clean = 0;
        // The row as it was sent: the deletion log names its path, the one the
        // guards checked, never a path the engine supplies.
        PreviewRow row;
        // The engine's result for it, as reported.
        Json result;
        // As `Report::outcome` reads it: the deletion log, the banner and the
        // sheet all take this one reading.
        Outcome outcome = Outcome::failed;
    };

    // A clean a report answers, and whether it was sent as a dry run.
    struct Answered {
        Number clean = 0;
        bool dry = false;
    };

    // What one "clean" report comes to.
    struct Report {
        // One result per row, in the report's order.
        std::vector<Taken> taken;
        // Rows of the answered cleans sent for real that no result names, in
        // the order sent.
        std::vector<PreviewRow> unknown;
        std::vector<Answered> answered;
        // The report's own "dry_run", else whether every clean it answers was
        // sent as a dry run.
        bool saidDry = false;

        bool answers(Number clean) const;
        bool sentDry(Number clean) const;
        // The row was sent for real and its result says it was deleted. A clean
        // sent as a dry run deleted nothing, whatever its report claims.
        bool went(const Taken& t) const;
        // Nothing was deleted and the engine says it only pretended, or every
        // clean answered was sent as a dry run. A real clean's rows are logged
        // as their results say all the same; this only picks the words.
        bool readsDry() const;
        // The one reading of a result: deleted when it went; in a report that
        // reads as a dry run, where nothing went, "would go" when its "ok" is
        // true; else failed. "ok" never makes a real clean's row deleted.
        Outcome outcome(const Taken& t) const;
    };

    // A clean went out with these rows; returns its number.
    Number sent(std::vector<PreviewRow> rows, bool dry);
    // The clean never reached the engine: nothing will answer it.
    void unsent(Number clean);
    // Some row sent still waits for its report.
    bool awaiting() const { return !m_cleans.empty(); }
    // The rows of one clean that no report has named yet, in the order sent.
    std::vector<PreviewRow> openRows(Number clean) const;

    // Takes one "clean" event; none when it answers no clean this window sent
    // that is still open.
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
        bool dry = false;
        std::vector<PreviewRow> rows;
        std::vector<bool> open;
        std::size_t openCount = 0;
        // Labels of rows whose progress has not finished yet, with how many
        // rows bear each.
        std::unordered_map<std::string, std::size_t> labelsLeft;
    };
    struct Place {
        Number clean = 0;
        std::size_t row = 0;
    };
    // A result with the id it names, its path, and the open row it is taken for.
    struct Named {
        const Json* result = nullptr;
        std::string id;
        std::optional<std::string> path;
        std::optional<Place> place;
    };

    // Closes the newest open row with `id` (at `path`, when one is given) and
    // gives its clean and place; none when no such row is open.
    std::optional<Place> takeOpen(const std::string& id, const std::optional<std::string>& path);
    // The results of a "clean" event that name an id, each taken for a row.
    std::vector<Named> takeRows(const Json& event);
    // A result naming an id whose open rows this report took already names one
    // of them again: the one at its path, else the first still said failed.
    static void namedAgain(const Named& again, const std::vector<std::size_t>& took,
                           Report& report);
    // Closes what the answered cleans have left open, and forgets them.
    void closeAnswered(Report& report);
    void closeRow(Number number, Clean& clean, std::size_t row);
    void unindex(const std::string& id, Number clean, std::size_t row);

    Number m_next = 0;
    // Oldest first; a clean leaves once none of its rows is open.
    std::map<Number, Clean> m_cleans;
    // Open rows by id: the newest clean's last, and within one clean the first
    // sent last, so the row a result takes is at the back.
    std::unordered_map<std::string, std::vector<Place>> m_open;
    // Ids of the rows closed since the engine started, so a report naming only
    // those is known for one already taken.
    std::unordered_set<std::string> m_closed;
};

}  // namespace virirado
