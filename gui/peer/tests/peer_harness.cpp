#include "peer_harness.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <chrono>
#include <fstream>
#include <random>

namespace peer_test {

TempHome::TempHome() {
    std::random_device rd;
    root = fs::temp_directory_path() /
           ("peer-test-" + std::to_string(rd()) + std::to_string(::getpid()));
    home = root / "home";
    fs::create_directories(home);
}

TempHome::~TempHome() {
    std::error_code ec;
    fs::remove_all(root, ec);
}

void write_file(const fs::path& p, size_t bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary);
    std::string chunk(4096, 'x');
    for (size_t done = 0; done < bytes; done += chunk.size())
        out.write(chunk.data(), static_cast<std::streamsize>(std::min(chunk.size(), bytes - done)));
}

void allocate_file(const fs::path& p, size_t bytes) {
    fs::create_directories(p.parent_path());
    int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << p;
    int rc = ::posix_fallocate(fd, 0, static_cast<off_t>(bytes));
    ::close(fd);
    ASSERT_EQ(rc, 0) << "posix_fallocate " << p;
}

int64_t allocated(const fs::path& p) {
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_blocks) * 512;
}

Peer::Peer(const TempHome& h, std::map<std::string, std::string> env) {
    std::map<std::string, std::string> e = {
        {"HOME", h.home.string()},
        {"XDG_CACHE_HOME", h.cache().string()},
        {"XDG_DATA_HOME", (h.home / ".local/share").string()},
        {"VIRIRADO_SCANNER", (h.root / "no-such-scanner").string()},
        {"VIRIRADO_ENGINE", "rust"},
        {"PATH", "/usr/bin:/bin"},
        {"TZ", "UTC"}};
    for (auto& [k, v] : env)
        e[k] = v;
    std::vector<std::string> envs;
    for (auto& [k, v] : e)
        envs.push_back(k + "=" + v);
    std::vector<char*> envp;
    for (auto& s : envs)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    std::string bin = PEER_BIN, arg = "engine";
    char* argv[] = {bin.data(), arg.data(), nullptr};
    int rc = ::posix_spawn(&m_pid, bin.c_str(), &fa, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&fa);
    ::close(in[0]);
    ::close(out[1]);
    if (rc != 0) throw std::runtime_error("spawn");
    m_in = in[1];
    m_out = out[0];
    ::signal(SIGPIPE, SIG_IGN);
}

Peer::~Peer() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    if (m_in >= 0) ::close(m_in);
    if (m_out >= 0) ::close(m_out);
}

void Peer::send_line(const std::string& line) {
    std::string s = line + "\n";
    ASSERT_EQ(::write(m_in, s.data(), s.size()), static_cast<ssize_t>(s.size()));
}

void Peer::send(json cmd) {
    cmd["v"] = 1;
    cmd["id"] = "gui-" + std::to_string(m_next_id++);
    send_line(cmd.dump());
}

json Peer::next(int timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (true) {
        size_t nl = m_buf.find('\n');
        if (nl != std::string::npos) {
            std::string line = m_buf.substr(0, nl);
            m_buf.erase(0, nl + 1);
            json j = json::parse(line, nullptr, false);
            EXPECT_TRUE(j.is_object()) << line;
            return j;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return json();
        pollfd p{m_out, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char chunk[65536];
        ssize_t n = ::read(m_out, chunk, sizeof chunk);
        if (n <= 0) return json();
        m_buf.append(chunk, static_cast<size_t>(n));
    }
}

std::vector<json> Peer::until(const std::string& event, int timeout_ms) {
    std::vector<json> seen;
    while (true) {
        json e = next(timeout_ms);
        if (e.is_null()) {
            ADD_FAILURE() << "no \"" << event
                          << "\" event; last: " << (seen.empty() ? "none" : seen.back().dump());
            seen.push_back(json::object());
            return seen;
        }
        seen.push_back(e);
        if (e.value("event", "") == event) return seen;
    }
}

int Peer::close_and_wait() {
    ::close(m_in);
    m_in = -1;
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

json Peer::scan(bool include_private) {
    send({{"cmd", "scan"}, {"include_private", include_private}});
    return wait_for("done");
}

json item_in(const json& done, const std::string& id) {
    for (const auto& it : done.value("items", json::array()))
        if (it.value("id", "") == id) return it;
    return json();
}

peer::items::Item item_at(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
    peer::items::Item it;
    it.path = p.string();
    it.dev = st.st_dev;
    it.ino = st.st_ino;
    return it;
}

}  // namespace peer_test
