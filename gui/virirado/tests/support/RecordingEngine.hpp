// A stand-in for the engine client behind the window's facade: it keeps a
// published state the test sets, applies ticks the way the client does, and
// records every operation the window asks of it, in order.
#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "EngineFacade.hpp"
#include "Tree.hpp"

namespace virirado::testing {

class RecordingEngine : public EngineFacade {
public:
    EngineState value;
    std::vector<ItemRecord> items;
    std::set<std::string> tickedIds;
    // "scan", "tick a,b", "untick a", "preview", "quick a", "cancel", "confirm",
    // "dismiss", "banner", "private 0", "start".
    std::vector<std::string> calls;
    std::function<void()> onChanged;

    const EngineState& state() const override { return value; }
    const std::vector<ItemRecord>& records() const override { return items; }
    const std::set<std::string>& ticked() const override { return tickedIds; }

    // A finished result: these records, the ticked ones as they say, this volume.
    void load(std::vector<ItemRecord> records, int64_t free, int64_t total) {
        items = std::move(records);
        tickedIds.clear();
        for (const ItemRecord& r : items) {
            if (r.ticked) tickedIds.insert(r.id);
        }
        value.freeBytes = free;
        value.totalBytes = total;
        value.hasScanned = true;
        rebuild();
        ++value.scanGeneration;
        announce();
    }
    void rebuild() {
        ++value.rootRevision;
        if (items.empty() && value.totalBytes <= 0) {
            value.root.reset();
        } else {
            value.root =
                makeTree(items, tickedIds, value.freeBytes, value.totalBytes, value.volumeName);
        }
    }
    void announce() {
        if (onChanged) onChanged();
    }

    void start() override { calls.push_back("start"); }
    void scan() override { calls.push_back("scan"); }
    void cancel() override { calls.push_back("cancel"); }
    void tick(const std::vector<std::string>& ids) override {
        calls.push_back("tick " + joined(ids));
        if (value.scanning || ids.empty()) return;
        tickedIds.insert(ids.begin(), ids.end());
        rebuild();
        announce();
    }
    void untick(const std::vector<std::string>& ids) override {
        calls.push_back("untick " + joined(ids));
        if (value.scanning || ids.empty()) return;
        for (const std::string& id : ids)
            tickedIds.erase(id);
        rebuild();
        announce();
    }
    void requestPreview() override { calls.push_back("preview"); }
    void requestQuickDelete(const std::string& id) override { calls.push_back("quick " + id); }
    void confirmClean() override { calls.push_back("confirm"); }
    void dismissPreview() override { calls.push_back("dismiss"); }
    void endEngineNow() override { calls.push_back("end engine"); }
    void setBanner(std::optional<std::string> text) override {
        calls.push_back("banner");
        value.banner = std::move(text);
        announce();
    }
    void setIncludePrivate(bool v) override {
        calls.push_back(std::string("private ") + (v ? "1" : "0"));
        value.includePrivate = v;
        announce();
    }
    void editForSnapshot(const std::function<void(EngineState&)>& edit) override {
        edit(value);
        ++value.rootRevision;
        announce();
    }

    static std::string joined(const std::vector<std::string>& ids) {
        std::string out;
        for (const std::string& id : ids)
            out += (out.empty() ? "" : ",") + id;
        return out;
    }
};

}  // namespace virirado::testing
