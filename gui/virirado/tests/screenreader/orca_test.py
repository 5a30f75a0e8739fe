"""The window as a person who uses Debian's screen reader hears it: Orca reads
the real program on the test's own desktop, the keys do everything, and what
Orca speaks is judged, not what the accessibility bus carries.

The desktop is desktop.py's (an X server, a session bus with the accessibility
bus, a temporary home) with a window manager on it; Orca runs on that bus and
display from Debian's launcher (orca_launch.py: it neither looks for nor is
seen by the readers of the machine) and logs every utterance to its debug file.
The walk: the scan at launch, Tab to the cleanup list, the arrows through its
lines, a tick with Space, a group folded and opened, a "Check first" item ticked
through its sheet, the clean opened with Return, its rows and its code heard,
the code typed, Tab to Delete, Ctrl+Shift+D, the result heard; then the home
shows that exactly the ticked items went.

Each key takes a mark in Orca's log first; the step waits for the words it
expects among the utterances after the mark. Key echoes ("tab ", a typed digit)
are not words. A wait is bounded only against a hang. Exits 77, with the
reason, where Orca, the window manager or the desktop's pieces are missing.

    orca_test.py --app build/bin/Virirado
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import time

# The source tree stays as it is: no compiled modules beside these.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import desktop  # noqa: E402

SKIP = 77
HERE = os.path.dirname(os.path.abspath(__file__))

# Long enough for a loaded machine under the sanitizers; reached only when what
# is awaited is never spoken.
STEP_BOUND_S = 60
POLL_S = 0.05
# How many Tabs or arrows a step may take to reach what it looks for.
MOST_MOVES = 30

LIST = "Cleanup list by kind, biggest first"
SIZE = r"\d[\d.,]* (?:B|KB|MB|GB|TB)"

# X keysyms of the keys the walk presses.
KEYSYMS = {"Tab": 0xFF09, "Return": 0xFF0D, "space": 0x20, "Left": 0xFF51, "Up": 0xFF52,
           "Right": 0xFF53, "Down": 0xFF54}
# X modifier masks.
MODIFIER_MASKS = {"shift": 1 << 0, "ctrl": 1 << 2}


class NeverHeard(AssertionError):
    pass


def missing_tools():
    reasons = desktop.missing_tools()
    if shutil.which("openbox") is None:
        reasons.append("openbox is missing (Debian package openbox)")
    if not os.path.exists("/usr/bin/orca"):
        reasons.append("/usr/bin/orca is missing (Debian package orca)")
    try:
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi  # noqa: F401
    except (ImportError, ValueError) as e:
        reasons.append(f"libatspi cannot be loaded ({e}; Debian package gir1.2-atspi-2.0)")
    return reasons


# -- what Orca says ------------------------------------------------------------


CONTINUED = " " * 18


class Speech:
    """Orca's utterances, read from its debug log as it grows."""

    # "SPEECH OUTPUT: 'words'", then the voice: its name and its settings.
    LINE = re.compile(r"SPEECH OUTPUT: '(.*)'(?: voice=\S+)? ?(?:\{.*\})?$")

    def __init__(self, path):
        self.path = path
        self.said = []
        self._offset = 0
        self._rest = b""
        self._open = None

    def _read(self):
        try:
            with open(self.path, "rb") as f:
                f.seek(self._offset)
                data = f.read()
        except FileNotFoundError:
            return
        self._offset += len(data)
        *lines, self._rest = (self._rest + data).split(b"\n")
        for raw in lines:
            self._line(raw.decode("utf-8", "replace"))

    def _line(self, line):
        # Words that hold a line break go on over lines indented by 18 spaces.
        if self._open is not None:
            if line.startswith(CONTINUED):
                line = self._open + "\n" + line[len(CONTINUED):]
                self._open = None
            else:
                # Not a form this knows: kept whole, so a check still sees it.
                self.said.append(self._open.split("SPEECH OUTPUT: '", 1)[1])
                self._open = None
        if "SPEECH OUTPUT: '" not in line:
            return
        found = self.LINE.search(line)
        if found:
            self.said.append(found.group(1))
        else:
            self._open = line

    def mark(self):
        """A place in the log: later checks read only what comes after it."""
        self._read()
        return len(self.said)

    def words(self, since):
        """What was said after the mark, key echoes left out: Orca echoes a
        key by its name and a space ("tab ", "space "), a typed character by
        itself."""
        self._read()
        return [w for w in self.said[since:] if not (w.endswith(" ") or len(w) <= 1)]

    def everything(self, since=0):
        self._read()
        return self.said[since:]

    def await_(self, what, check, since):
        """Waits until `check`, given the words said after the mark, returns
        something true, and returns that."""
        deadline = time.monotonic() + STEP_BOUND_S
        while True:
            found = check(self.words(since))
            if found:
                return found
            if time.monotonic() > deadline:
                said = self.everything(since)
                raise NeverHeard(f"never heard: {what}\n  Orca said instead: {said!r}")
            time.sleep(POLL_S)


