#include "DeleteLog.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "LogFolder.hpp"

namespace virirado {

namespace {

std::string formatTime(std::time_t now, bool utc, const char* format) {
    std::tm parts{};
    if ((utc ? gmtime_r(&now, &parts) : localtime_r(&now, &parts)) == nullptr) return {};
    char buffer[64];
    const size_t n = std::strftime(buffer, sizeof buffer, format, &parts);
    return std::string(buffer, n);
}

std::string resultLine(const std::string& stamp, const CleanLedger::Taken& taken,
                       const std::optional<std::string>& status) {
    const Json& record = taken.result;
    // The ledger's reading of the result, the one the banner and the sheet take.
    const bool deleted = taken.outcome == CleanLedger::Outcome::deleted;
    const std::string word = status ? *status : (deleted ? "deleted" : "failed");
    // The place the guards checked, never one the engine names: a result may
    // keep the id sent and name any file at all.
    const std::string where = taken.row.path.value_or(taken.row.label);
    std::string msg = jsonString(jsonField(record, "msg")).value_or("");
    for (char& c : msg) {
        if (c == '\n') c = ' ';
    }
    return stamp + '\t' + DeleteLog::field(word) + '\t' +
           std::to_string(jsonInt(jsonField(record, "realistic_size"))) + '\t' +
           DeleteLog::field(where) + '\t' + DeleteLog::field(msg) + '\n';
}

std::string fallbackLine(const std::string& stamp, const PreviewRow& row) {
    return stamp + "\tunknown\t" + std::to_string(row.realisticSize) + '\t' +
           DeleteLog::field(row.action) + '\t' + DeleteLog::field(row.path.value_or(row.label)) +
           '\n';
}

struct Appended {
    std::optional<std::string> problem;
    // Bytes that stayed in the file although the write failed.
    std::size_t written = 0;
};

// Appends whole lines to the day's file. A write that fails leaves the file as
// it was where it can, so no line is cut short and none is written twice when
// the lines are tried again.
Appended append(std::string_view text, const std::string& home, std::time_t now) {
    const logfolder::Opened folder = logfolder::open(home);
    if (folder.fd < 0) return {folder.problem};
    const std::string name = "deleted-" + formatTime(now, false, "%Y%m%d") + ".log";
    const logfolder::Opened file = logfolder::openFile(folder.fd, name);
    ::close(folder.fd);
    if (file.fd < 0) return {file.problem};
    struct stat before {};
    const bool sized = ::fstat(file.fd, &before) == 0;
    Appended appended;
    if (!logfolder::writeAll(file.fd, text, &appended.written)) {
        appended.problem = std::strerror(errno);
        if (appended.written > 0 && sized && ::ftruncate(file.fd, before.st_size) == 0)
            appended.written = 0;
    }
    ::close(file.fd);
    return appended;
}

}  // namespace

std::string DeleteLog::field(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string DeleteLog::notWritten(const std::string& problem) {
    return "The deletion log could not be written: " + problem + ".";
}

std::optional<DeleteLog::Unwritten> DeleteLog::write(const std::vector<CleanLedger::Taken>& results,
                                                     const std::vector<PreviewRow>& fallback,
                                                     const std::optional<std::string>& status,
                                                     std::string_view kept) {
    return write(results, fallback, status, homeFolder(), std::time(nullptr), kept);
}

std::optional<DeleteLog::Unwritten> DeleteLog::refused(
    const std::vector<std::pair<PreviewRow, std::string>>& held, std::string_view kept) {
    return refused(held, homeFolder(), std::time(nullptr), kept);
}

std::optional<DeleteLog::Unwritten> DeleteLog::write(const std::vector<CleanLedger::Taken>& results,
                                                     const std::vector<PreviewRow>& fallback,
                                                     const std::optional<std::string>& status,
                                                     const std::string& home, std::time_t now,
                                                     std::string_view kept) {
    std::string text;
    try {
        const std::string stamp = formatTime(now, true, "%Y-%m-%dT%H:%M:%SZ");
        text = kept;
        if (!results.empty()) {
            for (const auto& record : results)
                text += resultLine(stamp, record, status);
        } else {
            for (const auto& row : fallback)
                text += fallbackLine(stamp, row);
        }
    } catch (const std::bad_alloc&) {
        // The new lines cannot even be made; those kept stay kept.
        return Unwritten{std::string(kept), std::strerror(ENOMEM)};
    }
    const Appended appended = append(text, home, now);
    if (!appended.problem) return std::nullopt;
    text.erase(0, appended.written);
    return Unwritten{std::move(text), std::move(*appended.problem)};
}

std::optional<DeleteLog::Unwritten> DeleteLog::refused(
    const std::vector<std::pair<PreviewRow, std::string>>& held, const std::string& home,
    std::time_t now, std::string_view kept) {
    std::vector<CleanLedger::Taken> results;
    try {
        for (const auto& [row, reason] : held) {
            results.push_back({0,
                               row,
                               {{"deleted", false},
                                {"realistic_size", row.realisticSize},
                                {"msg", "refused by app guard: " + reason},
                                {"label", row.label}}});
        }
    } catch (const std::bad_alloc&) {
        return Unwritten{std::string(kept), std::strerror(ENOMEM)};
    }
    return write(results, {}, "refused", home, now, kept);
}

}  // namespace virirado
