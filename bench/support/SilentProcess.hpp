// An engine process that starts at once and says nothing: the benchmark hands
// the engine client its events itself, through the handlers it keeps. And
// background work done in line.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "EngineProcess.hpp"

namespace virirado::bench {

class SilentProcess : public EngineProcess {
public:
    explicit SilentProcess(Handlers* out) : m_out(out) {}
    std::optional<std::string> launch(const std::string&, const std::vector<std::string>&,
                                      const Environment&, Handlers handlers) override {
        *m_out = std::move(handlers);
        return std::nullopt;
    }
    bool usable() const override { return true; }
    std::optional<std::string> write(const std::string&) override { return std::nullopt; }
    void kill() override {}

private:
    Handlers* m_out;
};

// Runs the background work at once, so a benchmark measures it with the rest.
class InlineExecutor : public Executor {
public:
    void run(std::function<void()> work, std::function<void()> done) override {
        work();
        done();
    }
};

}  // namespace virirado::bench
