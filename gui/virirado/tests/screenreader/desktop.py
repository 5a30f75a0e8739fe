"""A private desktop for one run of the window: a temporary home with a few
things to clean, an X server, a session bus with the accessibility bus on it,
and the real program scanning that home at launch.

Everything it starts ends with it, also when the run fails: each process it
starts itself dies with it (a parent-death signal), and every process below
them (the accessibility bus and registry the session bus starts, the cleaning
engine and scanner the app starts) is reparented to this process when its own
parent goes, so nothing can slip away before the last sweep.
"""

import ctypes
import os
import select
import shlex
import shutil
import signal
import subprocess
import tempfile
import time

PR_SET_CHILD_SUBREAPER = 36

# Debian's at-spi2-core: the accessibility bus launcher (started by the session
# bus when a client asks for org.a11y.Bus) and the registry (started on the
# accessibility bus).
BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
REGISTRY = "/usr/libexec/at-spi2-registryd"
BUS_SERVICE = "/usr/share/dbus-1/services/org.a11y.Bus.service"

# Bounds for things that either happen soon or never: they fail the run only
# when nothing happens at all.
STARTUP_BOUND_S = 60
EXIT_BOUND_S = 30


class Unavailable(Exception):
    """The machine lacks something the run needs; the reason says what."""


def missing_tools():
    """What of the desktop's programs is not installed, as reasons."""
    reasons = []
    for tool, package in (("Xvfb", "xvfb"), ("dbus-daemon", "dbus-daemon"),
                          ("setpriv", "util-linux")):
        if shutil.which(tool) is None:
            reasons.append(f"{tool} is missing (Debian package {package})")
    for path in (BUS_LAUNCHER, REGISTRY, BUS_SERVICE):
        if not os.path.exists(path):
            reasons.append(f"{path} is missing (Debian package at-spi2-core)")
    return reasons


def write_file(path, size):
    """A file of `size` bytes that really takes room (no holes)."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    chunk = b"\x5a" * 65536
    with open(path, "wb") as f:
        left = size
        while left > 0:
            f.write(chunk[:min(left, len(chunk))])
            left -= len(chunk)


def make_home(home):
    """Two groups of things to clean: two cache folders under ~/.cache, and a
    Rust project's build folder. Returns the ids the stand-in gives them."""
    write_file(os.path.join(home, ".cache", "thumbnails", "big.bin"), 6_000_000)
    write_file(os.path.join(home, ".cache", "pip", "wheel.bin"), 2_000_000)
    write_file(os.path.join(home, "proj", "target", "debug", "app"), 3_000_000)
    with open(os.path.join(home, "proj", "Cargo.toml"), "w") as f:
        f.write('[package]\nname = "proj"\n')
    return {
        "thumbnails": "cache:" + os.path.join(home, ".cache", "thumbnails"),
        "pip": "cache:" + os.path.join(home, ".cache", "pip"),
        "target": "devbuild:" + os.path.join(home, "proj", "target"),
    }


def read_line(fd, what):
    """One line a child writes on `fd` once it is ready."""
    data = b""
    deadline = time.monotonic() + STARTUP_BOUND_S
    while not data.endswith(b"\n"):
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            raise RuntimeError(f"{what} never said it was ready")
        piece = os.read(fd, 4096)
        if not piece:
            raise RuntimeError(f"{what} ended before it was ready")
        data += piece
    return data.decode().strip()


def children_of(pid):
    """The processes whose parent is `pid`, from /proc."""
    found = []
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open(f"/proc/{name}/stat") as f:
                stat = f.read()
        except OSError:
            continue
        # "pid (name) state ppid ...": the name may hold spaces and parentheses.
        fields = stat[stat.rfind(")") + 2:].split()
        if len(fields) > 1 and int(fields[1]) == pid and fields[0] not in "ZX":
            found.append(int(name))
    return found


