// The window over a scripted cleaning engine (tools/fake_engine.cpp) in a
// temporary home, and what the hostile-engine tests read back: the commands
// the engine received, the deletion log, the sheet on show.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QTest>
#include <QTextDocument>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "ClampedLabel.hpp"
#include "ConfirmSheet.hpp"
#include "LiveWindow.hpp"
#include "PlainText.hpp"
#include "Settled.hpp"
#include "SheetHost.hpp"
#include "SheetKeys.hpp"

namespace virirado::testing::hostile {

namespace fs = std::filesystem;

struct HostileWindow : LiveWindow {
    explicit HostileWindow(const std::string& script) { begin(script); }
    // A script that names files in the window's home.
    explicit HostileWindow(const std::function<std::string(const fs::path& home)>& script) {
        begin(script(home));
    }
    // The same with the home at `homeAt`.
    HostileWindow(const fs::path& homeAt,
                  const std::function<std::string(const fs::path& home)>& script)
        : LiveWindow(homeAt) {
        begin(script(home));
    }
    void begin(const std::string& script) {
        std::ofstream(root / "script") << script;
        open(VIRIRADO_FAKE_ENGINE,
             {{"VIRIRADO_FAKE_SCRIPT", (root / "script").string()},
              {"VIRIRADO_FAKE_LOG", (root / "sent").string()},
              {"VIRIRADO_FAKE_PIDFILE", (root / "pid").string()}},
             false);
        show();
    }
    bool waitFor(const std::function<bool()>& done, int ms = kHangMs) {
        return LiveWindow::waitFor(done, ms);
    }
    bool scan() { return scanOnce(kHangMs); }
    // The commands the engine received, one JSON line each.
    std::vector<std::string> sent() const {
        std::vector<std::string> lines;
        std::ifstream in(root / "sent");
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    int sentCount(const std::string& cmd) const {
        int n = 0;
        for (const std::string& line : sent())
            n += line.find("\"cmd\":\"" + cmd + "\"") != std::string::npos ? 1 : 0;
        return n;
    }
    int cleansSent() const { return sentCount("clean"); }
    // Lines of the deletion log, refusals included.
    int deletionLogLines() const {
        int n = 0;
        const fs::path folder = home / "Library/Logs/Virirado";
        if (!fs::is_directory(folder)) return 0;
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (!entry.path().filename().string().starts_with("deleted-")) continue;
            std::ifstream in(entry.path());
            for (std::string line; std::getline(in, line);)
                ++n;
        }
        return n;
    }
    ConfirmSheet* confirmSheet() const {
        return qobject_cast<ConfirmSheet*>(content->sheets().current());
    }
    // Ctrl+Shift+D wherever the keys are: the sheet when one is up, else the
    // window. Returns once what the key led to is on show: on a sheet, once its
    // delete key's handler has run (anything it started, it started then); and
    // a refresh afterwards draws whatever that changed.
    void deleteChord() {
        const QKeySequence chord(Qt::CTRL | Qt::SHIFT | Qt::Key_D);
        SheetDialog* sheet = content->sheets().current();
        QShortcut* key = nullptr;
        if (sheet != nullptr) {
            for (QShortcut* s : sheet->findChildren<QShortcut*>()) {
                if (s->key() == chord && s->isEnabled()) key = s;
            }
            if (key == nullptr) ADD_FAILURE() << "the sheet takes no delete key";
        }
        int handled = 0;
        QMetaObject::Connection seen;
        if (key != nullptr)
            seen = QObject::connect(key, &QShortcut::activated, [&handled] { ++handled; });
        QWidget* target = sheet != nullptr ? static_cast<QWidget*>(sheet) : window.get();
        QTest::keyClick(target, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
        if (key != nullptr && !QTest::qWaitFor([&] { return handled > 0; }, kHangMs))
            ADD_FAILURE() << "the sheet's delete key never answered";
        QObject::disconnect(seen);
        refresh();
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

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Every deletion log of the home, one after the other.
inline std::string deletionLogs(const fs::path& home) {
    std::string text;
    const fs::path folder = home / "Library/Logs/Virirado";
    if (!fs::is_directory(folder)) return text;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().starts_with("deleted-"))
            text += readFile(entry.path());
    }
    return text;
}

// A folder outside every protected place for one row "d" of the scan, removed
// at the end of the test.
struct ScratchRow {
    fs::path folder;
    std::string json;
    explicit ScratchRow(const std::string& name) {
        folder = fs::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
        fs::create_directories(folder);
        std::ofstream(folder / "f") << "x";
        json = "{\"id\":\"d\",\"label\":\"dies\",\"category\":\"caches\",\"path\":\"" +
               folder.string() +
               "\",\"size\":4096,\"realistic_size\":4096,\"safety\":\"safe\",\"action\":"
               "\"rm\"}";
    }
    ~ScratchRow() { fs::remove_all(folder); }
    // A "clean" event that reports row "d" deleted, with `extra` fields.
    std::string cleaned(const std::string& extra, const std::string& path) const {
        return "say {\"event\":\"clean\"," + extra +
               "\"dry_run\":false,\"clean_count\":1,\"results\":[{\"id\":\"d\",\"label\":"
               "\"dies\",\"path\":\"" +
               path + "\",\"realistic_size\":4096,\"deleted\":true,\"ok\":true}]}\n";
    }
};

// Confirms the preview the sheet shows with the delete chord; returns the sheet.
inline ConfirmSheet* confirmShownPreview(HostileWindow& w) {
    ConfirmSheet* sheet = nullptr;
    if (!w.waitFor([&] {
            return (sheet = qobject_cast<ConfirmSheet*>(w.content->sheets().current())) != nullptr;
        })) {
        ADD_FAILURE() << w.state().banner.value_or("no banner");
        return nullptr;
    }
    if (!virirado::testing::activateSheet(sheet)) ADD_FAILURE() << "sheet never active";
    QTest::keyClick(sheet, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
    return sheet;
}

// The sheet asks for its typed code: the delete chord sends nothing without
// it, and the clean with it.
inline void expectTheCodeToGuardTheClean(HostileWindow& w, ConfirmSheet* sheet) {
    auto* field = sheet->findChild<QLineEdit*>("codeField");
    ASSERT_TRUE(field->isVisible());
    w.deleteChord();
    // Nothing started: no re-check, no run, so no clean can follow.
    EXPECT_FALSE(w.state().verifying);
    EXPECT_FALSE(w.state().cleanProgress);
    EXPECT_EQ(w.cleansSent(), 0);
    QTest::keyClicks(field, QString::fromStdString(sheet->code()));
    w.deleteChord();
    ASSERT_TRUE(w.waitFor([&] { return w.cleansSent() == 1; }, kHangMs));
}

// "Clean the tank" opens a sheet that asks for the typed code before it cleans.
inline void expectTheCodeForTheTank(HostileWindow& w) {
    w.content->model().requestPreview();
    ConfirmSheet* sheet = nullptr;
    ASSERT_TRUE(w.waitFor([&] { return (sheet = w.confirmSheet()) != nullptr; }, kHangMs))
        << w.state().banner.value_or("no banner");
    ASSERT_TRUE(activateSheet(sheet));
    expectTheCodeToGuardTheClean(w, sheet);
}

// "Clean the tank", answered by a refusal: no sheet opens and the delete chord
// that follows sends nothing. Returns the banner that says why.
inline std::string refusedPreview(HostileWindow& w) {
    w.content->model().requestPreview();
    if (!w.waitFor([&] { return w.state().banner.has_value(); }, kHangMs)) {
        ADD_FAILURE() << "no answer";
        return "";
    }
    w.refresh();
    w.deleteChord();
    EXPECT_EQ(w.content->sheets().current(), nullptr);
    EXPECT_FALSE(w.state().preview);
    // Nothing started: no re-check, no run, so no clean can follow.
    EXPECT_FALSE(w.state().verifying);
    EXPECT_FALSE(w.state().cleanProgress);
    EXPECT_EQ(w.cleansSent(), 0);
    return w.state().banner.value_or("");
}

inline bool finished(HostileWindow& w) {
    return w.waitFor([&] {
        const auto& run = w.state().cleanProgress;
        return run && !run->isRunning();
    });
}

inline std::string volume(const std::string& free, const std::string& total) {
    return "say {\"event\":\"volume\",\"free_bytes\":" + free + ",\"total_bytes\":" + total +
           ",\"volume\":\"Disk\"}\n";
}

// Two cache folders in the home, "a" ticked and "b" not, and the scan that
// lists them; `then` follows once the list is done.
inline std::string twoItems(const fs::path& home, const std::string& then) {
    std::string script = volume("1000000000", "100000000000") + "on scan\n";
    for (const char* id : {"a", "b"}) {
        const fs::path folder = home / ".cache" / id;
        fs::create_directories(folder);
        std::ofstream(folder / "data") << std::string(4096, 'x');
        script += std::string("say {\"event\":\"item\",\"item\":{\"id\":\"") + id +
                  "\",\"label\":\"item " + id + "\",\"category\":\"caches\",\"path\":\"" +
                  folder.string() +
                  "\",\"size\":4096,\"realistic_size\":4096,\"safety\":\"safe\","
                  "\"action\":\"rm\",\"ticked\":" +
                  (id == std::string("a") ? "true" : "false") + "}}\n";
    }
    return script + "say {\"event\":\"done\",\"free_bytes\":1000000000,\"total_bytes\":" +
           "100000000000}\n" + then;
}

// A preview line of the given rows ("a", "b"; "a!" is "a" marked look-only,
// which the guards refuse).
inline std::string previewOf(const fs::path& home, const std::string& token,
                             const std::vector<std::string>& ids) {
    std::string items;
    for (const std::string& spec : ids) {
        const std::string id = spec.substr(0, 1);
        if (!items.empty()) items += ",";
        items += "{\"id\":\"" + id + "\",\"label\":\"item " + id + "\",\"path\":\"" +
                 (home / ".cache" / id).string() +
                 "\",\"realistic_size\":4096,\"action\":\"rm\",\"safety\":\"" +
                 (spec.size() > 1 ? "info" : "safe") + "\"}";
    }
    return "say {\"event\":\"preview\",\"confirm_token\":\"" + token +
           "\",\"clean_bytes\":4096,\"items\":[" + items + "]}\n";
}

}  // namespace virirado::testing::hostile
