#include "DeletionLogKeeper.hpp"

namespace virirado {

DeletionLogKeeper::DeletionLogKeeper(ClientServices::WriteDeleteLog writeResults,
                                     ClientServices::WriteRefusedLog writeRefused)
    : m_writeResults(std::move(writeResults)), m_writeRefused(std::move(writeRefused)) {}

void DeletionLogKeeper::write(const Write& write) {
    std::optional<DeleteLog::Unwritten> left = write(m_kept);
    if (left) {
        m_kept = std::move(left->lines);
        m_problem = std::move(left->problem);
    } else {
        m_kept.clear();
        m_problem.reset();
    }
}

void DeletionLogKeeper::results(const std::vector<CleanLedger::Taken>& taken) {
    if (!m_writeResults || taken.empty()) return;
    write([&](std::string_view kept) { return m_writeResults(taken, {}, kept); });
}

void DeletionLogKeeper::unknown(const std::vector<PreviewRow>& rows) {
    if (!m_writeResults || rows.empty()) return;
    write([&](std::string_view kept) { return m_writeResults({}, rows, kept); });
}

void DeletionLogKeeper::refused(const std::vector<HeldRow>& held) {
    if (!m_writeRefused) return;
    write([&](std::string_view kept) { return m_writeRefused(held, kept); });
}

void DeletionLogKeeper::retry() {
    if (m_kept.empty() || !m_writeResults) return;
    write([&](std::string_view kept) { return m_writeResults({}, {}, kept); });
}

std::optional<DeleteLog::Unwritten> DeletionLogKeeper::finish() {
    retry();
    if (m_kept.empty()) return std::nullopt;
    DeleteLog::Unwritten left{std::move(m_kept), m_problem.value_or("")};
    m_kept.clear();
    m_problem.reset();
    return left;
}

std::string DeletionLogKeeper::withProblem(std::string banner) const {
    if (!m_problem) return banner;
    return banner + " " + DeleteLog::notWritten(*m_problem);
}

}  // namespace virirado
