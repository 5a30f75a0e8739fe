// virirado engine: the stand-in cleaning engine. Commands on stdin, events on
// stdout, one JSON object per line.
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>

#include "protocol.hpp"
#include "session.hpp"

int main(int argc, char** argv) {
    if (argc != 2 || std::string(argv[1]) != "engine") {
        std::fprintf(stderr, "usage: virirado engine\n");
        return 2;
    }
    // The app going away must end us through end of input, not a signal mid-clean.
    std::signal(SIGPIPE, SIG_IGN);
    peer::protocol::Emitter out(stdout);
    peer::Session session(out);
    std::string line;
    while (std::getline(std::cin, line))
        session.handle(line);
    session.finish();
    return 0;
}
