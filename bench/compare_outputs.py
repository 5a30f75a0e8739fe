#!/usr/bin/env python3
"""Checks that two builds of the engine print and store the same things.

    bench/compare_outputs.py BASE_ENGINE NEW_ENGINE [TREE...]

Runs every command of both engines on each tree (default: bench/trees/small and, when it
exists, bench/trees/large) with the same arguments and compares what they print, with only
the timings blanked ("elapsed_ms", "first_results_ms", "load_ms", "save_ms", the seconds of the
text reports) and the progress lines left out. The cache files both engines write are compared
byte for byte with the save time (and the checksum that covers it) blanked. Prints one line per case and exits 1 on any difference.
Use it after a speed change: BASE_ENGINE is built from the commit before it.
"""
import json
import os
import re
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
TIMES = re.compile(r'"(elapsed_ms|first_results_ms|load_ms|save_ms)":(-?[0-9][0-9.eE+-]*|null)')
TEXT_TIMES = [
    (re.compile(r" in [0-9.]+ s \(first results [0-9.]+ s,"), " in T s (first results T s,"),
    (re.compile(r", [0-9.]+ s\)$", re.M), ", T s)"),
]


def normalise(text):
    """Blanks the timings and drops the progress lines, which depend on the clock."""
    lines = []
    for line in text.splitlines():
        if '"type":"progress"' in line:
            continue
        line = TIMES.sub(lambda m: f'"{m.group(1)}":T', line)
        for pattern, blank in TEXT_TIMES:
            line = pattern.sub(blank, line)
        lines.append(line)
    return "\n".join(lines)


def cache_bytes(folder):
    """{relative path: bytes} of every cache file below `folder`, the save time blanked."""
    out = {}
    for base, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(base, name)
            data = bytearray(open(path, "rb").read())
            if len(data) >= 12 and struct.unpack_from("<I", data, 0)[0] == 3:
                root_len = struct.unpack_from("<Q", data, 4)[0]
                at = 4 + 8 + root_len + 8  # version, root, key, then the save time
                if at + 8 <= len(data):
                    data[at:at + 8] = b"\0" * 8
                # The checksum after the body covers the save time too, so it is blanked with it;
                # the bodies it guards are still compared byte for byte.
                if len(data) >= 16 and data[-16:-8] == b"vrdsum64":
                    data[-8:] = b"\0" * 8
            out[os.path.relpath(path, folder)] = bytes(data)
    return out


class Pair:
    def __init__(self, base, new, work):
        self.engines = {"base": base, "new": new}
        self.work = work
        self.failures = 0

    def cache_dir(self, who, tag):
        return os.path.join(self.work, who, tag)

    def run(self, who, args, stdin, tag):
        env = dict(os.environ, VIRIRADO_ENGINE_CACHE=self.cache_dir(who, tag))
        env.pop("VIRIRADO_ENGINE_DEBUG", None)
        env.pop("VIRIRADO_EVENT_STORE", None)
        p = subprocess.run([self.engines[who]] + args, input=stdin, capture_output=True,
                           env=env, timeout=900)
        return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")

    def case(self, label, args, stdin=b"", tag=None, check_cache=False):
        """Runs both engines (cache folder per `tag`) and compares status, output and cache."""
        tag = tag or label
        got = {}
        for who in ("base", "new"):
            argv = [a.replace("{CACHE}", self.cache_dir(who, tag)) for a in args]
            code, out, err = self.run(who, argv, stdin, tag)
            for folder in (self.cache_dir(who, tag),):
                out = out.replace(folder, "{CACHE}")
            got[who] = (code, normalise(out), normalise(err))
        problems = []
        if got["base"][0] != got["new"][0]:
            problems.append(f"status {got['base'][0]} against {got['new'][0]}")
        for i, what in ((1, "stdout"), (2, "stderr")):
            if got["base"][i] != got["new"][i]:
                problems.append(f"{what} differs: {first_difference(got['base'][i], got['new'][i])}")
        if check_cache:
            a = cache_bytes(self.cache_dir("base", tag))
            b = cache_bytes(self.cache_dir("new", tag))
            if not a:
                problems.append("no cache file written")
            elif a != b:
                problems.append(f"cache files differ: {sorted(a)} / {sorted(b)}")
        size = len(got["base"][1])
        if problems:
            self.failures += 1
            print(f"  DIFF  {label}: " + "; ".join(problems))
        else:
            extra = ", cache identical" if check_cache else ""
            print(f"  same  {label} ({size} bytes{extra})")


def first_difference(a, b):
    la, lb = a.splitlines(), b.splitlines()
    for i, (x, y) in enumerate(zip(la, lb)):
        if x != y:
            k = next((j for j, (p, q) in enumerate(zip(x, y)) if p != q), min(len(x), len(y)))
            return f"line {i + 1} at {k}: {x[max(0, k - 60):k + 60]!r} / {y[max(0, k - 60):k + 60]!r}"
    return f"{len(la)} lines against {len(lb)}"


