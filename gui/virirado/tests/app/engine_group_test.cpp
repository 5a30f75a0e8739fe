// The engine's process group with real processes: its number stays ours for as
// long as it is signalled, what is left of it ends with the engine, and an
// ending that already happened sends nothing more. And the real app over the
// scripted engine: it starts its engine however it was started, and its engine
// ends with it however it ends.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QProcess>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "EngineGroup.hpp"
#include "ProcStat.hpp"
#include "Processes.hpp"
#include "QtEngineProcess.hpp"
#include "Settled.hpp"

namespace virirado {
namespace {

namespace fs = std::filesystem;
using testing::allEnd;
using testing::groupOf;
using testing::running;

using testing::kHangMs;

// Every signal sent to a group, and whether the number was ours at that
// moment: the group's placeholder still an unreaped child of this process.
struct Sent {
    pid_t target = 0;
    int signal = 0;
    bool held = false;
};

bool unreapedChild(pid_t pid) {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid;
}

EngineGroup::Sender recorder(std::vector<Sent>& sent) {
    return [&sent](pid_t target, int sig) {
        sent.push_back({target, sig, target < 0 && unreapedChild(-target)});
        return ::kill(target, sig);
    };
}

std::vector<int> signalsOf(const std::vector<Sent>& sent) {
    std::vector<int> out;
    for (const Sent& s : sent)
        out.push_back(s.signal);
    return out;
}

void expectAllHeld(const std::vector<Sent>& sent, pid_t group) {
    for (const Sent& s : sent) {
        EXPECT_EQ(s.target, -group);
        EXPECT_TRUE(s.held) << "signal " << s.signal << " sent to a group no longer held";
    }
}

// A child of this test in `group`, ignoring SIGTERM, that waits to be
// killed; killed and reaped at the end of the test whatever happened. It may
// give itself a `name` that reads like the rest of a stat line.
struct Member {
    pid_t pid = 0;
    bool reaped = false;

    explicit Member(pid_t group, const char* name = nullptr) {
        pid = ::fork();
        if (pid == 0) {
            if (name != nullptr) ::prctl(PR_SET_NAME, name);
            ::signal(SIGTERM, SIG_IGN);
            // A failed test leaves nothing for long.
            ::alarm(120);
            if (::setpgid(0, group) != 0) ::_exit(3);
            for (;;)
                ::pause();
        }
    }
    ~Member() {
        if (pid <= 0 || reaped) return;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    Member(const Member&) = delete;
    Member& operator=(const Member&) = delete;

    bool joined(pid_t group) const {
        return QTest::qWaitFor([&] { return groupOf(pid) == group; }, kHangMs);
    }
    // How it ended.
    int reap() {
        int status = 0;
        reaped = ::waitpid(pid, &status, 0) == pid;
        return status;
    }
};

TEST(EngineGroup, HoldsItsNumberWithAZombieThatJoinersFindUntilReleased) {
    std::vector<Sent> sent;
    EngineGroup group(recorder(sent));
    ASSERT_EQ(group.start(), std::nullopt);
    const pid_t id = group.id();
    ASSERT_GT(id, 0);
    // The placeholder: the group's leader, ended and not reaped.
    const auto leader = procStat(id);
    ASSERT_TRUE(leader.has_value());
    EXPECT_EQ(leader->state, 'Z');
    EXPECT_EQ(leader->group, id);
    EXPECT_FALSE(group.anyRunning());
    EXPECT_FALSE(group.signal(SIGTERM));

    // A process can still join it, and counts until it is killed, whatever
    // its name says.
    Member joined(id, "x) Z 1 1 (");
    ASSERT_TRUE(joined.joined(id));
    EXPECT_TRUE(group.anyRunning());
    EXPECT_TRUE(group.signal(SIGTERM));
    EXPECT_TRUE(group.signal(SIGKILL));
    const int status = joined.reap();
    ASSERT_TRUE(joined.reaped);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    EXPECT_FALSE(group.anyRunning());
    expectAllHeld(sent, id);
    EXPECT_EQ(signalsOf(sent), (std::vector<int>{SIGTERM, SIGKILL}));

    group.release();
    EXPECT_FALSE(group.held());
    EXPECT_FALSE(unreapedChild(id));
    group.release();
    EXPECT_FALSE(group.signal(SIGKILL));
    EXPECT_EQ(sent.size(), 2u);
}

TEST(EngineGroup, EndAsksThenKillsWhatIgnoresItAndLetsTheNumberGo) {
    std::vector<Sent> sent;
    EngineGroup group(recorder(sent));
    ASSERT_EQ(group.start(), std::nullopt);
    const pid_t id = group.id();
    Member stubborn(id);
    ASSERT_TRUE(stubborn.joined(id));

    group.end(QtEngineProcess::kTermGraceMs, QtEngineProcess::kReapMs);
    const int status = stubborn.reap();
    ASSERT_TRUE(stubborn.reaped);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    EXPECT_EQ(signalsOf(sent), (std::vector<int>{SIGTERM, SIGKILL}));
    expectAllHeld(sent, id);
    EXPECT_FALSE(group.held());
    EXPECT_FALSE(unreapedChild(id));

    // Nothing left to end.
    group.end(QtEngineProcess::kTermGraceMs, QtEngineProcess::kReapMs);
    group.endNow(QtEngineProcess::kReapMs);
    EXPECT_EQ(sent.size(), 2u);
}

// The scripted engine (tools/fake_engine.cpp) under a QtEngineProcess, in a
// scratch folder for its script and pid file.
struct ScriptedEngine {
    fs::path root;
    std::vector<Sent> sent;
    std::unique_ptr<QtEngineProcess> process = std::make_unique<QtEngineProcess>(recorder(sent));
    std::vector<int> ended;
    // The group, read at once: it is let go when the engine ends.
    pid_t group = 0;