class Desktop:
    """Use as a context manager; `start` brings everything up in order."""

    def __init__(self, app):
        self.app_path = app
        self.root = tempfile.mkdtemp(prefix="vsr-")
        self.home = os.path.join(self.root, "home")
        self.runtime = os.path.join(self.root, "runtime")
        self.app_log = os.path.join(self.root, "app.log")
        os.makedirs(self.home)
        os.mkdir(self.runtime, 0o700)
        self.ids = {}
        self.display = None
        self.bus = None
        self.app = None
        self._started = []
        self.app_status = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
        return False

    # -- start --------------------------------------------------------------

    def start(self):
        reasons = missing_tools()
        if reasons:
            raise Unavailable("; ".join(reasons))
        ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)
        self.ids = make_home(self.home)
        self.display = self._start_x()
        self.bus = self._start_session_bus()

    def spawn(self, argv, env, **kwargs):
        # Dies with this process, whatever ends it.
        child = subprocess.Popen(["setpriv", "--pdeathsig", "KILL", "--"] + argv, env=env,
                                 stdin=subprocess.DEVNULL, **kwargs)
        self._started.append(child)
        return child

    def base_env(self):
        """What every process of the desktop sees: the temporary home, never the
        real one, and the English way of writing numbers."""
        env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": self.home,
            "XDG_RUNTIME_DIR": self.runtime,
            "LANG": "C.UTF-8",
            "LC_ALL": "C.UTF-8",
            # Nothing reads or writes the desktop's stored settings.
            "GSETTINGS_BACKEND": "memory",
        }
        for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"):
            if name in os.environ:
                env[name] = os.environ[name]
        if self.display:
            env["DISPLAY"] = self.display
        if self.bus:
            env["DBUS_SESSION_BUS_ADDRESS"] = self.bus
        return env

    def _start_x(self):
        read_end, write_end = os.pipe()
        self.spawn(["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp", "-screen", "0",
                    "1600x1000x24"], self.base_env(), pass_fds=(write_end,),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        try:
            return ":" + read_line(read_end, "Xvfb")
        finally:
            os.close(read_end)

    def _start_session_bus(self):
        read_end, write_end = os.pipe()
        # The desktop's own session configuration, so the accessibility bus is
        # activated from Debian's service file as on a desktop; its socket lives
        # in the run's private folder.
        with open(os.path.join(self.root, "bus.log"), "wb") as log:
            self.spawn(["dbus-daemon", "--session", "--nofork", "--nosyslog",
                        f"--address=unix:dir={self.runtime}", f"--print-address={write_end}"],
                       self.base_env(), pass_fds=(write_end,), stdout=subprocess.DEVNULL,
                       stderr=log)
        os.close(write_end)
        try:
            return read_line(read_end, "the session bus")
        finally:
            os.close(read_end)

    def start_window_manager(self):
        """openbox on the display, as every person's desktop has a window
        manager: it makes the window it maps the active one. Without one no
        window of the display is ever active, and a screen reader speaks
        nothing when the focus moves. Returns once openbox runs its start-up
        command."""
        ready = os.path.join(self.root, "window-manager-ready")
        self.spawn(["openbox", "--sm-disable", "--startup", "touch " + shlex.quote(ready)],
                   self.base_env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + STARTUP_BOUND_S
        while not os.path.exists(ready):
            if time.monotonic() > deadline:
                raise RuntimeError("openbox never ran its start-up command")
            time.sleep(0.05)

    def launch_app(self, dry_run=True):
        """The program on the xcb platform, scanning the home at launch, its
        cleans only pretending unless `dry_run` is false: then the stand-in
        really removes and moves to the home's Trash what is cleaned, all of it
        inside the temporary home."""
        env = self.base_env()
        env.update({
            "QT_QPA_PLATFORM": "xcb",
            "VIRIRADO_AUTOSCAN": "1",
            "VIRIRADO_APPEARANCE": "light",
            "VIRIRADO_REDUCE_MOTION": "1",
        })
        if dry_run:
            env["VIRIRADO_STANDIN_DRY_RUN"] = "1"
        with open(self.app_log, "wb") as log:
            self.app = self.spawn([self.app_path, "--autoscan"], env, stdout=log,
                                  stderr=subprocess.STDOUT)
        return self.app

    def traffic_log(self):
        """What the app and the cleaning engine said to each other."""
        return read_text(os.path.join(self.home, "Library", "Logs", "Virirado", "gui-engine.log"))

    # -- stop ---------------------------------------------------------------

    def stop(self):
        if self.app is not None and self.app.poll() is None:
            # Logout's signal: the app ends its cleaning engine and exits.
            self.app.send_signal(signal.SIGTERM)
            try:
                self.app_status = self.app.wait(EXIT_BOUND_S)
            except subprocess.TimeoutExpired:
                self.app.kill()
                self.app.wait()
        elif self.app is not None:
            self.app_status = self.app.returncode
        for child in reversed(self._started):
            if child.poll() is None:
                child.terminate()
        for child in reversed(self._started):
            try:
                child.wait(EXIT_BOUND_S)
            except subprocess.TimeoutExpired:
                child.kill()
                child.wait()
        self._sweep()
        shutil.rmtree(self.root, ignore_errors=True)

    def _sweep(self):
        """Ends whatever still runs below this process: the accessibility bus
        and registry, an engine its app left behind."""
        deadline = time.monotonic() + EXIT_BOUND_S
        while True:
            left = children_of(os.getpid())
            self._reap()
            if not left:
                return
            sig = signal.SIGTERM if time.monotonic() < deadline else signal.SIGKILL
            for pid in left:
                try:
                    os.kill(pid, sig)
                except ProcessLookupError:
                    pass
            time.sleep(0.05)

    @staticmethod
    def _reap():
        while True:
            try:
                pid, _ = os.waitpid(-1, os.WNOHANG)
            except ChildProcessError:
                return
            if pid == 0:
                return


def verdict(home, failed, passed):
    """The run's exit status once the desktop has ended: a failed step, or an
    app that did not end cleanly on the logout signal, fails it."""
    print(f"the app ended with status {home.app_status}")
    if failed:
        return 1
    if home.app_status != 0:
        print("FAILED: the app did not end cleanly on the logout signal")
        return 1
    print(passed)
    return 0


def read_text(path):
    """A file's text, empty when it cannot be read."""
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()
    except OSError:
        return ""


def print_tail(title, text, lines=40):
    """The last lines of what a program printed, after a failure."""
    tail = text.splitlines()[-lines:]
    if tail:
        print(title)
        for line in tail:
            print("  " + line)