def heard(pattern):
    """A check: the first utterance in which `pattern` is found, as a match;
    "." also stands for a line break."""
    compiled = re.compile(pattern, re.S)

    def check(words):
        for w in words:
            found = compiled.search(w)
            if found:
                return found
        return None
    return check


def heard_all(*patterns):
    """A check: every pattern found, each in some utterance; their matches."""
    checks = [heard(p) for p in patterns]

    def check(words):
        found = [c(words) for c in checks]
        return found if all(found) else None
    return check


# -- the keys ------------------------------------------------------------------


class Keys:
    """Keys as a person types them: through the accessibility registry, which
    hands them to the X server as real key presses, so the reader hears them as
    it hears a keyboard."""

    def __init__(self, speech):
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi
        self.atspi = Atspi
        self.speech = speech

    def press(self, combo):
        """Presses `combo` ("Tab", "ctrl+shift+d", "4"); returns the mark taken
        before it."""
        *modifiers, key = combo.split("+")
        keysym = KEYSYMS.get(key, ord(key) if len(key) == 1 else None)
        assert keysym is not None, f"no keysym for {key!r}"
        # The registry lets go of modifier keys pressed by their keysyms before
        # it types the next keysym, so the modifiers are held as a lock, which
        # the key's event carries as held keys do.
        mask = sum(MODIFIER_MASKS[m] for m in modifiers)
        how = self.atspi.KeySynthType
        mark = self.speech.mark()
        if mask:
            self.atspi.generate_keyboard_event(mask, None, how.LOCKMODIFIERS)
        self.atspi.generate_keyboard_event(keysym, None, how.PRESSRELEASE | how.SYM)
        if mask:
            self.atspi.generate_keyboard_event(mask, None, how.UNLOCKMODIFIERS)
        return mark


# -- the walk ------------------------------------------------------------------


def row_words(name, tick="Keep it check box not checked"):
    """A row's line as Orca says it when the keys reach it: the row's name,
    what it gives back, its tick's words, its role and state."""
    return rf"^{re.escape(name)}, gets back ({SIZE}), {tick}\.$"


def group_words(title):
    """A group's line: its title, count, what it gives back, open or closed."""
    return rf"^{re.escape(title)}, (\d+) items, gets back ({SIZE}), (?:open|closed)\.$"


ANY_LINE = rf"^[^,]+, (?:\d+ items, )?gets back (?:{SIZE}|—), "
TICKED = "Clean it check box checked"
# A role's name alone, as Orca says it for an element without a name.
BARE_ROLE = re.compile(r"^[a-z]+(?: [a-z]+)?\.?$")


def named(words):
    """A check: a place the focus reached is spoken with more than its role
    ("text.", "push button."), which says nothing of what it is for."""
    return [w for w in words if not BARE_ROLE.match(w)]


