#include "SnapshotDemo.hpp"

#include <algorithm>
#include <chrono>

#include "Numeric.hpp"

namespace virirado::SnapshotDemo {

namespace {

constexpr int64_t GB = 1'000'000'000;
constexpr int64_t MB100 = 100'000'000;

// Sizes are written in units of 0.1 GB as integers, so no rounding of a double can
// turn 6.2 GB into 6 199 999 999 bytes.
struct Row {
    const char* id;
    const char* category;
    std::string label;
    std::string path;
    int64_t tenthsSize;
    int64_t tenthsRealistic;
    int64_t files;
    const char* kind;
    const char* safety;
    bool ticked;
    bool deletable;
    const char* action;
};

const std::vector<Row>& table() {
    static const std::vector<Row> rows{
        {"derived", "derived", "DerivedData", "~/Library/Developer/Xcode/DerivedData", 210, 183,
         12400, "derived", "safe", true, true, "rm"},
        {"d2", "derived", "DerivedData: Lumen-hqvzrbtkwmcpxsdfjlgnaoeyuiqt",
         "~/Library/Developer/Xcode/DerivedData/Lumen", 62, 62, 8100, "derived", "safe", true, true,
         "rm"},
        {"d3", "derived", "DerivedData: Quill-zpmxkwhrtvnbcqsdlgfjoaeyuiwe",
         "~/Library/Developer/Xcode/DerivedData/Quill", 34, 34, 4020, "derived", "safe", true, true,
         "rm"},
        {"sim", "sims", "Simulator runtime iOS 26.4 (23E244, used 1 d ago, 8 simulators use it)",
         "~/Library/Developer/CoreSimulator/Volumes/iOS_23E244", 96, 96, 3180, "sim-runtime",
         "review", true, true, "rm"},
        {"sim2", "sims", "Simulator runtime iOS 18.2 (22C150, unused 140 d)",
         "~/Library/Developer/CoreSimulator/Volumes/iOS_22C150", 78, 78, 2900, "sim-runtime",
         "review", false, true, "rm"},
        {"sim3", "sims", "Simulator runtime watchOS 11.2 (22S99)",
         "~/Library/Developer/CoreSimulator/Volumes/watchOS_22S99", 31, 31, 1400, "sim-runtime",
         "review", false, true, "rm"},
        {"xip", "downloads", "Xcode_15.4.xip", "~/Downloads/Xcode_15.4.xip", 71, 71, 1, "download",
         "safe", true, true, "trash"},
        {"dmg", "downloads", "Docker.dmg", "~/Downloads/Docker.dmg", 6, 6, 1, "download", "review",
         false, true, "trash"},
        {"vm1", "vms", "Orbitty's Linux VM (vm_bundles)",
         "~/Library/Application Support/Orbitty/vm_bundles", 84, 84, 12, "vm-bundles", "review",
         false, true, "rm"},
        {"docker", "vms", "Docker.raw",
         "~/Library/Containers/com.docker.docker/Data/vms/0/data/Docker.raw", 44, 0, 1,
         "docker-raw", "info", false, false, "info"},
        {"colima", "vms", "Colima VM", "~/.colima/_lima/colima", 30, 30, 20, "vm-bundles", "review",
         false, true, "rm"},
        {"ndk", "android", "Android ndk 27.0.12077973", "~/Library/Android/sdk/ndk/27.0.12077973",
         26, 26, 22100, "android", "review", false, true, "rm"},
        {"avd", "android", "Android emulator image android-34",
         "~/Library/Android/sdk/system-images/android-34", 19, 19, 310, "android", "review", false,
         true, "rm"},
        {"nm", "devbuilds", "node_modules · harbor-web", "~/Developer/harbor-web/node_modules", 29,
         29, 41200, "devbuild", "review", false, true, "rm"},
        {"brew", "caches", "Homebrew cache", "~/Library/Caches/Homebrew", 28, 28, 912, "cache",
         "safe", true, true, "rm"},
        {"chrome", "caches", "Chrome caches", "~/Library/Caches/Google/Chrome", 20, 20, 18340,
         "cache", "safe", true, true, "rm"},
        {"npm", "caches", "npm cache", "~/.npm/_cacache", 13, 13, 30400, "cache", "safe", false,
         true, "rm"},
        {"devsupport", "devsupport", "iOS DeviceSupport 17.x",
         "~/Library/Developer/Xcode/iOS DeviceSupport", 14, 14, 3002, "devsupport", "safe", true,
         true, "rm"},
        {"bird", "system", "com.apple.bird · iCloud cache",
         "~/Library/Application Support/CloudDocs", 12, 0, 5410, "cloud-local", "safe", false, true,
         "rm"},
        {"f1", "downloads", "Big file trip-2023.mov (look only)", "~/Movies/trip-2023.mov", 100,
         100, 1, "biggest-file", "info", false, false, "info"},
        {"f2", "downloads", "Big file drone-raw.mp4", "~/Movies/drone-raw.mp4", 44, 44, 1,
         "biggest-file", "review", false, true, "trash"},
        {"f3", "downloads", "Big file ggml-large-v3.bin (look only)",
         "~/Library/Application Support/whisper/ggml-large-v3.bin", 31, 31, 1, "biggest-file",
         "info", false, false, "info"},
        {"f4", "downloads", "Big file session-master.wav", "~/Music/session-master.wav", 11, 11, 1,
         "biggest-file", "review", false, true, "trash"},
        {"f5", "downloads", "Big file poster-layers.psd", "~/Pictures/poster-layers.psd", 9, 9, 1,
         "large-old", "review", false, true, "trash"},
        {"f6", "downloads", "Big file quarterly-review.pptx", "~/Documents/quarterly-review.pptx",
         6, 6, 1, "biggest-file", "review", false, true, "trash"},
        {"f7", "downloads", "Big file lease-scan.pdf", "~/Documents/lease-scan.pdf", 4, 4, 1,
         "biggest-file", "review", false, true, "trash"},
        {"trash", "trash", "Trash", "~/.Trash", 11, 11, 64, "trash", "review", false, true, "rm"},
    };
    return rows;
}

ItemRecord toRecord(const Row& row, TimePoint now) {
    ItemRecord r;
    r.id = row.id;
    r.category = row.category;
    r.label = row.label;
    r.path = row.path;
    r.size = row.tenthsSize * MB100;
    r.realisticSize = row.tenthsRealistic * MB100;
    r.fileCount = row.files;
    r.kind = row.kind;
    r.safety = row.safety;
    r.ticked = row.ticked;
    r.modified = now - 7'776'000.0;
    r.deletable = row.deletable;
    r.action = row.action;
    return r;
}

void addNotes(std::vector<ItemRecord>& records) {
    for (ItemRecord& r : records) {
        if (r.id == "derived") {
            r.why =
                "Biggest thing on this Mac that rebuilds itself. 12.4k files untouched for "
                "90 days.";
            r.explainWhat =
                "Xcode's build scratch space: indexes, intermediate objects and old app builds "
                "for every project you have opened.";
            r.explainGone =
                "Nothing you made is lost. The next build of each project takes a few minutes "
                "longer, once.";
            r.explainBack = "Xcode recreates the folder the moment you build.";
        } else if (r.id == "bird") {
            r.blocked = "iCloud is syncing";
        }
    }
}

PreviewRow rowOf(const ItemRecord& r) {
    return PreviewRow{r.id, r.label, r.path, r.realisticSize, r.kind, r.safety, r.action};
}

}  // namespace

std::vector<ItemRecord> records(TimePoint now) {
    std::vector<ItemRecord> out;
    out.reserve(table().size());
    for (const Row& row : table())
        out.push_back(toRecord(row, now));
    addNotes(out);
    return out;
}

std::vector<ItemRecord> records() {
    using namespace std::chrono;
    return records(duration<double>(system_clock::now().time_since_epoch()).count());
}

PreviewPayload preview() {
    const auto all = records(0);
    PreviewPayload p;
    p.token = "marigold";
    for (const ItemRecord& r : all) {
        if (r.ticked && r.safety != "info") p.rows.push_back(rowOf(r));
    }
    const auto extra = std::find_if(all.begin(), all.end(), [](const ItemRecord& r) {
        return r.safety == "review" && !r.ticked;
    });
    if (extra != all.end()) p.rows.push_back(rowOf(*extra));
    for (const PreviewRow& row : p.rows) {
        p.cleanBytes = durozizo::saturatingAdd(p.cleanBytes, row.realisticSize);
    }
    return p;
}

std::vector<std::pair<std::string, durozizo::CleanProgress>> cleanStates(
    const PreviewPayload& preview, durozizo::CleanProgress::Clock::time_point now) {
    using durozizo::CleanProgress;
    std::vector<PreviewRow> rows = preview.rows;
    std::stable_sort(rows.begin(), rows.end(), [](const PreviewRow& a, const PreviewRow& b) {
        return a.realisticSize > b.realisticSize;
    });
    int64_t total = 0;
    for (const PreviewRow& row : rows)
        total = durozizo::saturatingAdd(total, row.realisticSize);
    const auto started = now - std::chrono::seconds(14);
    const auto count = static_cast<int64_t>(rows.size());

    const CleanProgress checking(count, total, false, started);

    CleanProgress progress(count, total, false, started);
    progress.startDeleting();
    const size_t half = std::max<size_t>(rows.size(), 2) / 2;
    const size_t finished = std::min(half, rows.size());
    for (size_t i = 0; i < finished; ++i) {
        progress.itemFinished(rows[i].label, rows[i].realisticSize, true, "");
    }
    if (finished < rows.size()) progress.itemStarted(rows[finished].label);

    CleanProgress result(count, total, false, started);
    std::vector<CleanProgress::Result> results;
    for (size_t i = 0; i < rows.size(); ++i) {
        const bool last = i + 1 == rows.size();
        results.push_back({rows[i].label, rows[i].realisticSize, !last, last ? "in use" : ""});
    }
    result.finish(results);

    return {{"checking", checking}, {"progress", progress}, {"result", result}};
}

std::vector<std::pair<std::string, durozizo::CleanProgress>> cleanStates(
    const PreviewPayload& preview) {
    return cleanStates(preview, durozizo::CleanProgress::Clock::now());
}

}  // namespace virirado::SnapshotDemo
