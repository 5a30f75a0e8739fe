"""Reading a window as a screen reader does: over the accessibility bus, with
Debian's pyatspi, inside its event loop, so the library caches what it reads
and learns of changes from the app's events exactly as it does for Orca.

A run is a generator of steps: each step yields a `Wait`, which names what is
awaited and how to see it, and gets back what the check returned once it is
true. Nothing is timed: a bound only ends a run in which what is awaited never
happens.
"""

import time

import pyatspi
from gi.repository import GLib

# Long enough for a loaded machine under the sanitizers; reached only when the
# awaited thing never happens.
STEP_BOUND_S = 60
POLL_MS = 50


class NeverHappened(AssertionError):
    pass


class Wait:
    def __init__(self, what, check, detail=None):
        self.what = what
        self.check = check
        # What the bus shows instead, for the failure message.
        self.detail = detail


def run(steps):
    """Runs the generator `steps` inside the accessibility event loop. Returns
    None when every step came through, else the exception that stopped it."""
    outcome = []

    def finish(error):
        outcome.append(error)
        pyatspi.Registry.stop()

    def advance(value=None, error=None):
        try:
            wait = steps.throw(error) if error is not None else steps.send(value)
        except StopIteration:
            finish(None)
            return False
        except BaseException as e:  # the run's own failure, reported by the caller
            finish(e)
            return False
        poll_until(wait)
        return False

    def poll_until(wait):
        deadline = time.monotonic() + STEP_BOUND_S

        def poll():
            try:
                value = attempt(wait.check)
            except BaseException as e:  # a fault in the check itself ends the run
                GLib.idle_add(lambda: advance(error=e))
                return False
            if value:
                GLib.idle_add(advance, value)
                return False
            if time.monotonic() > deadline:
                shown = attempt(wait.detail) if wait.detail else None
                message = f"never happened: {wait.what}"
                if shown:
                    message += f"\n  the bus shows: {shown}"
                GLib.idle_add(lambda: advance(error=NeverHappened(message)))
                return False
            return True

        GLib.timeout_add(POLL_MS, poll)

    GLib.idle_add(advance)
    pyatspi.Registry.start(gil=False)
    return outcome[0] if outcome else RuntimeError("the event loop ended early")


def attempt(check):
    """A check that may meet an element the app has just dropped; that only
    means 'not yet'."""
    try:
        return check()
    except GLib.Error:
        return None


# -- reading ----------------------------------------------------------------


def children(element):
    if element is None:
        return []
    try:
        count = element.childCount
    except GLib.Error:
        return []
    found = []
    for i in range(count):
        try:
            child = element.getChildAtIndex(i)
        except GLib.Error:
            continue
        if child is not None:
            found.append(child)
    return found


def descendants(element, depth=40):
    for child in children(element):
        yield child
        if depth > 0:
            yield from descendants(child, depth - 1)


def name(element):
    try:
        return element.name or ""
    except GLib.Error:
        return ""


def role(element):
    try:
        return element.getRole()
    except GLib.Error:
        return None


def has_state(element, state):
    try:
        return element.getState().contains(state)
    except GLib.Error:
        return False


def actions(element):
    try:
        action = element.queryAction()
    except (NotImplementedError, GLib.Error):
        return []
    return [action.getName(i) for i in range(action.nActions)]


def find(root, wanted_name=None, wanted_role=None, test=None):
    for element in descendants(root):
        if wanted_name is not None and name(element) != wanted_name:
            continue
        if wanted_role is not None and role(element) != wanted_role:
            continue
        if test is not None and not test(element):
            continue
        return element
    return None


def application(app_name):
    for app in children(pyatspi.Registry.getDesktop(0)):
        if name(app) == app_name:
            return app
    return None


def press(element, action_name="Press"):
    """Asks for one of the element's actions by its name, as a screen reader's
    'activate' does."""
    names = actions(element)
    if action_name not in names:
        raise AssertionError(f"{name(element)!r} offers no {action_name!r} action, only {names}")
    element.queryAction().doAction(names.index(action_name))


def outline(element, depth=1):
    """The element's children as the bus lists them, for failure messages."""
    parts = []
    for child in children(element):
        text = f"{role_name(child)} {name(child)!r}"
        if depth > 0 and children(child):
            text += " [" + ", ".join(
                f"{role_name(c)} {name(c)!r}" for c in children(child)) + "]"
        parts.append(text)
    return "; ".join(parts) or "no children"


def role_name(element):
    try:
        return element.getRoleName()
    except GLib.Error:
        return "?"


class Events:
    """Every event of the given kinds the app sends, in order."""

    KINDS = ("object:state-changed:selected", "object:state-changed:checked",
             "object:property-change:accessible-name",
             "object:children-changed", "object:state-changed:focused")

    def __init__(self):
        self.seen = []
        # What the library could not read of what the app sent; it would
        # otherwise only warn on standard error.
        self.unreadable = []
        GLib.log_set_handler("dbind", GLib.LogLevelFlags.LEVEL_WARNING,
                             lambda _domain, _level, message, _data:
                             self.unreadable.append(message), None)
        pyatspi.Registry.registerEventListener(self._heard, *self.KINDS)

    def _heard(self, event):
        self.seen.append((event.type, event.source, event.detail1))

    def mark(self):
        """A place in the record, to ask only about what came after it."""
        return len(self.seen)

    def about(self, element, kind, since=0, detail=None):
        return [e for e in self.seen[since:] if e[0].startswith(kind) and e[1] == element
                and (detail is None or e[2] == detail)]
