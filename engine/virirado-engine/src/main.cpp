// virirado-engine: read the command, parse its options, call the scanning library, print.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "args.hpp"
#include "commands.hpp"
#include "options.hpp"
#include "output.hpp"
#include "scan.hpp"
#include "utf8.hpp"

using namespace virirado_engine;

namespace {

[[noreturn]] void usage(const std::string& message) {
    std::fputs(message.c_str(), stderr);
    std::fputs(usage_text().c_str(), stderr);
    std::fflush(stderr);
    std::exit(2);
}

int dispatch(const std::string& command, Args args) {
    if (command == "scan") return cmd_scan(std::move(args));
    if (command == "sizes") return cmd_sizes(std::move(args));
    if (command == "rules") return cmd_rules();
    if (command == "tree") return cmd_tree(std::move(args));
    if (command == "serve") {
        if (args.contains("--full")) return cmd_serve_full(std::move(args));
        return cmd_serve(std::move(args));
    }
    throw UsageError{};
}

}  // namespace

int main(int argc, char** argv) {
    // A reader that goes away (`| head -1`) must not kill the process mid-way through a cache
    // save; writes then fail with EPIPE and are handled as failed writes.
    std::signal(SIGPIPE, SIG_IGN);
    if (argc < 2) usage("");
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        if (!bwcore::utf8::valid(argv[i])) usage("arguments must be valid UTF-8\n");
        args.emplace_back(argv[i]);
    }
    if (args[0] == "--version" || args[0] == "-V") {
        write_stdout(std::string(ENGINE_NAME) + " " + VERSION + "\n");
        return 0;
    }
    auto threads = bwcore::scan::init_threads(MAX_THREADS);
    bwcore::scan::init_allocator();
    std::string command = args[0];
    args.erase(args.begin());
    try {
        return dispatch(command, Args(std::move(args)));
    } catch (const UsageError& e) {
        usage(e.message);
    } catch (const ExitError& e) {
        std::fputs(e.message.c_str(), stderr);
        return e.status;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", ENGINE_NAME, e.what());
        return 1;
    }
}
