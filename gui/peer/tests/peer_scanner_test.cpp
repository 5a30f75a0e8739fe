// The bridge to the scanning engine: a scripted stand-in for it where the test
// needs a fixed answer or a slow one, and the real one when it was built.
#include <sys/stat.h>

#include <gtest/gtest.h>
#include <chrono>
#include <fstream>

#include "peer_harness.hpp"
#include "scanner.hpp"

namespace peer_test {
namespace {

using namespace std::chrono_literals;

fs::path write_script(const fs::path& p, const std::string& body) {
    std::ofstream(p) << "#!/bin/sh\n" << body;
    fs::permissions(p, fs::perms::owner_all);
    return p;
}

TEST(PeerScanner, CancelStopsTheScanWithoutDone) {
    TempHome h;
    auto slow = write_script(h.root / "slow-scanner",
                             "echo '{\"type\":\"hello\",\"v\":1}'\nexec sleep 30\n");
    Peer p(h, {{"VIRIRADO_SCANNER", slow.string()}});
    p.send({{"cmd", "scan"}, {"include_private", false}});
    while (true) {
        json e = p.next();
        ASSERT_FALSE(e.is_null());
        if (e["event"] == "progress" && e["place"] == "Developer folders") break;
    }
    p.send({{"cmd", "tick"}, {"ids", {"x"}}});
    json busy = p.next();
    EXPECT_EQ(busy["message"], "Busy: a scan is running.");
    p.send({{"cmd", "cancel"}});
    json c = p.next(5000);
    EXPECT_EQ(c["event"], "cancelled");
    EXPECT_EQ(c["cmd"], "scan");
    p.send({{"cmd", "hello"}});
    EXPECT_EQ(p.next()["event"], "volume");
    EXPECT_EQ(p.close_and_wait(), 0);
}

TEST(PeerScanner, EngineRowsBecomeReviewItemsAndProtectedOnesLookOnly) {
    TempHome h;
    auto mk = [&](const std::string& rel) { fs::create_directories(h.home / rel); };
    write_file(h.home / "proj/target/debug/out.o", 5000);
    mk("Documents/app/build");
    allocate_file(h.home / "Videos/film.mkv", 110'000'000);
    allocate_file(h.home / "old.img", 105'000'000);
    fs::last_write_time(h.home / "old.img", fs::file_time_type::clock::now() - 400 * 24h);
    fs::create_directory_symlink(h.home / "proj/target", h.home / "alias");
    auto row = [](const fs::path& p, int64_t alloc, const std::string& name) {
        return json{{"path", p.string()},    {"alloc", alloc}, {"files", 3},
                    {"mtime", 1000.5},       {"name", name},   {"kind", "devbuild"},
                    {"marker", "Cargo.toml"}};
    };
    json done = {
        {"type", "done"},
        {"v", 1},
        {"devbuilds",
         {row(h.home / "proj/target", 5000, "target"),
          row(h.home / "proj/target/debug", 4000, "target"),
          row(h.home / "Documents/app/build", 3000, "build"),
          row(h.home / "alias", 5000, "target")}},
        {"top_files",
         {row(h.home / "Videos/film.mkv", 300'000'000, ""),
          row(h.home / "old.img", 200'000'000, ""), row(h.home / "small.bin", 50'000'000, "")}}};
    std::ofstream(h.root / "done.json") << done.dump() << "\n";
    auto fake =
        write_script(h.root / "fake-scanner", "cat '" + (h.root / "done.json").string() + "'\n");
    Peer p(h, {{"VIRIRADO_SCANNER", fake.string()}});
    json d = p.scan(true);
    ASSERT_EQ(d["items"].size(), 4u) << d.dump();
    json build = item_in(d, "devbuild:" + (h.home / "proj/target").string());
    EXPECT_EQ(build["label"], "target · proj");
    EXPECT_EQ(build["safety"], "review");
    EXPECT_EQ(build["action"], "trash");
    // Sized by what removing it frees, not by the scanner's figure.
    EXPECT_EQ(build["realistic_size"], allocated(h.home / "proj/target/debug/out.o"));
    json docs = item_in(d, "devbuild:" + (h.home / "Documents/app/build").string());
    EXPECT_EQ(docs["safety"], "info");
    EXPECT_EQ(docs["deletable"], false);
    json film = item_in(d, "big:" + (h.home / "Videos/film.mkv").string());
    EXPECT_EQ(film["action"], "info");
    json img = item_in(d, "big:" + (h.home / "old.img").string());
    EXPECT_EQ(img["category"], "downloads");
    EXPECT_EQ(img["kind"], "large-old");
    EXPECT_EQ(img["extension"], "img");
    EXPECT_EQ(img["ticked"], false);
    // Look-only items are never ticked nor previewed.
    p.send({{"cmd", "tick"}, {"ids", {docs["id"]}}});
    EXPECT_EQ(p.wait_for("selection")["rejected"][0]["reason"], "Look only: build · app");
    p.send({{"cmd", "preview"}, {"ids", {docs["id"]}}});
    json pv = p.wait_for("preview");
    EXPECT_EQ(pv["items"], json::array());
    EXPECT_EQ(pv["blocked"].size(), 1u);
}

TEST(PeerScanner, FailingEngineIsReportedAndTheScanEnds) {
    TempHome h;
    auto bad = write_script(h.root / "bad-scanner", "echo garbage\nexit 3\n");
    write_file(h.home / "Downloads/x.tar", 100);
    Peer p(h, {{"VIRIRADO_SCANNER", bad.string()}});
    p.send({{"cmd", "scan"}, {"include_private", true}});
    auto events = p.until("done");
    bool reported = false;
    for (const auto& e : events)
        if (e["event"] == "scanner_error")
            reported = e["message"].get<std::string>().find("failed") != std::string::npos;
    EXPECT_TRUE(reported);
    // Without the engine the Downloads folder is still offered.
    EXPECT_EQ(events.back()["items"].size(), 1u);
}

TEST(PeerScanner, RealEngineFindsABuildFolder) {
    if (!fs::exists(SCANNER_BIN)) GTEST_SKIP() << "virirado-engine not built";
    TempHome h;
    write_file(h.home / "proj/Cargo.toml", 10);
    write_file(h.home / "proj/target/debug/out.bin", 300'000);
    Peer p(h, {{"VIRIRADO_SCANNER", SCANNER_BIN}});
    json d = p.scan(true);
    json build = item_in(d, "devbuild:" + (h.home / "proj/target").string());
    ASSERT_TRUE(build.is_object()) << d.dump();
    EXPECT_EQ(build["action"], "trash");
    EXPECT_GE(build["realistic_size"].get<int64_t>(), 300'000);
}

TEST(PeerScanner, RealEngineBuildFoldersNamedWithADotAreOffered) {
    if (!fs::exists(SCANNER_BIN)) GTEST_SKIP() << "virirado-engine not built";
    TempHome h;
    write_file(h.home / "Projects/pytool/.venv/pyvenv.cfg", 100);
    write_file(h.home / "Projects/pytool/.venv/lib/m.so", 300'000);
    write_file(h.home / "Projects/web/next.config.js", 10);
    write_file(h.home / "Projects/web/.next/cache/a", 300'000);
    write_file(h.home / "Projects/j/build.gradle", 10);
    write_file(h.home / "Projects/j/.gradle/8.5/b", 300'000);
    Peer p(h, {{"VIRIRADO_SCANNER", SCANNER_BIN}});
    json d = p.scan(true);
    for (const char* folder :
         {"Projects/pytool/.venv", "Projects/web/.next", "Projects/j/.gradle"}) {
        json build = item_in(d, "devbuild:" + (h.home / folder).string());
        ASSERT_TRUE(build.is_object()) << folder << " in " << d.dump();
        EXPECT_EQ(build["action"], "trash") << folder;
        EXPECT_EQ(build["deletable"], true) << folder;
    }
}

TEST(PeerScannerUnit, DoneRowsKeepTheFilesFromHundredMegabytesBiggestFirst) {
    json files = json::array();
    for (int i = 0; i < 60; ++i)
        files.push_back({{"path", "/h/f" + std::to_string(i)}, {"alloc", 100'000'000 + i}});
    files.push_back({{"path", "/h/small"}, {"alloc", 99'999'999}});
    files.push_back({{"alloc", 500'000'000}});  // no path
    files.push_back("not a row");
    auto out = peer::scanner::read_done({{"top_files", files}, {"devbuilds", 7}});
    // Which are offered is decided once they are measured, so none is cut here.
    ASSERT_EQ(out.big_files.size(), 60u);
    EXPECT_EQ(out.big_files.front().path, "/h/f59");
    EXPECT_EQ(out.big_files.back().alloc, 100'000'000);
    EXPECT_TRUE(out.devbuilds.empty());
}

}  // namespace
}  // namespace peer_test
