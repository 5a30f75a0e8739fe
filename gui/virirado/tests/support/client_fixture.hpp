// A stand-in child process and a hand-cranked executor for driving EngineClient
// line by line, without a real engine.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "EngineClient.hpp"

namespace virirado::testing {

// What every fake child of one client shares, so a test sees every launch.
struct FakeWorld {
    int launches = 0;
    int kills = 0;
    bool running = false;
    std::optional<std::string> launchFailure;
    std::optional<std::string> writeFailure;
    std::string executable;
    std::vector<std::string> arguments;
    Environment environment;
    EngineProcess::Handlers handlers;
    std::vector<Json> sent;
};

class FakeProcess : public EngineProcess {
public:
    explicit FakeProcess(std::shared_ptr<FakeWorld> world) : m_world(std::move(world)) {}

    std::optional<std::string> launch(const std::string& executable,
                                      const std::vector<std::string>& arguments,
                                      const Environment& environment, Handlers handlers) override {
        if (m_world->launchFailure) return m_world->launchFailure;
        ++m_world->launches;
        m_world->executable = executable;
        m_world->arguments = arguments;
        m_world->environment = environment;
        m_world->handlers = std::move(handlers);
        m_world->running = true;
        return std::nullopt;
    }
    bool usable() const override { return m_world->running; }
    std::optional<std::string> write(const std::string& bytes) override {
        if (m_world->writeFailure) return m_world->writeFailure;
        EXPECT_TRUE(bytes.ends_with('\n'));
        EXPECT_EQ(bytes.find('\n'), bytes.size() - 1);
        m_world->sent.push_back(Json::parse(bytes));
        return std::nullopt;
    }
    void kill() override {
        ++m_world->kills;
        m_world->running = false;
    }

private:
    std::shared_ptr<FakeWorld> m_world;
};

// Runs background work at once, or holds it until `drain` when `hold` is set.
class FakeExecutor : public Executor {
public:
    bool hold = false;
    void run(std::function<void()> work, std::function<void()> done) override {
        m_queue.emplace_back(std::move(work), std::move(done));
        if (!hold) drain();
    }
    // Runs what waits, in the order it came or, with `lastFirst`, the reverse.
    void drain(bool lastFirst = false) {
        while (!m_queue.empty()) {
            auto [work, done] = std::move(lastFirst ? m_queue.back() : m_queue.front());
            if (lastFirst) {
                m_queue.pop_back();
            } else {
                m_queue.pop_front();
            }
            work();
            done();
        }
    }
    std::size_t waiting() const { return m_queue.size(); }

private:
    std::deque<std::pair<std::function<void()>, std::function<void()>>> m_queue;
};

// A temporary home folder, removed at the end of the test.
struct TempHome {
    std::filesystem::path path;
    TempHome() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vclient-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~TempHome() { std::filesystem::remove_all(path); }
    std::string file(const std::string& name, std::size_t bytes) const {
        const auto p = path / name;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p) << std::string(bytes, 'x');
        return p.string();
    }
};

struct ClientHarness {
    std::shared_ptr<FakeWorld> world = std::make_shared<FakeWorld>();
    FakeExecutor executor;
    std::vector<std::pair<std::string, std::string>> logged;
    // The results each deletion-log call was given, and the rows sent they are for.
    std::vector<std::vector<Json>> deleteLogs;
    std::vector<std::vector<PreviewRow>> deleteRows;
    // How the ledger read each of those results.
    std::vector<std::vector<CleanLedger::Outcome>> deleteOutcomes;
    // The rows each deletion-log call was given to fall back on.
    std::vector<std::vector<PreviewRow>> deleteFallbacks;
    std::vector<std::vector<HeldRow>> refusedLogs;
    // Every log write in the order made: a traffic line as its prefix, a space
    // and its text; a deletion-log or refusal call as "deletion log".
    std::vector<std::string> trail;
    // When set, every deletion-log write fails with this problem, and what it
    // was handed stays unwritten: the lines kept and a line "row" per row.
    std::optional<std::string> deletionLogFails;
    // The kept lines each deletion-log write was handed.
    std::vector<std::string> keptLines;
    std::optional<bool> storedIncludePrivate;
    std::optional<int64_t> free = 1234;
    int changes = 0;
    std::unique_ptr<EngineClient> client;

    Environment env;
    std::vector<std::string> args;
    std::string home;

    std::size_t maxLine = ClientServices{}.maxLineBytes;

    explicit ClientHarness(Environment e = {}, std::vector<std::string> a = {"--no-autoscan"},
                           std::string h = "/nonexistent-home", std::size_t line = 0)
        : env(std::move(e)), args(std::move(a)), home(std::move(h)) {
        if (line != 0) maxLine = line;
        makeClient();
    }

    // A new client over the same fake world, reading the stored settings anew.
    void makeClient() {
        ClientServices s;
        s.makeProcess = [w = world] { return std::make_unique<FakeProcess>(w); };
        s.executor = &executor;
        s.launch.arguments = args;
        s.launch.environment = env;
        s.home = home;
        s.maxLineBytes = maxLine;
        s.log = [this](std::string_view p, std::string_view t) {
            logged.emplace_back(p, t);
            trail.push_back(std::string(p) + " " + std::string(t));
        };
        s.writeDeleteLog = [this](const std::vector<CleanLedger::Taken>& taken,
                                  const std::vector<PreviewRow>& f, std::string_view kept) {
            deleteLogs.emplace_back();
            deleteRows.emplace_back();
            deleteOutcomes.emplace_back();
            for (const CleanLedger::Taken& t : taken) {
                deleteLogs.back().push_back(t.result);
                deleteRows.back().push_back(t.row);
                deleteOutcomes.back().push_back(t.outcome);
            }
            deleteFallbacks.push_back(f);
            trail.emplace_back("deletion log");
            return deletionLogOutcome(kept, taken.empty() ? f.size() : taken.size());
        };
        s.writeRefusedLog = [this](const std::vector<HeldRow>& h, std::string_view kept) {
            refusedLogs.push_back(h);
            trail.emplace_back("deletion log");
            return deletionLogOutcome(kept, h.size());
        };
        s.freeSpace = [this] { return free; };
        s.loadIncludePrivate = [this] { return storedIncludePrivate; };
        s.storeIncludePrivate = [this](bool v) { storedIncludePrivate = v; };
        client = std::make_unique<EngineClient>(std::move(s));
        client->setOnChanged([this] { ++changes; });
    }

    std::optional<DeleteLog::Unwritten> deletionLogOutcome(std::string_view kept,
                                                           std::size_t rows) {
        keptLines.emplace_back(kept);
        if (!deletionLogFails) return std::nullopt;
        std::string lines(kept);
        for (std::size_t i = 0; i < rows; ++i)
            lines += "row\n";
        return DeleteLog::Unwritten{lines, *deletionLogFails};
    }

    const EngineState& state() const { return client->state(); }
    // Feeds one event line (a line feed is added).
    void event(const Json& e) { world->handlers.output(e.dump() + "\n"); }
    void raw(const std::string& bytes) { world->handlers.output(bytes); }
    void end(int status) {
        world->running = false;
        world->handlers.ended(status);
    }
    std::vector<std::string> commandNames() const {
        std::vector<std::string> out;
        for (const Json& c : world->sent)
            out.push_back(c["cmd"].get<std::string>());
        return out;
    }
    std::vector<std::string> handledLines() const {
        std::vector<std::string> out;
        for (const auto& [prefix, text] : logged) {
            if (prefix == "<<") out.push_back(text);
        }
        return out;
    }
};

}  // namespace virirado::testing
