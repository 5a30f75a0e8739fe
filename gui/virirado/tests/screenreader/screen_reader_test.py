#!/usr/bin/python3
"""The window as a person with a screen reader uses it: the real program on an
X server of its own, read and driven over the desktop's accessibility bus as
Orca reads it, against the stand-in cleaning engine in a temporary home.

Run by Debian's own /usr/bin/python3, where python3-pyatspi lives. Exits 77,
with the reason, where the machine lacks the desktop's pieces.

    screen_reader_test.py --app build/bin/Virirado
"""

import argparse
import json
import os
import re
import sys
import traceback

# The source tree stays as it is: no compiled modules beside these.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import desktop  # noqa: E402

try:
    import pyatspi
    from gi.repository import Gio, GLib

    import reader as r
    UNREADABLE = None
except (ImportError, ValueError) as e:  # ValueError: gi without the Atspi typelib
    UNREADABLE = f"pyatspi cannot be loaded ({e}; Debian package python3-pyatspi)"

SKIP = 77

LIST = "Cleanup list by kind, biggest first"
SIZE = r"\d[\d.,]* (?:B|KB|MB|GB|TB)"
GROUP = re.compile(rf"^(?P<title>.+), (?P<count>\d+) items, gets back (?P<back>{SIZE}|—), "
                   r"(?P<fold>open|closed)$")
ROW = re.compile(rf"^(?P<name>.+), gets back (?P<back>{SIZE}|—), (?P<tick>Keep it|Clean it)$")
FATES = ("Ticked to clean", "Look only", "Blocked now", "Goes to Trash", "Tool cleans it",
         "Emptied for good", "Removed \u00b7 rebuildable")
TILE = re.compile(rf"^(?P<title>.+), (?P<size>{SIZE}), (?P<fate>" +
                  "|".join(re.escape(f) for f in FATES) + ")$")
LEGEND = re.compile(rf"^(?P<label>Other|Back|Kept|Free), (?P<value>{SIZE})$")
SCOPES = ("Everything", "Biggest files", "Developer", "Caches & temp", "Downloads & Trash",
          "Apps", "System & snapshots", "VMs & cloud")


