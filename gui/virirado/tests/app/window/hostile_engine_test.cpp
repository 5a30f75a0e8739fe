// The window against a cleaning engine that misbehaves: floods, numbers far out
// of range, markup and control characters in names, events out of order, rows
// that vanish, an engine that dies mid-clean. The window stays up, shows engine
// text as text, keeps its figures in range, and sends a clean only when the user
// confirmed one.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QTest>
#include <QTextDocument>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ClampedLabel.hpp"
#include "ConfirmSheet.hpp"
#include "LiveWindow.hpp"
#include "PlainText.hpp"
#include "SheetHost.hpp"

namespace virirado {
namespace {

namespace fs = std::filesystem;

struct HostileWindow : testing::LiveWindow {
    explicit HostileWindow(const std::string& script) {
        std::ofstream(root / "script") << script;
        open(VIRIRADO_FAKE_ENGINE,
             {{"VIRIRADO_FAKE_SCRIPT", (root / "script").string()},
              {"VIRIRADO_FAKE_LOG", (root / "sent").string()}},
             false);
        show();
    }
    bool waitFor(const std::function<bool()>& done, int ms = 60000) {
        return testing::LiveWindow::waitFor(done, ms);
    }
    bool scan() { return scanOnce(60000); }
    // The commands the engine received, one JSON line each.
    std::vector<std::string> sent() const {
        std::vector<std::string> lines;
        std::ifstream in(root / "sent");
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    int cleansSent() const {
        int n = 0;
        for (const std::string& line : sent())
            n += line.find("\"cmd\":\"clean\"") != std::string::npos ? 1 : 0;
        return n;
    }
    // Every label and tool tip of the window and its sheet: engine text must be
    // shown as text, never read as markup. Returns how many places showed it.
    int expectPlainText(const QString& marker) {
        int shown = 0;
        QList<QWidget*> widgets = window->findChildren<QWidget*>();
        if (SheetDialog* sheet = content->sheets().current()) {
            widgets << sheet << sheet->findChildren<QWidget*>();
        }
        for (QWidget* w : widgets) {
            if (auto* label = qobject_cast<QLabel*>(w); label && label->text().contains(marker)) {
                EXPECT_EQ(label->textFormat(), Qt::PlainText) << w->objectName().toStdString();
                ++shown;
            }
            // Tips are plain text: Qt must not take them for markup.
            EXPECT_FALSE(Qt::mightBeRichText(w->toolTip())) << w->objectName().toStdString();
            if (QString(w->toolTip()).remove(QChar(kWordJoiner)).contains(marker)) ++shown;
            // A clamped label only ever draws plain text.
            if (auto* clamped = qobject_cast<ClampedLabel*>(w);
                clamped && clamped->text().contains(marker)) {
                ++shown;
            }
        }
        return shown;
    }
    void refresh() {
        content->refreshNow();
        QCoreApplication::processEvents();
        EXPECT_FALSE(content->grab().isNull());
    }
};

std::string volume(const std::string& free, const std::string& total) {
    return "say {\"event\":\"volume\",\"free_bytes\":" + free + ",\"total_bytes\":" + total +
           ",\"volume\":\"Disk\"}\n";
}

TEST(HostileEngine, TenThousandItemsAndAFloodOfProgress) {
    HostileWindow w(
        volume("1000000000", "500000000000") +
        "on scan\n"
        "flood 20000 {\"event\":\"progress\",\"pct\":{i},\"eta_s\":3,\"place\":\"/p/{i}\"}\n"
        "items 10000\n"
        "say {\"event\":\"done\",\"free_bytes\":1000000000,\"total_bytes\":500000000000}\n");
    ASSERT_TRUE(w.scan());
    EXPECT_EQ(w.object->client().records().size(), 10000u);
    w.refresh();
    EXPECT_EQ(w.content->model().rows()->rows.size(), 10000u);
    // The percent the engine sent was far past 100; the window keeps it in range.
    EXPECT_LE(w.state().pct, 100.0);
    EXPECT_EQ(w.cleansSent(), 0);
}

TEST(HostileEngine, NumbersFarOutOfRange) {
    HostileWindow w(
        volume("-7", "1e300") +
        "on scan\n"
        "say {\"event\":\"progress\",\"pct\":1e300,\"eta_s\":1e300,\"place\":\"/x\"}\n"
        "say {\"event\":\"progress\",\"pct\":-1e300,\"eta_s\":-1e300}\n"
        "say {\"event\":\"progress\",\"pct\":1e999,\"eta_s\":-1e999}\n"
        "say "
        "{\"event\":\"item\",\"item\":{\"id\":\"huge\",\"label\":\"huge\",\"category\":\"caches\","
        "\"size\":1e300,\"realistic_size\":1.7e308,\"file_count\":-5,\"safety\":\"safe\","
        "\"action\":\"rm\","
        "\"modified\":1e300,\"path\":\"/x/huge\"}}\n"
        "say "
        "{\"event\":\"item\",\"item\":{\"id\":\"neg\",\"label\":\"neg\",\"category\":\"caches\","
        "\"size\":-9e18,\"realistic_size\":-1,\"ticked\":true,\"safety\":\"safe\",\"action\":"
        "\"rm\"}}\n"
        "say {\"event\":\"item\",\"item\":{\"id\":\"big\",\"label\":\"big\",\"category\":\"logs\","
        "\"size\":9223372036854775807,\"realistic_size\":9223372036854775807,\"ticked\":true,"
        "\"safety\":\"safe\",\"action\":\"trash\"}}\n"
        "say {\"event\":\"done\",\"free_bytes\":-1e300,\"total_bytes\":1e300}\n");
    ASSERT_TRUE(w.scan());
    w.refresh();
    w.content->model().setMapExpanded(true);
    w.content->model().select("huge");
    w.refresh();
    w.content->model().setQuery("size:>1");
    w.refresh();
    const WindowView view = w.content->model().view();
    EXPECT_GE(view.totals.tickedBack, 0);
    EXPECT_GE(view.otherBytes, 0);
    for (const VadePiece& piece : view.pieces) {
        EXPECT_GE(piece.weight, 0) << piece.id;
        EXPECT_GE(piece.listed, 0) << piece.id;
    }
    EXPECT_TRUE(w.window->isVisible());
}

TEST(HostileEngine, MarkupAndControlCharactersStayText) {
    const std::string name = "<b>bold</b> & <img src=x> \\u202Eevil\\u0007\\u0000end";
    HostileWindow w(volume("1000", "100000") +
                    "on scan\n"
                    "say {\"event\":\"item\",\"item\":{\"id\":\"m\",\"label\":\"" +
                    name +
                    "\",\"category\":\"<b>cat</b>\",\"path\":\"/tmp/<b>p</b>\",\"size\":10,"
                    "\"why\":\"<b>why</b>\",\"note\":\"<b>note</b>\",\"safety\":\"safe\","
                    "\"action\":\"rm\",\"explain\":{\"what\":\"<b>what</b>\"}}}\n"
                    "say {\"event\":\"done\",\"free_bytes\":1000,\"total_bytes\":100000}\n"
                    "say {\"event\":\"error\",\"message\":\"<b>err</b> <a href=x>link</a>\"}\n");
    ASSERT_TRUE(w.scan());
    ASSERT_TRUE(w.waitFor([&] { return w.state().banner.has_value(); }, 10000));
    w.content->model().select("m");
    w.refresh();
    const int shown = w.expectPlainText("<b>");
    w.content->model().select("group:<b>cat</b>");
    w.refresh();
    // The names, path, reasons and message reached labels and tips, as text.
    EXPECT_GE(shown + w.expectPlainText("<b>"), 3);
    // A direction override would show "evil" as "live": it is shown as a mark.
    EXPECT_EQ(w.expectPlainText(QStringLiteral("\u202E")), 0);
    EXPECT_GE(w.expectPlainText(QStringLiteral("\uFFFDevil")), 1);
}

TEST(HostileEngine, EventsOutOfOrderNeverLeadToAClean) {
    HostileWindow w(
        "say {\"event\":\"clean\",\"dry_run\":false,\"clean_count\":3,\"results\":[]}\n"
        "say {\"event\":\"clean_progress\",\"phase\":\"start\",\"label\":\"x\"}\n"
        "say "
        "{\"event\":\"preview\",\"confirm_token\":\"t\",\"items\":[{\"id\":\"a\",\"label\":\"a\","
        "\"realistic_size\":5,\"safety\":\"safe\",\"action\":\"rm\"}]}\n"
        "say "
        "{\"event\":\"selection\",\"ticked\":[\"nobody\"],\"rejected\":[{\"reason\":\"<i>no</"
        "i>\"}]}\n"
        "say "
        "{\"event\":\"done\",\"items\":[{\"id\":\"a\",\"label\":\"a\",\"size\":5,\"safety\":"
        "\"safe\"}],"
        "\"free_bytes\":10,\"total_bytes\":100}\n"
        "say {\"event\":\"cancelled\"}\n"
        "say {\"event\":\"scanner_error\",\"message\":\"broken\"}\n"
        "on scan\n"
        "say "
        "{\"event\":\"preview\",\"confirm_token\":\"u\",\"items\":[{\"id\":\"a\",\"label\":\"a\","
        "\"realistic_size\":5,\"safety\":\"safe\",\"action\":\"rm\",\"path\":\"/nonexistent/"
        "a\"}]}\n"
        "say "
        "{\"event\":\"done\",\"items\":[{\"id\":\"a\",\"label\":\"a\",\"size\":5,\"safety\":"
        "\"safe\"}],"
        "\"free_bytes\":10,\"total_bytes\":100}\n"
        "sleep 500\n");
    ASSERT_TRUE(w.waitFor([&] { return w.object->client().engineRunning(); }, 10000));
    QTest::qWait(300);
    w.refresh();
    w.scan();
    QTest::qWait(600);
    w.refresh();
    EXPECT_TRUE(w.window->isVisible());
    EXPECT_EQ(w.cleansSent(), 0);
}

TEST(HostileEngine, APreviewWhoseRowsVanishedIsHeldBack) {
    const fs::path gone = fs::temp_directory_path() / ("vgone-" + std::to_string(::getpid()));
    fs::create_directories(gone / "data");
    const std::string item =
        "{\"id\":\"g\",\"label\":\"gone\",\"category\":\"caches\",\"path\":\"" + gone.string() +
        "\",\"size\":100,\"safety\":\"safe\",\"action\":\"rm\"}";
    HostileWindow w(
        volume("1000", "100000") + "on scan\nsay {\"event\":\"item\",\"item\":" + item +
        "}\nsay {\"event\":\"done\",\"free_bytes\":1000,\"total_bytes\":100000}\n"
        "on preview\n"
        "say {\"event\":\"preview\",\"confirm_token\":\"tok\",\"clean_bytes\":100,\"items\":[{"
        "\"id\":\"g\",\"label\":\"gone\",\"path\":\"" +
        gone.string() + "\",\"realistic_size\":100,\"safety\":\"safe\",\"action\":\"rm\"}]}\n");
    ASSERT_TRUE(w.scan());
    w.content->model().toggle(*w.content->model().rows()->find("g"));
    fs::remove_all(gone);
    w.content->model().requestPreview();
    ASSERT_TRUE(w.waitFor([&] { return w.state().banner.has_value(); }, 20000));
    w.refresh();
    EXPECT_FALSE(w.state().preview);
    EXPECT_EQ(w.content->sheets().current(), nullptr);
    w.content->model().confirmClean(PreviewPayload{});
    QTest::qWait(200);
    EXPECT_EQ(w.cleansSent(), 0);
}

TEST(HostileEngine, AnEngineThatDiesMidCleanStopsTheRun) {
    const fs::path folder = fs::temp_directory_path() / ("vdies-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    std::ofstream(folder / "f") << "x";
    const std::string row = "{\"id\":\"d\",\"label\":\"dies\",\"category\":\"caches\",\"path\":\"" +
                            folder.string() +
                            "\",\"size\":4096,\"realistic_size\":4096,"
                            "\"safety\":\"safe\",\"action\":\"rm\"}";
    HostileWindow w(volume("1000", "100000") + "on scan\nsay {\"event\":\"item\",\"item\":" + row +
                    "}\nsay {\"event\":\"done\",\"free_bytes\":1000,\"total_bytes\":100000}\n"
                    "on preview\nsay {\"event\":\"preview\",\"confirm_token\":\"tok\",\"items\":[" +
                    row +
                    "]}\non clean\n"
                    "say {\"event\":\"clean_progress\",\"phase\":\"start\",\"label\":\"dies\"}\n"
                    "die\n");
    ASSERT_TRUE(w.scan());
    w.content->model().toggle(*w.content->model().rows()->find("d"));
    w.content->model().requestPreview();
    ASSERT_TRUE(w.waitFor([&] { return w.content->sheets().current() != nullptr; }, 20000))
        << w.state().banner.value_or("no banner");
    auto* sheet = qobject_cast<ConfirmSheet*>(w.content->sheets().current());
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(w.cleansSent(), 0);
    sheet->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
    QTest::keyClick(sheet, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(w.waitFor([&] {
        const auto& run = w.state().cleanProgress;
        return run && !run->isRunning();
    }));
    EXPECT_EQ(w.cleansSent(), 1);
    EXPECT_EQ(w.state().cleanProgress->error.value_or(""), "The engine stopped.");
    w.refresh();
    EXPECT_TRUE(w.window->isVisible());
    fs::remove_all(folder);
}

}  // namespace
}  // namespace virirado
