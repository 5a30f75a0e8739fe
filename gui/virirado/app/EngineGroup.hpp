// The cleaning engine's process group, held so that a signal to it can only
// reach the engine and what the engine started.
//
// A process group is named by a process id, and ids are given out again once
// nobody uses them: a group signalled after its last member was reaped may by
// then be somebody else's. So the group is not named after the engine. It is
// started by a placeholder, a child of ours that makes itself the leader of a
// new group and exits at once; we leave it unreaped. A zombie keeps its id and
// its group, so while the placeholder is unreaped the kernel gives that number
// to no new process and no new group, and the processes whose group it is are
// exactly those that joined it: the engine (it joins with `setpgid(0, id())`
// between fork and exec) and what it starts, unless they leave it. Before every
// signal the placeholder is checked to be still ours and unreaped (`waitid`
// with WNOWAIT); `release` reaps it, and from then on nothing is signalled.
//
// This holds as long as nothing else in the app reaps children it did not
// start (no `waitpid(-1, ...)`, SIGCHLD not ignored). An ignored SIGCHLD is
// kept across exec, so the app may be started with it: `takeChildSignal` sets
// it back before any child is made. Should something reap the placeholder all
// the same, the check before the signal sees it and nothing is sent.
//
// The placeholder is a zombie member of the group, so "does the group still
// have members" no longer answers "does any engine process still run": that is
// read from /proc, each process's group and state, zombies not counted.
//
// Plain POSIX, no Qt: QtEngineProcess drives it around its QProcess.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>

namespace virirado {

class EngineGroup {
public:
    // Delivers a signal, as kill(2) does; tests put a recorder in its place.
    using Sender = std::function<int(pid_t target, int signal)>;

    explicit EngineGroup(Sender send = {});

    // Sets SIGCHLD back to its default, without SA_NOCLDWAIT. Ignored (as some
    // launchers and services leave it, and exec keeps it), the kernel reaps
    // every child at once, so the placeholder is gone before its group can be
    // held. Called by main before any thread or child; false when it failed.
    static bool takeChildSignal();
    // Kills what still runs of a group still held, then lets it go.
    ~EngineGroup();
    EngineGroup(const EngineGroup&) = delete;
    EngineGroup& operator=(const EngineGroup&) = delete;

    // Makes a new group for an engine to join. Returns why none could be made.
    std::optional<std::string> start();
    // The number to join (`setpgid(0, id())`); 0 when no group is held.
    pid_t id() const { return m_leader; }
    bool held() const { return m_leader > 0; }

    // Some process of the group runs (zombies, the placeholder among them, do
    // not count). False once the group is let go.
    bool anyRunning() const;
    // Waits up to `ms` for no process of the group to run.
    bool waitUntilEmpty(int ms) const;
    // Sends `signal` to every process of the group while the group is held and
    // one of them runs; false when nothing was sent.
    bool signal(int signal);

    // Asks what runs to end (SIGTERM), gives it `termMs`, then kills it and
    // gives it `killMs`; then lets the group go.
    void end(int termMs, int killMs);
    // Kills what runs at once, gives it `killMs`, then lets the group go.
    void endNow(int killMs);
    // Reaps the placeholder: the number is no longer ours, and no signal is
    // sent after this. Doing it again does nothing.
    void release();

private:
    // The placeholder is still our child and unreaped; forgets it otherwise.
    bool stillOurs();

    Sender m_send;
    // The placeholder's id, which names the group; 0 when none is held.
    pid_t m_leader = 0;
};

}  // namespace virirado