class Walk:
    def __init__(self, home, speech, keys):
        self.home = home
        self.speech = speech
        self.keys = keys
        # What the walk heard on the way: the rows' sizes, the typed code.
        self.sizes = {}
        self.code = None

    def say(self, step, words):
        print(f"{step}: {' | '.join(words) if isinstance(words, list) else words}")

    def press(self, combo, what, check):
        mark = self.keys.press(combo)
        found = self.speech.await_(f"{what} (after {combo})", check, mark)
        self.say(combo, self.speech.words(mark))
        return found

    def move_until(self, combo, what, check, each=heard(ANY_LINE)):
        """Presses `combo` until `check` hears what it looks for; each press
        must be answered by words `each` accepts. Returns the last words."""
        for _ in range(MOST_MOVES):
            mark = self.keys.press(combo)
            self.speech.await_(f"words for the place {combo} reached", each, mark)
            words = self.speech.words(mark)
            self.say(combo, words)
            if check(words):
                return words
        raise NeverHeard(f"{MOST_MOVES} presses of {combo} never reached {what}")

    def steps(self):
        self.launch()
        self.walk_the_list(self.into_the_list())
        self.tick_a_row()
        self.fold_and_open()
        self.tick_a_review_item()
        self.open_the_clean()
        self.delete()
        self.exactly_the_ticked_went()

    def launch(self):
        mark = self.speech.mark()
        self.home.launch_app(dry_run=False)
        self.speech.await_("the window, as it becomes active", heard(r"\bVirirado UI\b"), mark)
        self.say("launch", self.speech.words(mark))
        # The scan at launch has ended once the engine's "done" reached the app.
        deadline = time.monotonic() + STEP_BOUND_S
        while '"event":"done"' not in self.home.traffic_log().replace(" ", ""):
            if time.monotonic() > deadline:
                raise NeverHeard("the scan at launch never ended")
            time.sleep(POLL_S)

    def into_the_list(self):
        """Tab from wherever the window starts to the cleanup list; every stop
        on the way is spoken with words. Returns what the list said."""
        return self.move_until("Tab", f'the list "{LIST}"', heard(rf"^{re.escape(LIST)} tree$"),
                               each=named)

    def walk_the_list(self, entry):
        """Up to the first line, the Caches group, unless the list starts
        there; Down to its two rows, biggest first, and Up again: each line
        speaks its own words."""
        caches = heard(group_words("Caches"))
        if not caches(entry):
            self.move_until("Up", "the first line, the Caches group", caches)
        found = self.press("Down", "the thumbnails cache's row",
                           heard(row_words("thumbnails cache")))
        self.sizes["thumbnails"] = found.group(1)
        self.press("Down", "the pip cache's row", heard(row_words("pip cache")))
        self.press("Up", "the thumbnails row again", heard(row_words("thumbnails cache")))

    def tick_a_row(self):
        """Space on the row: Orca says the change of its state."""
        self.press("space", "the row ticked", heard(r"^checked$"))

    def fold_and_open(self):
        """Left from a row goes to its group's line, which now has some of its
        rows ticked; Left again folds it, Right opens it again."""
        self.press("Left", "the Caches group's line, open, some of it ticked",
                   heard_all(group_words("Caches"), r"^expanded\.$", r"^Some ticked\.$"))
        self.press("Left", "the group folded", heard(r"^notification collapsed\.$"))
        self.press("Right", "the group open again", heard(r"^notification expanded\.$"))

    def tick_a_review_item(self):
        """The build folder is an item to check first: Space opens its sheet,
        Tab reaches the sheet's buttons, Space on "Clean it" ticks it."""
        target = row_words("target · proj")
        words = self.move_until("Down", "the build folder's row", heard(target))
        self.sizes["target"] = heard(target)(words).group(1)
        size = re.escape(self.sizes["target"])
        # The sheet as a dialog of its own title; its row's name, size, place.
        self.press("space", 'the "Check first" sheet with its row',
                   heard_all(r"^Check first dialog ", rf"^target · proj, {size}, ~/proj/target\.$"))
        self.move_until("Tab", 'the sheet\'s "Clean it" button',
                        heard(r"^Clean it push button\.$"), each=heard(r" push button\.$"))
        self.press("space", "the row ticked once the sheet has closed",
                   heard(row_words("target · proj", TICKED)))

    def open_the_clean(self):
        """Return asks for the clean: the confirmation is read with each row's
        name, size, where it goes and badge, and the code field with its
        prompt, which holds the code."""
        thumbs, target = (re.escape(self.sizes[k]) for k in ("thumbnails", "target"))
        found = self.press("Return", "the confirmation with its rows and the code field",
                           heard_all(rf"^Delete for real dialog 2 items · ({SIZE}) "
                                     r"1 to Trash · 1 removed for good "
                                     rf"thumbnails cache, {thumbs}, removed for good "
                                     rf"target · proj, {target}, to Trash, Check first\.$",
                                     r"^Type (\d\d) to delete text\.$"))
        self.sizes["total"] = found[0].group(1)
        self.code = found[1].group(1)

    def delete(self):
        """The code typed, Tab to Delete (spoken with its key), Ctrl+Shift+D;
        the result is spoken: what was freed, how many went, none failed, and
        that the Trash holds some of it."""
        total = re.escape(self.sizes["total"])
        for digit in self.code:
            self.keys.press(digit)
        self.move_until("Tab", "the Delete button with its key",
                        heard(rf"^Delete {total} push button Ctrl\+Shift\+D\.$"),
                        each=heard(r" push button(?: Ctrl\+Shift\+D)?\.$"))
        self.press("ctrl+shift+d", "the result",
                   heard(rf"^notification Done\. Freed {total} · 2 deleted · 0 failed\. "
                         r"Empty the Trash to free what went there\.$"))

    def exactly_the_ticked_went(self):
        """On disk: the ticked cache removed for good, the ticked build folder
        in the home's Trash, the rest untouched."""
        home = self.home.home
        trash = os.path.join(home, ".local", "share", "Trash")
        gone = os.path.join(home, ".cache", "thumbnails")
        assert not os.path.exists(gone), f"{gone} is still there"
        assert not os.path.exists(os.path.join(home, "proj", "target")), "target still in place"
        assert os.path.isfile(os.path.join(trash, "files", "target", "debug", "app")), \
            f"target is not in the Trash: {os.listdir(trash) if os.path.isdir(trash) else 'none'}"
        assert os.path.isfile(os.path.join(trash, "info", "target.trashinfo"))
        for kept in (os.path.join(".cache", "pip", "wheel.bin"),
                     os.path.join("proj", "Cargo.toml")):
            assert os.path.isfile(os.path.join(home, kept)), f"{kept} went too"
        print("on disk: the cache removed, the build folder in the Trash, the rest kept")


