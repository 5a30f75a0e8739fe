#!/usr/bin/env python3
"""Times the browse server's answers on one benchmark tree.

Starts `virirado-engine serve --full` on the tree, waits for "ready", then sends each request
several times and records the median time from writing the request to reading its answer.
Also records how far the server's resident memory rose above its idle size while answering
(peak during the request's runs, from /proc). Writes the table to bench/RESULTS-browse.md.
Usage: bench/browse_timing.py [--print-only] [TREE] [RUNS]
"""
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def memory(pid, key):
    """A /proc/PID/status figure in KiB."""
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    return 0


def reset_peak(pid):
    """Starts VmHWM afresh from the current resident size (where the kernel allows it)."""
    try:
        with open(f"/proc/{pid}/clear_refs", "w") as f:
            f.write("5")
    except OSError:
        pass


def main():
    argv = [a for a in sys.argv[1:] if a != "--print-only"]
    write = len(argv) == len(sys.argv) - 1
    tree = os.path.abspath(argv[0] if argv else os.path.join(HERE, "trees", "large"))
    runs = int(argv[1]) if len(argv) > 1 else 9
    build = os.environ.get("BUILD_DIR", os.path.join(HERE, "..", "build"))
    engine = os.path.join(build, "bin", "virirado-engine")
    folders = sorted(e.path for e in os.scandir(tree) if e.is_dir(follow_symlinks=False))[:10]
    wide = os.path.join(tree, "Documents", "wide")
    wide_files = len(os.listdir(wide)) if os.path.isdir(wide) else 0
    requests = [
        ("top (limit 200)", {"op": "top", "limit": 200}),
        ("node of the root", {"op": "node", "path": tree}),
        ("node of a folder", {"op": "node", "path": folders[0] if folders else tree}),
        (f"node of the {wide_files:,}-file folder", {"op": "node", "path": wide}),
        (f"children of the {wide_files:,}-file folder", {"op": "children", "path": wide}),
        (f"node of the {wide_files:,}-file folder, files off",
         {"op": "node", "path": wide, "files": False}),
        ("search: a name word", {"op": "search", "q": "photos"}),
        ("search: a size bound", {"op": "search", "q": "size:>10m"}),
        ("search: a kind", {"op": "search", "q": "kind:video"}),
        ("sizes of ten folders", {"op": "sizes", "paths": folders}),
    ]
    with tempfile.TemporaryDirectory() as cache:
        proc = subprocess.Popen(
            [engine, "serve", "--full", "--root", tree, "--cache-dir", cache, "--no-cache"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)
        start = time.monotonic()
        for line in proc.stdout:
            if json.loads(line).get("type") == "ready":
                break
        scan_s = time.monotonic() - start
        rows = []
        for label, req in requests:
            times = []
            rss_before = memory(proc.pid, "VmRSS")
            reset_peak(proc.pid)
            for _ in range(runs):
                t0 = time.perf_counter()
                proc.stdin.write(json.dumps(req) + "\n")
                proc.stdin.flush()
                answer = json.loads(proc.stdout.readline())
                times.append((time.perf_counter() - t0) * 1000)
                if answer.get("type") == "error":
                    sys.exit(f"browse_timing: {label}: {answer}")
            grew = memory(proc.pid, "VmHWM") - rss_before
            rows.append((label, statistics.median(times), max(grew, 0) / 1024))
        proc.stdin.write('{"op":"quit"}\n')
        proc.stdin.close()
        proc.wait()
    files = sum(len(f) for _, _, f in os.walk(tree))
    out = [f"### browse answers: {os.path.basename(tree)} tree, {files} files "
           f"({time.strftime('%Y-%m-%d')}, {os.cpu_count()} CPUs, median of {runs}, whole round trip)",
           "", f"Full scan before \"ready\": {scan_s:.2f} s.", "",
           "| request | median ms | peak memory above the idle server, MiB |", "|---|---|---|"]
    out += [f"| {label} | {ms:.1f} | {mib:.1f} |" for label, ms, mib in rows]
    text = "\n".join(out) + "\n"
    if not write:
        print(text)
        return
    with open(os.path.join(HERE, "RESULTS-browse.md"), "w") as f:
        f.write("# Browse server timings\n\nWritten by bench/browse_timing.py.\n\n" + text)
    print(text)


if __name__ == "__main__":
    main()
