"""Runs Debian's Orca for one test: its own launcher (/usr/bin/orca), with two
of the launcher's habits left out.

The launcher looks for other Orcas by process name across the whole machine
(`pgrep -u <user> -x orca`): it refuses to start beside one, and with
--replace ends every one of them, a person's own reader included. It also
renames its process "orca", so that the same look-up by any other tool finds
it. The test's Orca lives on the test's own buses and display and must neither
see nor be seen by the readers of the machine, so here the look-up finds none
and the process keeps its name. Its debug file is opened line-buffered, so an
utterance reaches the file as it is spoken.

    orca_launch.py --debug-file=FILE [orca's own options]

Exits 77, with the reason, where the launcher is missing or is not the one this
was written for.
"""

import builtins
import importlib.machinery
import importlib.util
import os
import sys

LAUNCHER = "/usr/bin/orca"
SKIP = 77


def load_launcher():
    loader = importlib.machinery.SourceFileLoader("orca_launcher", LAUNCHER)
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader(loader.name, loader))
    loader.exec_module(module)
    return module


def main():
    if not os.path.exists(LAUNCHER):
        print(f"{LAUNCHER} is missing (Debian package orca)")
        return SKIP
    launcher = load_launcher()
    for habit in ("otherOrcas", "setProcessName", "main"):
        if not callable(getattr(launcher, habit, None)):
            # Unpatched, a launcher of another shape could end a person's Orca.
            print(f"{LAUNCHER} has no {habit}(); this Orca is not the one the test knows")
            return SKIP
    launcher.otherOrcas = lambda: []
    launcher.setProcessName = lambda name: False
    # The launcher opens the debug file with the plain open(); its name in the
    # launcher's own namespace comes first.
    launcher.open = lambda path, mode="r": builtins.open(path, mode, buffering=1)
    sys.argv = ["orca"] + sys.argv[1:]
    return launcher.main()


if __name__ == "__main__":
    sys.exit(main())
