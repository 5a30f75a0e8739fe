// The previews the window asked for and the engine's answers to them. The
// answers name no request, so an answer is judged against every request still
// open: it may hold any item one of them asked for, and it asks for the typed
// code when any of them was a quick delete. Answers are numbered as they come;
// the check of one that finishes after a later answer's, or after the requests
// were dropped, is not shown.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Json.hpp"
#include "Model.hpp"

namespace virirado {

class PreviewRequests {
public:
    // The requests open since every earlier one was answered.
    struct Asks {
        int unanswered = 0;
        std::set<std::string> ids;
        bool quickDelete = false;
        bool tank = false;
        // What the user had ticked when a quick delete was asked for: a refusal
        // of its answer leaves those ticks alone.
        std::set<std::string> tickedAtQuickAsk;
    };

    // A "preview" command for `ids` reached the engine, with `ticked` ticked.
    void asked(bool quickDelete, const std::set<std::string>& ids,
               const std::set<std::string>& ticked);
    int unanswered() const { return m_asks.unanswered; }
    // One answer has come (a preview, or the engine's refusal of one): the
    // requests it may answer. They are forgotten once every one has its answer.
    Asks takeAnswer();
    // No answer to an earlier request is wanted any more.
    void drop();
    // The check of a new answer starts: its number.
    uint64_t checkStarted() { return ++m_answers; }
    // The check of answer `answer` finished: whether it may still be shown.
    bool checkWanted(uint64_t answer);
    // The answer on show, and the user's ticks a refusal of it leaves alone
    // (those of `Asks::tickedAtQuickAsk`), for the re-check at its confirmation.
    void shown(std::set<std::string> ticksKept) { m_ticksKeptByShown = std::move(ticksKept); }
    const std::set<std::string>& ticksKeptByShown() const { return m_ticksKeptByShown; }

    // One entry of a "preview" event's "items", or none without a string "id".
    static std::optional<PreviewRow> previewRow(const Json& entry);
    // A "preview" event as a payload: each row sent again exactly counts once.
    static PreviewPayload payloadOf(const Json& event);
    // The answer's rows that the requests did not ask for, with the reason.
    static std::vector<HeldRow> unaskedRows(const PreviewPayload& payload, const Asks& asked);

private:
    Asks m_asks;
    uint64_t m_answers = 0;
    uint64_t m_answersSettled = 0;
    std::set<std::string> m_ticksKeptByShown;
};

}  // namespace virirado