    explicit ScriptedEngine(const std::string& script) {
        std::string pattern = (fs::temp_directory_path() / "vgroup-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
        std::ofstream(root / "script") << script;
        EngineProcess::Handlers handlers;
        handlers.ended = [this](int status) { ended.push_back(status); };
        const Environment env{{"VIRIRADO_FAKE_SCRIPT", (root / "script").string()},
                              {"VIRIRADO_FAKE_PIDFILE", (root / "pid").string()}};
        const auto failure = process->launch(VIRIRADO_FAKE_ENGINE, {}, env, handlers);
        EXPECT_EQ(failure, std::nullopt) << *failure;
        group = process->group().id();
    }
    ~ScriptedEngine() {
        process.reset();
        fs::remove_all(root);
    }
    // The engine's id, then its helper's, once both are written.
    std::vector<pid_t> pids() const {
        std::vector<pid_t> out;
        std::ifstream in(root / "pid");
        for (long pid; in >> pid;)
            out.push_back(static_cast<pid_t>(pid));
        return out;
    }
    std::vector<pid_t> engineAndHelper() {
        if (!QTest::qWaitFor([&] { return pids().size() == 2; }, kHangMs)) return {};
        return pids();
    }
};

TEST(EngineGroup, AnEngineThatEndsByItselfTakesItsHelperAlongAndLeavesNothingToSignal) {
    ScriptedEngine e("spawn-child\non go\nexit 3\n");
    const std::vector<pid_t> pids = e.engineAndHelper();
    ASSERT_EQ(pids.size(), 2u);
    const pid_t group = e.group;
    ASSERT_GT(group, 0);
    EXPECT_EQ(groupOf(pids[0]), group);
    EXPECT_EQ(groupOf(pids[1]), group);
    EXPECT_EQ(e.process->write("{\"cmd\":\"go\"}\n"), std::nullopt);

    ASSERT_TRUE(QTest::qWaitFor([&] { return !e.ended.empty(); }, kHangMs));
    EXPECT_EQ(e.ended, std::vector<int>{3});
    // The helper was killed while the number was still ours, then let go.
    EXPECT_TRUE(allEnd(pids, group, kHangMs));
    EXPECT_EQ(signalsOf(e.sent), std::vector<int>{SIGKILL});
    expectAllHeld(e.sent, group);
    EXPECT_FALSE(e.process->group().held());
    EXPECT_FALSE(unreapedChild(group));

    e.process.reset();
    EXPECT_EQ(e.sent.size(), 1u);
    EXPECT_EQ(e.ended.size(), 1u);
}

TEST(EngineGroup, KillEndsItOnceAndTheEndingAfterItSendsNothing) {
    ScriptedEngine e("spawn-child\nstall " + std::to_string(kHangMs) + "\n");
    const std::vector<pid_t> pids = e.engineAndHelper();
    ASSERT_EQ(pids.size(), 2u);
    const pid_t group = e.group;

    e.process->kill();
    // Reaped within the call: its end is reported once, at once.
    EXPECT_EQ(e.ended, std::vector<int>{SIGKILL});
    EXPECT_FALSE(running(pids[0]));
    EXPECT_FALSE(e.process->group().held());
    EXPECT_TRUE(allEnd(pids, group, kHangMs));
    ASSERT_FALSE(e.sent.empty());
    for (const Sent& s : e.sent)
        EXPECT_EQ(s.signal, SIGKILL);
    expectAllHeld(e.sent, group);

    const std::size_t before = e.sent.size();
    e.process.reset();
    EXPECT_EQ(e.sent.size(), before);
    EXPECT_EQ(e.ended.size(), 1u);
}

TEST(EngineGroup, QuittingEndsAnEngineThatIgnoresSigtermAndItsHelper) {
    // It stopped reading and ignores SIGTERM, as does its helper: closing its
    // input and asking change nothing, the kill does.
    ScriptedEngine e("ignore-term\nspawn-child\nstall " + std::to_string(kHangMs) + "\n");
    const std::vector<pid_t> pids = e.engineAndHelper();
    ASSERT_EQ(pids.size(), 2u);
    const pid_t group = e.group;

    e.process.reset();
    EXPECT_EQ(signalsOf(e.sent), (std::vector<int>{SIGTERM, SIGKILL}));
    expectAllHeld(e.sent, group);
    EXPECT_FALSE(unreapedChild(group));
    EXPECT_TRUE(allEnd(pids, group, kHangMs));
}

// The real app (`Virirado`) over the scripted engine, in a temporary home.
// The engine says "answered" once the app greets it. Whatever the test leaves
// running is killed at its end.
struct RealApp {
    fs::path root;
    QProcess app;