class Walk:
    """What a person does, step by step; each method is a run of steps."""

    def __init__(self, home, events):
        self.home = home
        self.events = events
        self.window = None
        self.cleanup = None
        # The row ticked on the way, as its line read before: name and size.
        self.ticked = None

    def steps(self):
        app = yield r.Wait("the app on the accessibility bus", lambda: r.application("Virirado"))
        self.window = yield r.Wait('its window "Virirado UI"',
                                   lambda: r.find(app, "Virirado UI", pyatspi.ROLE_FRAME),
                                   lambda: r.outline(app))
        yield from self.chrome()
        yield from self.cleanup_list()
        yield from self.tick_a_row()
        yield from self.largest_files_map()

    def chrome(self):
        """What the window has had all along: the search field and the scopes."""
        yield r.Wait('the search field "Search"',
                     lambda: r.find(self.window, "Search", pyatspi.ROLE_TEXT))
        scopes = yield r.Wait("the eight scopes", lambda: scope_buttons(self.window))
        assert checked(scopes) == ["Everything"], checked(scopes)
        # Choosing a scope moves the mark, and the reader hears of it.
        pressed = self.events.mark()
        r.press(scopes[2], "Toggle")
        yield r.Wait('"Developer" the chosen scope, and only it',
                     lambda: checked(scopes) == ["Developer"], lambda: checked(scopes))
        yield r.Wait("an event that it is now checked",
                     lambda: self.events.about(scopes[2], "object:state-changed:checked",
                                               pressed, 1))
        r.press(scopes[0], "Toggle")
        yield r.Wait('"Everything" chosen again', lambda: checked(scopes) == ["Everything"])

    def lines(self):
        return [r.name(line) for line in r.children(self.cleanup)]

    def selected(self):
        return [r.name(line) for line in r.children(self.cleanup)
                if r.has_state(line, pyatspi.STATE_SELECTED)]

    def cleanup_list(self):
        """The list found by its name, its lines by their labels; a group
        folded and opened again by pressing its line."""
        self.cleanup = yield r.Wait(f'the list "{LIST}"', lambda: r.find(self.window, LIST))
        # The scan at launch fills it: one line per group, biggest first.
        groups = yield r.Wait("a line for each of the two groups, once the scan is done",
                              lambda: matches(GROUP, self.lines(), 2),
                              lambda: r.outline(self.cleanup))
        assert [g["title"] for g in groups] == ["Caches", "Dev builds"], groups
        assert [g["count"] for g in groups] == ["2", "1"], groups
        # A fresh home opens the first two groups.
        assert all(g["fold"] == "open" for g in groups), groups

        # Pressing a group's line folds it, its rows leave; pressing it again
        # opens it, its rows follow it again.
        r.press(line_starting(self.cleanup, "Caches, "))
        yield r.Wait('"Caches" folded, its rows gone',
                     lambda: folded_alone(self.lines(), "Caches"), lambda: r.outline(self.cleanup))
        r.press(line_starting(self.cleanup, "Caches, "))
        rows = yield r.Wait('"Caches" open again, with its two rows after it',
                            lambda: open_group_rows(self.lines(), "Caches", 2),
                            lambda: r.outline(self.cleanup))
        assert all(row["tick"] == "Keep it" for row in rows), rows
        # The pressed line is the selected one, and only it.
        opened = f"Caches, 2 items, gets back {groups[0]['back']}, open"
        yield r.Wait("the pressed group line selected, and only it",
                     lambda: self.selected() == [opened], self.selected)
        self.ticked = next(row for row in rows if row["name"].startswith("thumbnails"))

    def tick_a_row(self):
        """A row selected by its line and ticked by its tick control: the row
        and the control say so, and the engine holds the tick."""
        name, back = self.ticked["name"], self.ticked["back"]
        row = line_starting(self.cleanup, name + ", ")
        pressed = self.events.mark()
        r.press(row)
        yield r.Wait(f'the row "{name}" selected, the group line no longer',
                     lambda: self.selected() == [r.name(row)], self.selected)
        yield r.Wait("an event that the row is now selected",
                     lambda: self.events.about(row, "object:state-changed:selected", pressed, 1))

        tick = yield r.Wait('the row\'s tick control "Keep it"', lambda: r.find(row, "Keep it"),
                            lambda: r.outline(row))
        pressed = self.events.mark()
        r.press(tick)
        label = f"{name}, gets back {back}, Clean it"
        yield r.Wait(f'the row reading "{label}"', lambda: label in self.lines(), self.lines)
        yield r.Wait('the row the reader holds reading it too, its control "Clean it"',
                     lambda: r.name(row) == label and r.name(tick) == "Clean it",
                     lambda: (r.name(row), r.name(tick)))
        yield r.Wait("an event that the row's name changed",
                     lambda: self.events.about(row, "object:property-change:accessible-name",
                                               pressed))
        yield r.Wait("the cleaning engine holding the tick",
                     lambda: self.home.ids["thumbnails"] in engine_ticked(self.home),
                     lambda: self.home.traffic_log().splitlines()[-3:] or "no traffic log")
        yield r.Wait(f'the hero reading "{back} comes back"',
                     lambda: r.find(self.window, f"{back} comes back"))

    def largest_files_map(self):
        """The strip opens the map; every row has a tile that says its fate,
        and the legend reads its four figures."""
        strip = r.find(self.window, "Expand largest files map")
        assert strip is not None, 'no element named "Expand largest files map"'
        r.press(strip)
        yield r.Wait('the strip reading "Collapse largest files map"',
                     lambda: r.find(self.window, "Collapse largest files map"))
        buttons = lambda: [b for b in r.descendants(self.window)  # noqa: E731
                           if r.role(b) == pyatspi.ROLE_PUSH_BUTTON]
        names = lambda: [r.name(b) for b in buttons()]  # noqa: E731
        tiles = yield r.Wait("a tile for each of the three rows",
                             lambda: matches(TILE, names(), 3), names)
        fates = {t["title"].split(" ")[0]: (t["size"], t["fate"]) for t in tiles}
        assert fates.get("thumbnails") == (self.ticked["back"], "Ticked to clean"), tiles
        assert fates.get("pip", ("", ""))[1] == "Removed \u00b7 rebuildable", tiles
        assert fates.get("target", ("", ""))[1] == "Goes to Trash", tiles
        # The selected row's tile is the selected one.
        selected = lambda: [r.name(b) for b in buttons()  # noqa: E731
                            if TILE.match(r.name(b)) and r.has_state(b, pyatspi.STATE_SELECTED)]
        yield r.Wait("the selected row's tile selected, and only it",
                     lambda: len(selected()) == 1 and selected()[0].startswith("thumbnails"),
                     selected)

        every_name = lambda: [r.name(e) for e in r.descendants(self.window)]  # noqa: E731
        legend = yield r.Wait("the four legend items, each its label and value",
                              lambda: matches(LEGEND, every_name(), 4))
        assert [item["label"] for item in legend] == ["Other", "Back", "Kept", "Free"], legend
        assert legend[1]["value"] == self.ticked["back"], legend


