// A client over a fake engine with two scanned items in a temporary home, "a"
// and "b", both ticked: the ground the clean-path tests start from.
#pragma once

#include "client_fixture.hpp"

namespace virirado::testing {

struct PipelineTest : ::testing::Test {
    TempHome home;
    std::unique_ptr<ClientHarness> h;
    std::string small;  // a real 10-byte file in the scan
    std::string other;

    void SetUp() override {
        small = home.file(".cache/app/data.bin", 10);
        other = home.file(".cache/other/x.bin", 10);
        h = std::make_unique<ClientHarness>(Environment{{"VIRIRADO_ENGINE", "/e"}},
                                            std::vector<std::string>{"--no-autoscan"},
                                            home.path.string());
        h->client->start();
        h->event({{"event", "done"},
                  {"items", {item("a", small), item("b", other)}},
                  {"ticked", {"a", "b"}},
                  {"total_bytes", 1000}});
    }

    static Json item(const std::string& id, const std::string& path) {
        return {{"id", id},         {"label", "Item " + id}, {"path", path},
                {"size", 10},       {"realistic_size", 10},  {"category", "caches"},
                {"safety", "safe"}, {"action", "rm"},        {"ticked", true}};
    }
    static Json row(const std::string& id, const std::string& path, int64_t size = 10,
                    const std::string& action = "rm", const std::string& safety = "safe") {
        return {
            {"id", id},        {"label", "Item " + id}, {"path", path},    {"realistic_size", size},
            {"kind", "cache"}, {"safety", safety},      {"action", action}};
    }
    // "Clean the tank" and the engine's answer.
    void preview(const Json& rows, const std::string& token = "tok") {
        h->client->requestPreview();
        answer(rows, token);
    }
    // A preview event as the engine sends it, asked for or not.
    void answer(const Json& rows, const std::string& token = "tok") {
        h->event({{"event", "preview"},
                  {"items", rows},
                  {"confirm_token", token},
                  {"clean_bytes", 20},
                  {"blocked", {{{"id", "z"}}}}});
    }
    std::vector<std::string> sentSince(std::size_t from) const {
        std::vector<std::string> names = h->commandNames();
        return {names.begin() + static_cast<std::ptrdiff_t>(from), names.end()};
    }
    const Json& lastSent() const { return h->world->sent.back(); }
    const EngineState& state() const { return h->state(); }
};

}  // namespace virirado::testing
