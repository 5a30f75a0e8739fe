#include "DeleteLog.hpp"

#include <unistd.h>

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
    const std::string word =
        status ? *status : (jsonBool(jsonField(record, "deleted"), false) ? "deleted" : "failed");
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

void DeleteLog::write(const std::vector<CleanLedger::Taken>& results,
                      const std::vector<PreviewRow>& fallback,
                      const std::optional<std::string>& status) {
    write(results, fallback, status, homeFolder(), std::time(nullptr));
}

void DeleteLog::refused(const std::vector<std::pair<PreviewRow, std::string>>& held) {
    refused(held, homeFolder(), std::time(nullptr));
}

void DeleteLog::write(const std::vector<CleanLedger::Taken>& results,
                      const std::vector<PreviewRow>& fallback,
                      const std::optional<std::string>& status, const std::string& home,
                      std::time_t now) {
    const int folder = logfolder::open(home);
    if (folder < 0) return;
    const std::string name = "deleted-" + formatTime(now, false, "%Y%m%d") + ".log";
    const std::string stamp = formatTime(now, true, "%Y-%m-%dT%H:%M:%SZ");

    std::string text;
    if (!results.empty()) {
        for (const auto& record : results)
            text += resultLine(stamp, record, status);
    } else {
        for (const auto& row : fallback)
            text += fallbackLine(stamp, row);
    }
    const int fd = logfolder::openFile(folder, name);
    ::close(folder);
    if (fd < 0) return;
    logfolder::writeAll(fd, text);
    ::close(fd);
}

void DeleteLog::refused(const std::vector<std::pair<PreviewRow, std::string>>& held,
                        const std::string& home, std::time_t now) {
    std::vector<CleanLedger::Taken> results;
    for (const auto& [row, reason] : held) {
        results.push_back({0,
                           row,
                           {{"deleted", false},
                            {"realistic_size", row.realisticSize},
                            {"msg", "refused by app guard: " + reason},
                            {"label", row.label}}});
    }
    write(results, {}, "refused", home, now);
}

}  // namespace virirado