# -- running it ------------------------------------------------------------------


def start_reader(home):
    """Orca on the desktop's bus and display, living in the temporary home.
    Returns its utterances once it listens, and its process."""
    log = os.path.join(home.root, "orca-debug.log")
    env = home.base_env()
    # No synthesizer: the debug log records every utterance all the same, and
    # no speech server is started for the run.
    env["SPEECHD_CMD"] = "/bin/false"
    said = os.path.join(home.root, "orca.out")
    with open(said, "wb") as out:
        orca = home.spawn([sys.executable, os.path.join(HERE, "orca_launch.py"),
                           "--debug-file=" + log], env, stdout=out, stderr=out)
    deadline = time.monotonic() + STEP_BOUND_S
    while "ORCA: Starting ATSPI registry." not in desktop.read_text(log):
        if orca.poll() == SKIP:
            raise desktop.Unavailable(desktop.read_text(said).strip())
        if orca.poll() is not None or time.monotonic() > deadline:
            raise RuntimeError("Orca never started: " + desktop.read_text(said)[-2000:])
        time.sleep(POLL_S)
    return Speech(log), orca


def end_reader(orca):
    """Orca ends before the app. A reader's call still in flight when the app
    exits is left unreleased inside libdbus by Qt 6.4's bridge, which the
    sanitizer build reports as a leak at exit: Qt's, harmless, but it would
    fail a run now and then."""
    orca.terminate()
    try:
        orca.wait(desktop.EXIT_BOUND_S)
    except subprocess.TimeoutExpired:
        orca.kill()
        orca.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--app", required=True, help="the Virirado program")
    args = parser.parse_args()
    if not os.access(args.app, os.X_OK):
        print(f"no program at {args.app}")
        return 1
    reasons = missing_tools()
    if reasons:
        print("SKIPPED: " + "; ".join(reasons))
        return SKIP
    error = None
    with desktop.Desktop(args.app) as home:
        home.start()
        # The keys reach the registry through the test's own session bus.
        os.environ.update({"DBUS_SESSION_BUS_ADDRESS": home.bus, "HOME": home.home,
                           "DISPLAY": home.display, "XDG_RUNTIME_DIR": home.runtime,
                           "GSETTINGS_BACKEND": "memory"})
        home.start_window_manager()
        try:
            speech, orca = start_reader(home)
        except desktop.Unavailable as e:
            print(f"SKIPPED: {e}")
            return SKIP
        try:
            Walk(home, speech, Keys(speech)).steps()
        except AssertionError as e:
            error = e
            print(f"FAILED: {e}")
            desktop.print_tail("the app's last output:", desktop.read_text(home.app_log))
        end_reader(orca)
    return desktop.verdict(home, error is not None,
                           "passed: Orca speaks each step of a clean done from the keyboard")


if __name__ == "__main__":
    sys.exit(main())
