#pragma once
// Runs the built engine as a child process and collects what it wrote and how it ended.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace virirado_engine::testing {

struct Outcome {
    int status = -1;  // exit status, or 128 + signal
    std::string out;
    std::string err;

    std::vector<std::string> lines() const {
        std::vector<std::string> v;
        std::istringstream in(out);
        for (std::string l; std::getline(in, l);) v.push_back(l);
        return v;
    }
    nlohmann::json json() const { return nlohmann::json::parse(out); }
};

// `env` entries replace or add variables; a value of "\x01unset" removes one.
inline Outcome run_engine(const std::vector<std::string>& args,
                      const std::map<std::string, std::string>& env = {},
                      const std::string& input = {}) {
    int in[2], out[2], err[2];
    if (pipe(in) || pipe(out) || pipe(err)) return {};
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
        for (const auto& [k, v] : env) {
            if (v == "\x01unset")
                unsetenv(k.c_str());
            else
                setenv(k.c_str(), v.c_str(), 1);
        }
        std::vector<char*> argv;
        std::string bin = VIRIRADO_ENGINE_BIN;
        argv.push_back(bin.data());
        std::vector<std::string> copy = args;
        for (auto& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(bin.c_str(), argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    if (!input.empty()) (void)!write(in[1], input.data(), input.size());
    close(in[1]);
    Outcome r;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open_fds = 2;
    char buf[65536];
    while (open_fds > 0) {
        if (poll(fds, 2, -1) < 0) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_fds;
            } else {
                (i == 0 ? r.out : r.err).append(buf, static_cast<std::size_t>(n));
            }
        }
    }
    int ws = 0;
    waitpid(pid, &ws, 0);
    r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);
    return r;
}

// A temporary folder removed with everything in it when the test ends.
class TempDir {
public:
    TempDir() {
        std::random_device rd;
        m_path = std::filesystem::temp_directory_path() /
                 ("virirado-cli-" + std::to_string(getpid()) + "-" + std::to_string(rd()));
        std::filesystem::create_directories(m_path);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string path() const { return m_path.string(); }
    std::string sub(const std::string& rel) const { return (m_path / rel).string(); }
    std::string dir(const std::string& rel) const {
        std::filesystem::create_directories(m_path / rel);
        return sub(rel);
    }
    std::string file(const std::string& rel, std::size_t size, char fill = 'x') const {
        std::filesystem::create_directories((m_path / rel).parent_path());
        std::ofstream(m_path / rel, std::ios::binary) << std::string(size, fill);
        return sub(rel);
    }
    // `levels` nested folders "n" below `rel`, each made inside the open one before it, so the
    // chain may go deeper than a path can hold. Returns the top folder's path.
    std::string chain(const std::string& rel, int levels) const {
        int fd = open(dir(rel).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        for (int i = 0; i < levels && fd >= 0; ++i) {
            int next = mkdirat(fd, "n", 0755) == 0
                           ? openat(fd, "n", O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                           : -1;
            close(fd);
            fd = next;
        }
        if (fd >= 0) close(fd);
        return sub(rel);
    }

private:
    std::filesystem::path m_path;
};

}  // namespace virirado_engine::testing