def scope_buttons(window):
    found = []
    for scope in SCOPES:
        button = r.find(window, wanted_role=pyatspi.ROLE_CHECK_BOX,
                        test=lambda e, s=scope: r.name(e).startswith(s + " "))
        if button is None:
            return None
        found.append(button)
    return found


def checked(scopes):
    return [s for s, button in zip(SCOPES, scopes) if r.has_state(button, pyatspi.STATE_CHECKED)]


def line_starting(cleanup, prefix):
    for line in r.children(cleanup):
        if r.name(line).startswith(prefix):
            return line
    raise AssertionError(f"no line of the list starts with {prefix!r}: {r.outline(cleanup)}")


def matches(pattern, labels, count):
    """The labels that match, as dicts, when exactly `count` do."""
    found = [m.groupdict() for m in map(pattern.match, labels) if m]
    return found if len(found) == count else None


def folded_alone(labels, title):
    """Whether the group `title` reads closed with no row line after it."""
    for i, label in enumerate(labels):
        group = GROUP.match(label)
        if group and group["title"] == title:
            after = labels[i + 1] if i + 1 < len(labels) else ""
            return group["fold"] == "closed" and not ROW.match(after)
    return False


def open_group_rows(labels, title, count):
    """The `count` row lines right after the group `title`, once it reads open."""
    for i, label in enumerate(labels):
        group = GROUP.match(label)
        if group and group["title"] == title:
            if group["fold"] != "open":
                return None
            rows = [ROW.match(x) for x in labels[i + 1:i + 1 + count]]
            return [m.groupdict() for m in rows] if len(rows) == count and all(rows) else None
    return None


def engine_ticked(home):
    """The ids the cleaning engine last said it holds ticked, from the app's
    traffic log."""
    ticked = []
    for line in home.traffic_log().splitlines():
        if not line.startswith("<< "):
            continue
        try:
            event = json.loads(line[3:])
        except ValueError:
            continue
        if isinstance(event, dict) and event.get("event") == "selection":
            ticked = event.get("ticked") or []
    return ticked


def announce_screen_reader(bus):
    """What a screen reader does when it starts; the app's toolkit turns its
    accessibility on when it sees it."""
    connection = Gio.DBusConnection.new_for_address_sync(
        bus, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
        Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
    connection.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties",
                         "Set", GLib.Variant("(ssv)", ("org.a11y.Status", "ScreenReaderEnabled",
                                                      GLib.Variant("b", True))),
                         None, Gio.DBusCallFlags.NONE, -1, None)
    connection.close_sync(None)


def report(error):
    if isinstance(error, r.NeverHappened):
        print(f"FAILED: {error}")
    else:
        print("FAILED:")
        traceback.print_exception(error, file=sys.stdout)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--app", required=True, help="the Virirado program")
    args = parser.parse_args()
    if not os.access(args.app, os.X_OK):
        print(f"no program at {args.app}")
        return 1
    if UNREADABLE:
        print(f"SKIPPED: {UNREADABLE}")
        return SKIP
    with desktop.Desktop(args.app) as home:
        try:
            home.start()
        except desktop.Unavailable as e:
            print(f"SKIPPED: {e}")
            return SKIP
        # The reader finds the accessibility bus through the session bus, as on
        # a desktop, and lives in the temporary home as well.
        os.environ.update({"DBUS_SESSION_BUS_ADDRESS": home.bus, "HOME": home.home,
                           "XDG_RUNTIME_DIR": home.runtime, "GSETTINGS_BACKEND": "memory"})
        announce_screen_reader(home.bus)
        events = r.Events()
        home.launch_app()
        error = r.run(Walk(home, events).steps())
        if events.unreadable:
            print(f"note: the reader could not read {len(events.unreadable)} of the app's "
                  f"messages, such as: {events.unreadable[0]}")
        if error is not None:
            report(error)
            desktop.print_tail("the app's last output:", desktop.read_text(home.app_log))
    return desktop.verdict(home, error is not None,
                           "passed: the window reads and works as a screen reader uses it")


if __name__ == "__main__":
    sys.exit(main())
