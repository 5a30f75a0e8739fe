#include "EngineLog.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include "LogFolder.hpp"
#include "Model.hpp"

namespace virirado {

namespace {

int prepare(const std::string& home) {
    const int folder = logfolder::open(home);
    if (folder < 0) return -1;
    const int fd = logfolder::openFile(folder, "gui-engine.log");
    ::close(folder);
    if (fd < 0) return -1;
    // An older log may have been left readable by others.
    if (::fchmod(fd, 0600) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

EngineLog& EngineLog::shared() {
    static EngineLog log(homeFolder());
    return log;
}

EngineLog::EngineLog(std::string home) : m_home(std::move(home)) {}

EngineLog::~EngineLog() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    if (m_writer.joinable()) m_writer.join();
    if (m_fd >= 0) ::close(m_fd);
}

void EngineLog::append(std::string_view prefix, std::string_view text) {
    std::string_view rest = text;
    if (rest.ends_with('\n')) rest.remove_suffix(1);
    if (rest.empty()) return;

    std::string out;
    out.reserve(rest.size() + 16);
    while (true) {
        const auto end = rest.find('\n');
        out.append(prefix).append(" ").append(rest.substr(0, end)).append("\n");
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    {
        std::lock_guard lock(m_mutex);
        if (m_off) return;
        m_pending.push_back(std::move(out));
        // The writer starts with the first line, so a log nobody writes to costs
        // neither a thread nor a file.
        if (!m_writer.joinable()) m_writer = std::thread([this] { run(); });
    }
    m_wake.notify_one();
}

void EngineLog::run() {
    const int fd = prepare(m_home);
    std::unique_lock lock(m_mutex);
    m_fd = fd;
    if (m_fd < 0) {
        m_off = true;
        m_pending.clear();
        return;
    }
    while (true) {
        m_wake.wait(lock, [this] { return m_stopping || !m_pending.empty(); });
        if (m_pending.empty()) return;  // stopping, and everything is written
        std::string next = std::move(m_pending.front());
        m_pending.pop_front();
        lock.unlock();
        logfolder::writeAll(m_fd, next);  // a failed write is dropped
        lock.lock();
    }
}

}  // namespace virirado
