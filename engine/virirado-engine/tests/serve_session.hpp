#pragma once
// Drives a request loop of the built engine line by line: requests go in while replies are read,
// so a test can change the disk between two requests and a long script never fills a pipe.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "run_engine.hpp"

namespace virirado_engine::testing {

class Session {
public:
    // `input_file`, when given, is the child's standard input instead of a pipe.
    Session(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
            const std::string& input_file = {}) {
        int in[2] = {-1, -1}, out[2], err[2];
        if ((input_file.empty() && pipe(in)) || pipe(out) || pipe(err)) return;
        m_pid = fork();
        if (m_pid == 0) {
            int fd = input_file.empty() ? in[0] : open(input_file.c_str(), O_RDONLY);
            dup2(fd, 0);
            dup2(out[1], 1);
            dup2(err[1], 2);
            for (const auto& [k, v] : env)
                setenv(k.c_str(), v.c_str(), 1);
            std::vector<std::string> copy = args;
            copy.insert(copy.begin(), VIRIRADO_ENGINE_BIN);
            std::vector<char*> argv;
            for (auto& a : copy)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        if (input_file.empty()) close(in[0]);
        close(out[1]);
        close(err[1]);
        m_in = in[1];
        m_out = out[0];
        m_err = err[0];
    }
    ~Session() {
        if (m_pid > 0) finish();
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool send(const std::string& text) {
        return m_in >= 0 &&
               write(m_in, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }

    // The next line of standard output without its "\n"; none at the end or after the timeout.
    std::optional<std::string> line(int timeout_ms = 20000) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            auto nl = m_buf.find('\n');
            if (nl != std::string::npos) {
                std::string l = m_buf.substr(0, nl);
                m_buf.erase(0, nl + 1);
                return l;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (m_out < 0 || left.count() <= 0) return std::nullopt;
            pollfd p{m_out, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            char buf[65536];
            ssize_t n = read(m_out, buf, sizeof buf);
            if (n <= 0) {
                close(m_out);
                m_out = -1;
            } else {
                m_buf.append(buf, static_cast<std::size_t>(n));
            }
        }
    }

    // Closes standard input, reads everything left and waits for the exit. `out` holds the
    // lines not yet taken with line().
    Outcome finish() {
        Outcome r;
        if (m_in >= 0) close(m_in);
        m_in = -1;
        pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
        int open_fds = (m_out >= 0) + (m_err >= 0);
        char buf[65536];
        while (open_fds > 0 && poll(fds, 2, -1) >= 0) {
            for (auto& f : fds) {
                if (f.fd < 0 || !(f.revents & (POLLIN | POLLHUP))) continue;
                ssize_t n = read(f.fd, buf, sizeof buf);
                if (n > 0) {
                    (f.fd == m_out ? m_buf : r.err).append(buf, static_cast<std::size_t>(n));
                    continue;
                }
                close(f.fd);
                f.fd = -1;
                --open_fds;
            }
        }
        int ws = 0;
        waitpid(m_pid, &ws, 0);
        m_pid = -1;
        r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);
        r.out = std::move(m_buf);
        return r;
    }

private:
    pid_t m_pid = -1;
    int m_in = -1, m_out = -1, m_err = -1;
    std::string m_buf;
};

// The JSON lines of an output, skipping the scan's own "first" and "progress" lines.
inline std::vector<nlohmann::json> replies(const std::string& out) {
    std::vector<nlohmann::json> v;
    std::size_t pos = 0;
    while (pos < out.size()) {
        auto nl = out.find('\n', pos);
        if (nl == std::string::npos) nl = out.size();
        auto j = nlohmann::json::parse(out.substr(pos, nl - pos));
        pos = nl + 1;
        if (j.is_object() && (j.value("type", "") == "first" || j.value("type", "") == "progress"))
            continue;
        v.push_back(std::move(j));
    }
    return v;
}

}  // namespace virirado_engine::testing
