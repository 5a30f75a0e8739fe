// The two seams between the engine client and the platform: a child process that
// takes lines and hands back bytes, and a way to run work off the main thread.
// Both deliver every callback on the main thread.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "EngineLocator.hpp"

namespace virirado {

class EngineProcess {
public:
    struct Handlers {
        std::function<void(std::string_view bytes)> output;
        std::function<void(const std::string& bytes)> error;
        // The child has ended with this status (the signal number after a crash).
        std::function<void(int status)> ended;
        // A write that `write` had accepted could not be delivered after all (the
        // child closed its input): the description of the failure.
        std::function<void(const std::string& description)> writeFailed;
    };

    virtual ~EngineProcess() = default;

    // Starts the child. Returns a description of the failure, or none.
    virtual std::optional<std::string> launch(const std::string& executable,
                                              const std::vector<std::string>& arguments,
                                              const Environment& environment,
                                              Handlers handlers) = 0;
    // The child was started, has not ended, and its input is open.
    virtual bool usable() const = 0;
    // Writes all of `bytes` to the child's input. Returns a description of the
    // failure, or none.
    virtual std::optional<std::string> write(const std::string& bytes) = 0;
    // Ends the child at once, without letting it finish what it is doing.
    virtual void kill() = 0;
};

class Executor {
public:
    virtual ~Executor() = default;
    // Runs `work` in the background, then `done` on the main thread.
    virtual void run(std::function<void()> work, std::function<void()> done) = 0;
};

}  // namespace virirado