    // `launchedAs` runs in the app's process before it starts, as a launcher's
    // own habits would.
    RealApp(const std::string& script, const std::function<void()>& launchedAs = {}) {
        std::string pattern = (fs::temp_directory_path() / "vreal-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
        fs::create_directories(root / "home");
        std::ofstream(root / "script")
            << "on hello\nsay {\"event\":\"marker\",\"name\":\"answered\"}\n"
            << script;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const auto set = [&env](const char* name, const fs::path& value) {
            env.insert(name, QString::fromStdString(value.string()));
        };
        set("HOME", root / "home");
        set("XDG_CONFIG_HOME", root / "home/.config");
        set("VIRIRADO_ENGINE", VIRIRADO_FAKE_ENGINE);
        set("VIRIRADO_FAKE_SCRIPT", root / "script");
        set("VIRIRADO_FAKE_PIDFILE", root / "pid");
        env.insert("VIRIRADO_AUTOSCAN", "0");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        app.setProcessEnvironment(env);
        if (launchedAs) app.setChildProcessModifier(launchedAs);
        app.start(QStringLiteral(VIRIRADO_APP_BINARY), {"--no-autoscan"});
    }
    ~RealApp() {
        if (app.state() != QProcess::NotRunning) {
            app.kill();
            app.waitForFinished(kHangMs);
        }
        if (const pid_t pid = engine(); pid > 0 && running(pid)) ::kill(pid, SIGKILL);
        fs::remove_all(root);
    }
    RealApp(const RealApp&) = delete;
    RealApp& operator=(const RealApp&) = delete;

    // The engine answered the app, as its traffic log shows.
    bool answered() {
        const fs::path log = root / "home/Library/Logs/Virirado/gui-engine.log";
        return QTest::qWaitFor(
            [&] {
                std::ifstream in(log);
                const std::string text{std::istreambuf_iterator<char>(in), {}};
                return text.find("<< {\"event\":\"marker\",\"name\":\"answered\"}") !=
                       std::string::npos;
            },
            kHangMs);
    }
    pid_t engine() const {
        long pid = 0;
        std::ifstream(root / "pid") >> pid;
        return static_cast<pid_t>(pid);
    }
    std::string errors() { return app.readAllStandardError().toStdString(); }
};

TEST(EngineGroup, AnAppStartedWithChildSignalsIgnoredStillStartsItsEngine) {
    // As a launcher that ignores it would leave it: exec keeps it so.
    RealApp a("", [] { ::signal(SIGCHLD, SIG_IGN); });
    ASSERT_TRUE(a.app.waitForStarted(kHangMs));
    EXPECT_TRUE(a.answered()) << a.errors();
    // Logout still ends it as usual.
    a.app.terminate();
    ASSERT_TRUE(a.app.waitForFinished(kHangMs));
    EXPECT_EQ(a.app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(a.app.exitCode(), 0) << a.errors();
}

// Started with standard error closed, the app holds its number with the null
// device: no log it opens takes it, and no warning is written into a log.
TEST(EngineGroup, AnAppStartedWithoutStandardErrorKeepsItsLogsToThemselves) {
    RealApp a("", [] { ::close(STDERR_FILENO); });
    ASSERT_TRUE(a.app.waitForStarted(kHangMs));
    ASSERT_TRUE(a.answered());
    const fs::path err = fs::path("/proc") / std::to_string(a.app.processId()) / "fd/2";
    std::error_code ec;
    EXPECT_EQ(fs::read_symlink(err, ec), fs::path("/dev/null")) << ec.message();
    a.app.terminate();
    ASSERT_TRUE(a.app.waitForFinished(kHangMs));
    EXPECT_EQ(a.app.exitCode(), 0);
}

TEST(EngineGroup, AnEngineThatIgnoresEverythingEndsWithAKilledApp) {
    // It ignores SIGTERM and reads nothing, so its input's end is never seen;
    // left alone it would outlast the wait below.
    RealApp a("ignore-term\nstall " + std::to_string(3 * kHangMs) + "\n");
    ASSERT_TRUE(a.app.waitForStarted(kHangMs));
    ASSERT_TRUE(a.answered()) << a.errors();
    const pid_t engine = a.engine();
    ASSERT_GT(engine, 0);
    ASSERT_TRUE(running(engine));

    a.app.kill();
    ASSERT_TRUE(a.app.waitForFinished(kHangMs));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !running(engine); }, kHangMs));
}

}  // namespace
}  // namespace virirado
