#include "scanner.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "paths.hpp"

extern char** environ;

namespace peer::scanner {
namespace {

using nlohmann::json;

constexpr int64_t kBigFile = 100'000'000;

int64_t number(const json& row, const char* key) {
    auto it = row.find(key);
    if (it == row.end() || !it->is_number()) return 0;
    double v = it->get<double>();
    return v > 0 && v < 9.0e18 ? static_cast<int64_t>(v) : 0;
}

std::vector<items::Found> rows_of(const json& done, const char* key) {
    std::vector<items::Found> out;
    auto it = done.find(key);
    if (it == done.end() || !it->is_array()) return out;
    for (const auto& row : *it) {
        if (!row.is_object()) continue;
        auto path = row.find("path");
        if (path == row.end() || !path->is_string()) continue;
        items::Found f;
        f.path = path->get<std::string>();
        f.alloc = number(row, "alloc");
        f.files = number(row, "files");
        f.mtime = number(row, "mtime");
        auto name = row.find("name");
        f.name = name != row.end() && name->is_string() ? name->get<std::string>()
                                                        : paths::base_name(f.path);
        out.push_back(std::move(f));
    }
    return out;
}

std::string self_dir() {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "";
    return paths::parent_of(std::string(buf, static_cast<size_t>(n)));
}

struct Child {
    pid_t pid = -1;
    int out = -1;
};

// Starts the engine with its output on a pipe and nothing else inherited.
int spawn(const std::string& exe, const std::string& home, Child& c) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return errno;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args = {exe, "scan", "--jsonl", "--root", home};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    bool search = exe.find('/') == std::string::npos;
    int rc = search ? ::posix_spawnp(&c.pid, exe.c_str(), &fa, nullptr, argv.data(), environ)
                    : ::posix_spawn(&c.pid, exe.c_str(), &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        return rc;
    }
    c.out = fds[0];
    return 0;
}

// Handles one line of the engine's output; true once the final record came.
bool take_line(const std::string& line, Run& r, const std::function<void()>& on_progress) {
    json o = json::parse(line, nullptr, false);
    if (!o.is_object()) return false;
    auto type = o.find("type");
    if (type == o.end() || !type->is_string()) return false;
    if (*type == "progress") {
        on_progress();
    } else if (*type == "done") {
        r.output = read_done(o);
        return true;
    } else if (*type == "error") {
        auto e = o.find("error");
        if (e != o.end() && e->is_string()) r.error = e->get<std::string>();
    }
    return false;
}

void read_child(const Child& c, Run& r, const std::function<bool()>& cancelled,
                const std::function<void()>& on_progress, bool& got_done) {
    std::string buf;
    char chunk[65536];
    while (true) {
        if (cancelled()) {
            ::kill(c.pid, SIGTERM);
            r.cancelled = true;
            return;
        }
        pollfd p{c.out, POLLIN, 0};
        int n = ::poll(&p, 1, 100);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) continue;
        ssize_t got = ::read(c.out, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return;
        buf.append(chunk, static_cast<size_t>(got));
        size_t start = 0, nl;
        while ((nl = buf.find('\n', start)) != std::string::npos) {
            got_done = take_line(buf.substr(start, nl - start), r, on_progress) || got_done;
            start = nl + 1;
        }
        buf.erase(0, start);
    }
}

}  // namespace

std::string locate() {
    if (const char* env = std::getenv("VIRIRADO_SCANNER"); env && *env) return env;
    std::string dir = self_dir();
    if (!dir.empty()) {
        std::string near = paths::parent_of(paths::parent_of(dir)) + "/bin/virirado-engine";
        if (::access(near.c_str(), X_OK) == 0) return near;
    }
    return "virirado-engine";
}

Output read_done(const json& done) {
    Output out;
    out.devbuilds = rows_of(done, "devbuilds");
    for (auto& f : rows_of(done, "top_files"))
        if (f.alloc >= kBigFile) out.big_files.push_back(std::move(f));
    std::stable_sort(out.big_files.begin(), out.big_files.end(),
                     [](const auto& a, const auto& b) { return a.alloc > b.alloc; });
    return out;
}

Run run(const std::string& exe, const std::string& home, const std::function<bool()>& cancelled,
        const std::function<void()>& on_progress) {
    Run r;
    Child c;
    if (int e = spawn(exe, home, c); e != 0) {
        r.error = e == ENOENT || e == EACCES ? "virirado-engine not found"
                                             : std::string("virirado-engine: ") + std::strerror(e);
        return r;
    }
    bool got_done = false;
    read_child(c, r, cancelled, on_progress, got_done);
    ::close(c.out);
    int status = 0;
    while (::waitpid(c.pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (r.cancelled) return r;
    bool exited_ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    r.ok = got_done && exited_ok;
    if (!r.ok && r.error.empty()) {
        // posix_spawnp reports a missing program through the child's exit status 127.
        bool missing = WIFEXITED(status) && WEXITSTATUS(status) == 127;
        r.error = missing ? "virirado-engine not found" : "virirado-engine failed";
    }
    return r;
}

}  // namespace peer::scanner
