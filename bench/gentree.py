#!/usr/bin/env python3
"""Deterministic benchmark trees for the scanning engine.

    bench/gentree.py small|large [DEST]

DEST defaults to bench/trees/<size>. The same size always gives the same tree
(names, sizes, link groups, mtimes), so timings from different runs compare.
The tree looks like a developer's home folder: caches and developer data under
Library (the scan's priority folders), projects with deep node_modules nests,
Cargo/Gradle/venv build folders with their marker files, a git checkout, one
very wide folder, sparse files, hard-link groups and symbolic links.
Symbolic link targets stay short, so they take no blocks of their own and
`du -s -B1` sums exactly what the engine counts.
"""
import os
import random
import shutil
import sys

SIZES = {
    # size: (generic files, generic folders, projects, wide folder, sparse, link groups)
    "small": (26_000, 4_000, 12, 20_000, 40, 200),
    "large": (900_000, 50_000, 170, 20_000, 400, 4_000),
}
MTIME_BASE = 1_600_000_000


class Gen:
    def __init__(self, root, seed):
        self.root = root
        self.rng = random.Random(seed)
        self.files = 0
        self.dirs = 0
        self.payload = b"v" * 65536

    def mkdir(self, path):
        os.makedirs(path, exist_ok=True)
        self.dirs += 1

    def file(self, path, size=None):
        if size is None:
            size = self.small_size()
        fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
        while size > 0:
            n = os.write(fd, self.payload[: min(size, len(self.payload))])
            size -= n
        os.close(fd)
        t = MTIME_BASE + self.rng.randrange(0, 50_000_000)
        os.utime(path, (t, t))
        self.files += 1

    def small_size(self):
        r = self.rng.random()
        if r < 0.55:
            return self.rng.randrange(0, 2048)
        if r < 0.9:
            return self.rng.randrange(2048, 16384)
        if r < 0.995:
            return self.rng.randrange(16384, 262144)
        return self.rng.randrange(1_000_000, 3_000_000)

    def sparse(self, path, size):
        with open(path, "wb") as f:
            f.truncate(size)
            f.seek(size // 2)
            f.write(b"x" * 4096)
        self.files += 1

    def spread(self, base, files, dirs, depth=0):
        """`files` files over `dirs` folders below `base` (base already exists)."""
        if dirs <= 0:
            for i in range(files):
                self.file(os.path.join(base, "f%05d.dat" % i))
            return
        here = min(files, self.rng.randrange(2, 30))
        for i in range(here):
            self.file(os.path.join(base, "item-%04d.%s" % (i, self.rng.choice(EXTS))))
        files -= here
        fan = min(dirs, self.rng.randrange(2, 9) if depth < 7 else 1)
        per_d, extra_d = divmod(dirs - fan, fan)
        per_f, extra_f = divmod(files, fan)
        for k in range(fan):
            sub = os.path.join(base, "%s-%d" % (self.rng.choice(WORDS), k))
            self.mkdir(sub)
            self.spread(sub, per_f + (k < extra_f), per_d + (k < extra_d), depth + 1)


EXTS = ["txt", "json", "png", "jpg", "js", "py", "rs", "o", "log", "cache", "bin"]
WORDS = ["alpha", "beta", "cache", "data", "assets", "src", "docs", "img", "tmp", "lib",
         "Caches", "blobs", "shard", "v2", "old", "misc"]


def node_modules(g, base, depth, width):
    """A nest of packages, each with its own node_modules, `depth` levels deep."""
    nm = os.path.join(base, "node_modules")
    g.mkdir(nm)
    for p in range(width):
        pkg = os.path.join(nm, "pkg-%d-%d" % (depth, p))
        g.mkdir(pkg)
        g.file(os.path.join(pkg, "package.json"), 300)
        g.file(os.path.join(pkg, "index.js"))
        lib = os.path.join(pkg, "lib")
        g.mkdir(lib)
        for i in range(g.rng.randrange(3, 12)):
            g.file(os.path.join(lib, "m%d.js" % i))
        if depth > 1 and p < 2:
            node_modules(g, pkg, depth - 1, max(2, width - 1))


def project(g, base, i):
    p = os.path.join(base, "proj-%03d" % i)
    g.mkdir(p)
    kind = i % 5
    g.mkdir(os.path.join(p, "src"))
    for k in range(g.rng.randrange(5, 25)):
        g.file(os.path.join(p, "src", "file%d.src" % k))
    git = os.path.join(p, ".git")
    g.mkdir(git)
    g.mkdir(os.path.join(git, "objects"))
    for k in range(g.rng.randrange(10, 40)):
        g.file(os.path.join(git, "objects", "obj%02d" % k))
    if kind in (0, 1):
        g.file(os.path.join(p, "package.json"), 500)
        node_modules(g, p, 4 if kind == 0 else 3, 4)
        g.mkdir(os.path.join(p, "dist"))
        for k in range(10):
            g.file(os.path.join(p, "dist", "bundle%d.js" % k))
    elif kind == 2:
        g.file(os.path.join(p, "Cargo.toml"), 200)
        t = os.path.join(p, "target", "debug", "deps")
        os.makedirs(t)
        g.dirs += 3
        for k in range(g.rng.randrange(100, 300)):
            g.file(os.path.join(t, "lib%d.rlib" % k))
    elif kind == 3:
        v = os.path.join(p, ".venv")
        g.mkdir(v)
        g.file(os.path.join(v, "pyvenv.cfg"), 100)
        sp = os.path.join(v, "lib", "python3.11", "site-packages")
        os.makedirs(sp)
        g.dirs += 3
        g.spread(sp, 300, 40)
    else:
        g.file(os.path.join(p, "build.gradle"), 200)
        b = os.path.join(p, "build")
        g.mkdir(b)
        g.spread(b, 200, 20)
    os.symlink("src", os.path.join(p, "current"))


def generate(size, dest):
    gfiles, gdirs, projects, wide, sparse, groups = SIZES[size]
    if os.path.exists(dest):
        shutil.rmtree(dest)
    os.makedirs(dest)
    g = Gen(dest, seed=7 if size == "small" else 11)
    lib = os.path.join(dest, "Library")
    for sub in ("Caches", "Developer/Xcode/DerivedData", "Containers", "Application Support"):
        os.makedirs(os.path.join(lib, sub), exist_ok=True)
    g.dirs += 7
    # Generic content split over the priority folders and ordinary ones.
    areas = [("Library/Caches", 0.25), ("Library/Developer/Xcode/DerivedData", 0.1),
             ("Library/Application Support", 0.15), ("Documents", 0.2), ("Pictures", 0.1),
             ("Downloads", 0.05), ("Music", 0.15)]
    for rel, share in areas:
        base = os.path.join(dest, rel)
        if not os.path.isdir(base):
            g.mkdir(base)
        g.spread(base, int(gfiles * share), int(gdirs * share))
    code = os.path.join(dest, "code")
    g.mkdir(code)
    for i in range(projects):
        project(g, code, i)
    w = os.path.join(dest, "Documents", "wide")
    g.mkdir(w)
    for i in range(wide):
        g.file(os.path.join(w, "n%06d.txt" % i), g.rng.randrange(0, 3000))
    sp = os.path.join(dest, "Downloads", "images")
    g.mkdir(sp)
    for i in range(sparse):
        g.sparse(os.path.join(sp, "disk%03d.img" % i), g.rng.randrange(10, 2000) << 20)
    hl = os.path.join(dest, "linked")
    g.mkdir(hl)
    for i in range(groups):
        first = os.path.join(hl, "g%04d-0" % i)
        g.file(first, g.rng.randrange(0, 2_000_000) if i % 10 == 0 else None)
        for n in range(1, g.rng.randrange(2, 6)):
            d = os.path.join(hl, "d%d" % n)
            if not os.path.isdir(d):
                g.mkdir(d)
            os.link(first, os.path.join(d, "g%04d-%d" % (i, n)))
    for i in range(20):
        os.symlink("../linked", os.path.join(dest, "Documents", "ln%d" % i))
    os.symlink("/nowhere", os.path.join(dest, "dangling"))
    return g


def main():
    if len(sys.argv) < 2 or sys.argv[1] not in SIZES:
        sys.stderr.write("usage: gentree.py small|large [DEST]\n")
        return 2
    size = sys.argv[1]
    here = os.path.dirname(os.path.abspath(__file__))
    dest = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, "trees", size)
    g = generate(size, dest)
    print("%s: %d files, %d folders in %s" % (size, g.files, g.dirs, dest))
    return 0


if __name__ == "__main__":
    sys.exit(main())
