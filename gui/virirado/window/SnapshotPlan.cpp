#include "SnapshotPlan.hpp"

namespace virirado {

namespace {

using Kind = SnapshotAction::Kind;

// A picture in both appearances, light first.
void pair(std::vector<SnapshotAction>& plan, Kind kind, double wait, const std::string& stem) {
    for (bool dark : {false, true}) {
        plan.push_back({Kind::appearance, 0, {}, dark});
        plan.push_back({kind, wait, stem + (dark ? "dark" : "light") + ".png"});
    }
}

}  // namespace

SnapshotWaits SnapshotWaits::of(bool quick) {
    if (quick) return {0.6, 0.2, 0.5, 0.5, 0.45, 1.5, 1.2};
    return {2.0, 0.4, 1.2, 1.0, 0.8, 1.5, 1.2};
}

std::vector<Snapshot::Step> snapshotSteps(bool quick, bool demo) {
    std::vector<Snapshot::Step> steps = demo ? Snapshot::demoSteps() : Snapshot::scanSteps();
    if (quick && steps.size() > 2) steps.erase(steps.begin() + 2, steps.end());
    return steps;
}

std::vector<SnapshotAction> snapshotPlan(const std::string& prefix, bool quick, bool demo,
                                         const std::vector<std::string>& cleanStates) {
    const SnapshotWaits w = SnapshotWaits::of(quick);
    std::vector<SnapshotAction> plan;
    plan.push_back({Kind::resize, w.before});
    const auto steps = snapshotSteps(quick, demo);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        plan.push_back({Kind::appearance, 0, {}, steps[i].dark});
        plan.push_back({Kind::setupStep, 0, {}, false, i});
        plan.push_back({Kind::selectFirst, w.afterSetup});
        plan.push_back({Kind::capture, w.beforeStep, prefix + "-" + steps[i].name + ".png"});
    }
    if (!demo) {
        plan.push_back({Kind::quit});
        return plan;
    }
    plan.push_back({Kind::openMap});
    pair(plan, Kind::capture, w.map, prefix + "-map-");
    plan.push_back({Kind::fakeScan});
    pair(plan, Kind::capture, w.scanning, prefix + "-scanning-");
    plan.push_back({Kind::hideRoot});
    pair(plan, Kind::capture, w.scanning, prefix + "-scan-hero-");
    plan.push_back({Kind::restoreRoot});
    if (quick) {
        plan.push_back({Kind::quit});
        return plan;
    }
    plan.push_back({Kind::showPreview});
    for (bool dark : {false, true}) {
        const std::string look = dark ? "dark" : "light";
        plan.push_back({Kind::appearance, 0, {}, dark});
        plan.push_back({Kind::captureSheet, w.confirm, prefix + "-confirm-" + look + ".png"});
        plan.push_back({Kind::captureWindow, 0, prefix + "-window-" + look + ".png"});
    }
    for (std::size_t i = 0; i < cleanStates.size(); ++i) {
        plan.push_back({Kind::cleanState, 0, {}, false, i});
        pair(plan, Kind::captureSheet, w.cleanState, prefix + "-" + cleanStates[i] + "-");
    }
    plan.push_back({Kind::finish});
    plan.push_back({Kind::quit});
    return plan;
}

}  // namespace virirado