def browse_requests(tree):
    tops = sorted(e.path for e in os.scandir(tree) if e.is_dir(follow_symlinks=False))
    wide = os.path.join(tree, "Documents", "wide")
    reqs = [{"op": "top", "limit": 200, "id": 1}, {"op": "top", "path": tree + "/Library", "limit": 50},
            {"op": "node", "id": "root"}, {"op": "node", "path": tree, "limit": 3}]
    for p in tops:
        reqs += [{"op": "node", "path": p}, {"op": "children", "path": p, "limit": 10, "files": False},
                 {"op": "top", "path": p, "limit": 20}]
    reqs += [{"op": "node", "path": wide}, {"op": "children", "path": wide},
             {"op": "node", "path": wide, "limit": 0}, {"op": "node", "path": wide, "limit": 7},
             {"op": "node", "path": wide, "limit": 100000}, {"op": "node", "path": wide, "files": False},
             {"op": "node", "path": wide + "/"}, {"op": "node", "path": tree + "/missing"},
             {"op": "node", "path": tree + "/Documents", "limit": 1}]
    for q in ["photos", "size:>10m", "kind:video", "ext:dat", "is:folder node_modules", "item -f0",
              "modified:>1d", "", "size:<1k is:file", "wide"]:
        reqs.append({"op": "search", "q": q, "limit": 300})
    reqs += [{"op": "sizes", "paths": tops + [wide, tree + "/missing", 5]},
             {"op": "refresh", "id": 9}, {"op": "node", "path": wide, "limit": 25}, {"op": "bogus"}]
    lines = [json.dumps(r) for r in reqs] + ["not json", json.dumps({"op": "quit"})]
    return ("\n".join(lines) + "\n").encode()


def serve_requests(tree):
    tops = sorted(e.path for e in os.scandir(tree) if e.is_dir(follow_symlinks=False))
    reqs = [{"op": "sizes", "paths": tops + [tree, tree + "/missing"]}, {"op": "files"},
            {"op": "files", "min": 0, "limit": 50}, {"op": "files", "min": 2000000, "limit": 7},
            {"op": "quit"}]
    return ("\n".join(json.dumps(r) for r in reqs) + "\n").encode()


def compare_tree(pair, tree):
    print(f"{tree}:")
    wide = os.path.join(tree, "Documents", "wide")
    tops = sorted(e.path for e in os.scandir(tree) if e.is_dir(follow_symlinks=False))
    common = ["--root", tree, "--cache-dir", "{CACHE}"]
    dirs = ["--dirs", "--min-dir-bytes", "0"]
    pair.case("scan --json, home = tree, every folder",
              ["scan", "--json", "--no-cache", "--home", tree] + dirs + common, tag="home",
              check_cache=True)
    pair.case("scan --json, cached re-run (reuse)",
              ["scan", "--json", "--home", tree] + dirs + common, tag="home", check_cache=True)
    pair.case("scan --json, home outside the tree",
              ["scan", "--json", "--no-cache", "--home", "/nonexistent"] + dirs + common,
              tag="outside", check_cache=True)
    pair.case("scan --json, one thread",
              ["scan", "--json", "--no-cache", "--threads", "1", "--home", tree] + dirs + common,
              tag="one", check_cache=True)
    pair.case("scan --json --generic-lister",
              ["scan", "--json", "--no-cache", "--generic-lister", "--home", tree] + dirs + common,
              tag="generic", check_cache=True)
    pair.case("scan --jsonl", ["scan", "--jsonl", "--no-cache", "--home", tree, "--top", "40"] + common,
              tag="jsonl")
    pair.case("scan text report", ["scan", "--no-cache", "--home", tree] + common, tag="text")
    pair.case("tree --json --files, depth 3",
              ["tree", "--json", "--files", "--depth", "3", "--top", "30", "--home", tree] + common,
              tag="tree")
    pair.case("tree text, the wide folder",
              ["tree", "--path", wide, "--files", "--top", "40", "--home", tree] + common, tag="tree")
    pair.case("sizes", ["sizes", "--home", tree] + tops + [wide, tree + "/missing"])
    pair.case("serve: sizes and files", ["serve", "--no-cache", "--home", tree] + common,
              stdin=serve_requests(tree), tag="serve")
    pair.case("serve --full: browse session", ["serve", "--full", "--no-cache"] + common,
              stdin=browse_requests(tree), tag="full", check_cache=True)
    pair.case("serve --full --generic-lister: browse session",
              ["serve", "--full", "--no-cache", "--generic-lister"] + common,
              stdin=browse_requests(tree), tag="full-generic", check_cache=True)
    pair.case("rules", ["rules"])


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    base, new = (os.path.abspath(p) for p in sys.argv[1:3])
    trees = sys.argv[3:] or [t for t in (os.path.join(HERE, "trees", s) for s in ("small", "large"))
                             if os.path.isdir(t)]
    if not trees:
        sys.exit("no benchmark tree: make one with bench/gentree.py (see bench/README.md)")
    with tempfile.TemporaryDirectory() as work:
        pair = Pair(base, new, work)
        for tree in trees:
            compare_tree(pair, os.path.abspath(tree))
    if pair.failures:
        print(f"{pair.failures} case(s) differ")
        sys.exit(1)
    print("every case is the same")


if __name__ == "__main__":
    main()
