#!/usr/bin/env python3
"""Interleaved timings of the scan against the floor, du and gdu on one warm tree.

    bench/interleave.py [--runs N] [--wait-idle PCT] [--eight] [--label NAME=CMD ...] [TREE]

Runs every command once per round, in turn, for N rounds (default 11), so that a change in the
machine's load falls on all of them alike, and prints each one's median wall time, its ratio to
the floor and the two targets of bench/README.md. With --label, other builds can be set side
by side (CMD is run with the tree as its last argument). With --wait-idle, each round starts
only once the whole machine was at least PCT percent idle for a second (waiting at most 20
minutes), so other work on a shared machine falls between rounds. --eight times only the
floor and the 8-thread scan (short rounds). BUILD_DIR defaults to build.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def idle_fraction(seconds=1.0):
    """The share of CPU time the whole machine spent idle over `seconds`, from /proc/stat."""
    def sample():
        with open("/proc/stat") as f:
            v = [int(x) for x in f.readline().split()[1:]]
        return v[3] + v[4], sum(v)  # idle + iowait, total
    i0, t0 = sample()
    time.sleep(seconds)
    i1, t1 = sample()
    return (i1 - i0) / max(t1 - t0, 1)


def wait_idle(share, limit_s=1200):
    """Waits (at most `limit_s`) until the machine was at least `share` idle for a second."""
    deadline = time.monotonic() + limit_s
    while idle_fraction() < share and time.monotonic() < deadline:
        pass


def timed(argv):
    t0 = time.perf_counter()
    subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    return time.perf_counter() - t0


def main():
    args = sys.argv[1:]
    runs, extra, idle, eight = 11, [], 0.0, False
    while args and args[0].startswith("--"):
        opt = args.pop(0)
        if opt == "--runs":
            runs = int(args.pop(0))
        elif opt == "--wait-idle":
            idle = float(args.pop(0)) / 100
        elif opt == "--eight":
            eight = True
        elif opt == "--label":
            name, _, cmd = args.pop(0).partition("=")
            extra.append((name, cmd.split()))
        else:
            sys.exit(__doc__)
    tree = os.path.abspath(args[0] if args else os.path.join(HERE, "trees", "large"))
    build = os.environ.get("BUILD_DIR", os.path.join(HERE, "..", "build"))
    floor = os.path.join(build, "bench", "bench_floor")
    driver = os.path.join(build, "bench", "bench_scan")
    with tempfile.TemporaryDirectory() as cache:
        cmds = [("floor", [floor, "--threads", "8"]),
                ("scan, 8 threads", [driver, "--threads", "8", "--no-cache", "--cache-dir", cache])]
        if not eight:
            cmds += [("scan, 1 thread", [driver, "--threads", "1", "--no-cache", "--cache-dir", cache]),
                     ("du -s", ["du", "-s", "-B1"])]
        if shutil.which("gdu") and not eight:
            cmds.append(("gdu -n -s", ["gdu", "-n", "-p", "-s"]))
        cmds += extra
        subprocess.run(["du", "-s", tree], stdout=subprocess.DEVNULL, check=True)  # warm
        times = {name: [] for name, _ in cmds}
        for _ in range(runs):
            if idle:
                wait_idle(idle)
            for name, argv in cmds:
                times[name].append(timed(argv + [tree]))
    med = {name: statistics.median(t) for name, t in times.items()}
    load = os.getloadavg()
    print(f"{os.path.basename(tree)} tree, {runs} interleaved rounds, load average "
          f"{load[0]:.1f} {load[1]:.1f} {load[2]:.1f}")
    print("| run | median s | min s | x floor |")
    print("|---|---|---|---|")
    for name, _ in cmds:
        print(f"| {name} | {med[name]:.3f} | {min(times[name]):.3f} | "
              f"{med[name] / med['floor']:.2f} |")
    s8 = med["scan, 8 threads"]
    print(f"scan (8) against the floor: {s8 / med['floor']:.3f}x (target 1.15x)")
    if "gdu -n -s" in med:
        print(f"gdu against scan (8): {med['gdu -n -s'] / s8:.2f}x slower (target 3x)")
    if "du -s" in med:
        print(f"du -s against scan (1): {med['du -s'] / med['scan, 1 thread']:.3f}x (target above 1)")


if __name__ == "__main__":
    main()
