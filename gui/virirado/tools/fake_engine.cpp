// A cleaning engine that plays a script: what it says and when, which command it
// waits for, when it stops or dies. Tests aim it at the window to see what the
// window makes of hostile or broken engines. Every line it receives is appended
// to the file named by VIRIRADO_FAKE_LOG, so a test can tell what was sent.
//
//   virirado-fake-engine [SCRIPT]
//
// The script is the file named by VIRIRADO_FAKE_SCRIPT, else the first argument
// (the app starts its engine with the argument "engine").
// Script lines (the first word is the verb, the rest its argument):
//   say LINE          write LINE and a line feed
//   raw TEXT          write TEXT without a line feed
//   flood N LINE      write LINE N times, "{i}" replaced by 0..N-1
//   items N           N item events, ids "i0".."i<N-1>", sizes growing with i
//   pad N LINE        write LINE (an object) with N spaces after its opening brace
//   on CMD            wait until a command {"cmd":CMD} arrives (or input ends)
//   sleep MS          wait MS milliseconds, reading input meanwhile
//   remove PATH       remove PATH (a file, or a folder and all it holds), as a
//                     real clean would, so the space it took is free
//   stall MS          wait MS milliseconds reading nothing, whether or not
//                     input ends: an engine that stopped listening
//   ignore-term       ignore SIGTERM from here on (helpers started later too)
//   spawn-child       start a helper process that holds the engine's output
//                     open and sleeps for a minute; its id is added to the
//                     pid file's lines
//   exit STATUS       end with that status
//   die               end by SIGKILL, as a crashed engine does
// Blank lines and lines starting with "#" are skipped. At the end of the script
// the program waits for its input to end. VIRIRADO_FAKE_PIDFILE names a file it
// writes its process id to, so a test can tell whether it still runs.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

struct Input {
    std::string pending;
    std::deque<std::string> lines;
    bool ended = false;
    std::ofstream log;

    // Reads what has arrived within `ms` milliseconds (-1: wait for something).
    void pump(int ms) {
        pollfd fd{STDIN_FILENO, POLLIN, 0};
        if (ended || ::poll(&fd, 1, ms) <= 0) return;
        char buffer[65536];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            ended = true;
            return;
        }
        pending.append(buffer, static_cast<std::size_t>(n));
        std::size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (log) log << line << '\n' << std::flush;
            lines.push_back(std::move(line));
        }
    }
    bool take(const std::string& cmd) {
        const std::string needle = "\"cmd\":\"" + cmd + "\"";
        for (auto it = lines.begin(); it != lines.end(); ++it) {
            if (it->find(needle) != std::string::npos) {
                lines.erase(lines.begin(), it + 1);
                return true;
            }
        }
        lines.clear();
        return false;
    }
};

void write(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

std::string replaced(std::string line, long long i) {
    const std::string value = std::to_string(i);
    for (std::size_t at; (at = line.find("{i}")) != std::string::npos;)
        line.replace(at, 3, value);
    return line;
}

std::string item(long long i) {
    const std::string n = std::to_string(i);
    return "{\"event\":\"item\",\"item\":{\"id\":\"i" + n + "\",\"label\":\"Item " + n +
           "\",\"category\":\"" + (i % 3 == 0 ? "caches" : (i % 3 == 1 ? "logs" : "derived")) +
           "\",\"path\":\"/tmp/fake/i" + n + "\",\"size\":" + std::to_string(1000 + i * 997) +
           ",\"safety\":\"" + (i % 4 == 0 ? "review" : "safe") +
           "\",\"action\":\"rm\",\"kind\":\"cache\"}}\n";
}

// A helper that outlives nothing on purpose: it keeps standard output open
// (so the engine's pipe stays open after the engine) and goes by itself after
// a minute, so a failed test leaves nothing for long.
void spawnChild() {
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(STDIN_FILENO);
        for (int i = 0; i < 600; ++i)
            ::usleep(100'000);
        ::_exit(0);
    }
    if (child < 0) return;
    if (const char* pidFile = std::getenv("VIRIRADO_FAKE_PIDFILE")) {
        std::ofstream(pidFile, std::ios::app) << child << '\n';
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);
    const char* named = std::getenv("VIRIRADO_FAKE_SCRIPT");
    const char* path = named != nullptr ? named : (argc == 2 ? argv[1] : nullptr);
    if (path == nullptr) {
        std::fputs("usage: virirado-fake-engine SCRIPT (or VIRIRADO_FAKE_SCRIPT)\n", stderr);
        return 2;
    }
    std::ifstream script(path);
    if (!script) {
        std::fprintf(stderr, "cannot read %s\n", path);
        return 2;
    }
    Input input;
    if (const char* log = std::getenv("VIRIRADO_FAKE_LOG")) input.log.open(log, std::ios::app);
    if (const char* pidFile = std::getenv("VIRIRADO_FAKE_PIDFILE")) {
        std::ofstream(pidFile) << ::getpid() << '\n';
    }

    std::string line;
    while (std::getline(script, line)) {
        if (line.empty() || line[0] == '#') continue;
        const std::size_t space = line.find(' ');
        const std::string verb = line.substr(0, space);
        const std::string arg = space == std::string::npos ? "" : line.substr(space + 1);
        input.pump(0);
        if (verb == "say") {
            write(arg + "\n");
        } else if (verb == "raw") {
            write(arg);
        } else if (verb == "flood" || verb == "items") {
            const std::size_t gap = arg.find(' ');
            const long long count = std::atoll(arg.substr(0, gap).c_str());
            const std::string text = gap == std::string::npos ? "" : arg.substr(gap + 1);
            for (long long i = 0; i < count; ++i) {
                write(verb == "items" ? item(i) : replaced(text, i) + "\n");
                if (i % 256 == 0) input.pump(0);
            }
        } else if (verb == "pad") {
            const std::size_t gap = arg.find(' ');
            const std::size_t bytes = std::strtoull(arg.substr(0, gap).c_str(), nullptr, 10);
            const std::string text = gap == std::string::npos ? "{}" : arg.substr(gap + 1);
            write("{" + std::string(bytes, ' ') + text.substr(1) + "\n");
        } else if (verb == "on") {
            while (!input.take(arg) && !input.ended)
                input.pump(-1);
        } else if (verb == "sleep") {
            const auto until = Clock::now() + std::chrono::milliseconds(std::atoll(arg.c_str()));
            while (Clock::now() < until) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
                input.pump(static_cast<int>(std::max<long long>(left.count(), 0)));
                if (input.ended) break;
            }
        } else if (verb == "stall") {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atoll(arg.c_str())));
        } else if (verb == "remove") {
            std::error_code ec;
            std::filesystem::remove_all(arg, ec);
        } else if (verb == "ignore-term") {
            ::signal(SIGTERM, SIG_IGN);
        } else if (verb == "spawn-child") {
            spawnChild();
        } else if (verb == "exit") {
            return std::atoi(arg.c_str());
        } else if (verb == "die") {
            ::raise(SIGKILL);
        }
    }
    while (!input.ended)
        input.pump(-1);
    return 0;
}
