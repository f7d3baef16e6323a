#!/usr/bin/env python3
# Times adding and extracting with our engines and with peer tools side by side, in one run.
"""Builds optimised engines without sanitizers, makes three trees and prints, for adding at level 9
and for extracting, the median wall time, the ratio to the fastest peer, the archive's bytes and
the peak resident memory of each tool's own process.

usage: bench/engine_bench.py [--build DIR] [--rounds N] [--mb N] [--small N] [--big-mb N] [--only NAMES]
                             [--baseline SOURCE_TREE]

Trees: a mixed tree (headers and sources, shared libraries, large text files, random data), a tree
of small files and one large text file. Adding: ZipDll, zip -9, minizip -9, 7zz (at its default
level), bsdtar, Python's zipfile. Extracting zip -9's archive: UnzDll, unzip, miniunzip, 7zz,
bsdtar, zipfile. With --only aes: the large file in an AES-256 archive 7zz made, extracted by
UnzDll and by 7zz. The tools take turns in every round, so all meet the same machine; a peer that is
not installed is left out and named. Memory is the process's own peak (its rusage), not that of a wrapper.
"""

import argparse
import os
import pathlib
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
PY_ADD = ("import os, sys, zipfile\n"
          "root = sys.argv[2]\n"
          "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED, compresslevel=9) as z:\n"
          "    for d, _, names in os.walk(root):\n"
          "        for n in names:\n"
          "            p = os.path.join(d, n)\n"
          "            z.write(p, os.path.relpath(p, root))\n")
PY_EXTRACT = "import sys, zipfile\nzipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])\n"
# minizip takes the files on its command line: this many at a time, the later runs appending.
MINIZIP_BATCH = 4000
SOURCES = [pathlib.Path("/usr/include")]
LIBRARIES = [pathlib.Path(p) for p in ("/usr/lib/x86_64-linux-gnu", "/usr/lib/i386-linux-gnu", "/usr/lib/gcc")]


def build(build_dir, source=ROOT):
    options = ["-DCMAKE_BUILD_TYPE=Release", "-DLARK_SANITIZE=OFF", "-DLARK_TESTS=OFF"]
    for step in (["cmake", "-S", str(source), "-B", str(build_dir)] + options,
                 ["cmake", "--build", str(build_dir), "-j2", "--target", "ZipDll", "UnzDll", "engine_bench"]):
        done = subprocess.run(step, capture_output=True)
        if done.returncode != 0:
            sys.exit("%s failed:\n%s%s" % (" ".join(step), done.stdout.decode(), done.stderr.decode()))
    return build_dir / "bin" / "engine_bench"


# ---------------------------------------------------------------------------------------------
# Trees

def files_below(folders, suffixes=None, least=0):
    """Regular files below the folders in a fixed order, no links."""
    for folder in folders:
        if not folder.is_dir():
            continue
        for directory, subdirs, names in os.walk(folder):
            subdirs.sort()
            for name in sorted(names):
                path = pathlib.Path(directory) / name
                if path.is_symlink() or not path.is_file():
                    continue
                if suffixes and not any(s in name for s in suffixes):
                    continue
                if path.stat().st_size >= least:
                    yield path


def synthetic_text(rng, size):
    words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9))) for _ in range(4000)]
    return b" ".join(rng.choice(words) for _ in range(size // 5))[:size]


class TextStream:
    """Real text: the headers one after another, going round again at their end."""

    def __init__(self, rng):
        self.rng = rng
        self.paths = list(files_below(SOURCES, (".h",)))
        self.index = 0

    def take(self, size):
        if not self.paths:
            return synthetic_text(self.rng, size)
        out, total = [], 0
        while total < size:
            data = self.paths[self.index % len(self.paths)].read_bytes()
            self.index += 1
            out.append(data)
            total += len(data)
        return b"".join(out)[:size]


def copy_until(paths, target, budget):
    """Copies files into `target`, keeping their relative layout, until `budget` bytes are taken."""
    taken = 0
    for path in paths:
        if taken >= budget:
            break
        relative = pathlib.Path(*path.parts[1:])
        destination = target / relative
        destination.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(path, destination)
        taken += destination.stat().st_size
    return taken


def make_mixed(root, megabytes):
    """Sources, shared libraries, large text files and 18 MB of random data, about `megabytes`."""
    rng = random.Random(9)
    budget = megabytes * 1024 * 1024
    taken = copy_until(files_below(SOURCES), root / "src", budget * 40 // 100)
    libraries = (p for p in files_below(LIBRARIES, (".so",), 64 * 1024) if p.stat().st_size <= 32 << 20)
    taken += copy_until(libraries, root / "lib", budget * 30 // 100)
    random_bytes = min(18 * 1024 * 1024, budget // 8)
    for i, size in enumerate((7 << 20, 5 << 20, 3 << 20, 2 << 20, 1 << 20)):
        size = min(size, random_bytes)
        if size <= 0:
            break
        (root / "random").mkdir(parents=True, exist_ok=True)
        (root / "random" / ("noise%d.bin" % i)).write_bytes(rng.randbytes(size))
        random_bytes -= size
        taken += size
    text = TextStream(rng)
    text.index = len(text.paths) // 2  # not the headers copied whole above
    i = 0
    while taken < budget:
        size = min(rng.randint(2 << 20, 12 << 20), budget - taken)
        (root / "text").mkdir(parents=True, exist_ok=True)
        (root / "text" / ("log%02d.txt" % i)).write_bytes(text.take(size))
        taken += size
        i += 1
    count = sum(1 for _ in files_below([root]))
    return "mixed tree, %d files, %.0f MB" % (count, taken / 1e6)


def make_small(root, count):
    rng = random.Random(3)
    for i in range(count):
        folder = root / ("m%03d" % (i // 500))
        folder.mkdir(parents=True, exist_ok=True)
        (folder / ("f%05d.txt" % i)).write_bytes(b"small file %d " % i * rng.randint(1, 40))
    return "%d small files" % count


def make_big(root, megabytes):
    (root / "big.txt").write_bytes(TextStream(random.Random(5)).take(megabytes * 1024 * 1024))
    return "one %d MB text file" % megabytes


# ---------------------------------------------------------------------------------------------
# Tools

def adders(driver, base, have):
    """Name, function (archive, tree) -> list of commands, working folder is the tree."""
    yield "ZipDll", lambda a, r: [[driver, "add", a, r, "9"]]
    if base:
        yield "ZipDll base", lambda a, r: [[base, "add", a, r, "9"]]
    if have("zip"):
        # No folder entries (-D): 65535 files and their folders would need ZIP64 records.
        yield "zip -9", lambda a, r: [["zip", "-9", "-r", "-q", "-D", a, "."]]
    if have("minizip"):
        def minizip(a, r):
            names = [str(p.relative_to(r)) for p in files_below([pathlib.Path(r)])]
            return [["minizip", "-9", "-a" if i else "-o", a] + names[i:i + MINIZIP_BATCH]
                    for i in range(0, len(names), MINIZIP_BATCH)]
        yield "minizip -9", minizip
    if have("7zz"):
        # Its -mx9 makes ten passes, over ten times zip -9's time: its default level is the fair peer.
        yield "7zz -mx5", lambda a, r: [["7zz", "a", "-tzip", "-mx=5", "-bd", "-bso0", a, "."]]
    if have("bsdtar"):
        yield "bsdtar", lambda a, r: [["bsdtar", "--format", "zip", "--options", "zip:compression-level=9",
                                       "-cf", a, "."]]
    yield "python zipfile", lambda a, r: [[sys.executable, "-c", PY_ADD, a, r]]


def extractors(driver, base, have):
    yield "UnzDll", lambda a, d: [driver, "extract", a, d]
    if base:
        yield "UnzDll base", lambda a, d: [base, "extract", a, d]
    if have("unzip"):
        yield "unzip", lambda a, d: ["unzip", "-q", "-o", a, "-d", d]
    if have("miniunzip"):
        yield "miniunzip", lambda a, d: ["miniunzip", "-x", "-o", a, "-d", d]
    if have("7zz"):
        yield "7zz", lambda a, d: ["7zz", "x", "-y", "-bd", "-bso0", "-o" + d, a]
    if have("bsdtar"):
        yield "bsdtar", lambda a, d: ["bsdtar", "-xf", a, "-C", d]
    yield "python zipfile", lambda a, d: [sys.executable, "-c", PY_EXTRACT, a, d]


def run(commands, cwd=None):
    """Wall and processor seconds of the commands one after another, and the largest peak resident
    KiB of them. /usr/bin/time reports the tool's own process: a child of this script would also
    count the script's memory, which it shares until it starts the tool."""
    wall, cpu, peak = 0.0, 0.0, 0
    with tempfile.NamedTemporaryFile("r") as report:
        for command in commands:
            start = time.perf_counter()
            done = subprocess.run(["/usr/bin/time", "-f", "%M %U %S", "-o", report.name] + command, cwd=cwd,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            wall += time.perf_counter() - start
            if done.returncode != 0:
                sys.exit("%s failed (%d): %s" % (" ".join(map(str, command[:6])), done.returncode,
                                                 done.stderr.decode(errors="replace")[-500:]))
            report.seek(0)
            kib, user, system = report.read().split()[-3:]
            cpu += float(user) + float(system)
            peak = max(peak, int(kib))
    return wall, cpu, peak


def print_table(title, rows, ours, goal_peer=None, goal=None):
    """Ratios are to the fastest peer; our rows (and a baseline's) are not peers."""
    peers = {name: row for name, row in rows.items() if not name.startswith(ours)}
    fastest = min(statistics.median(row["times"]) for row in peers.values())
    print("\n%s" % title)
    print("  %-16s %9s %9s %8s %13s %9s" % ("", "median s", "x fastest", "cpu s", "bytes", "peak MiB"))
    for name, row in rows.items():
        median = statistics.median(row["times"])
        size = "%13d" % row["bytes"] if row.get("bytes") else "%13s" % "-"
        print("  %-16s %9.2f %9.2f %8.2f %s %9.1f" % (name, median, median / fastest, statistics.median(row["cpu"]),
                                                      size, row["peak"] / 1024))
    if goal_peer in rows:
        ratio = statistics.median(rows[ours]["times"]) / statistics.median(rows[goal_peer]["times"])
        line = "  %s / %s: time x%.2f" % (ours, goal_peer, ratio)
        if rows[ours].get("bytes") and rows[goal_peer].get("bytes"):
            line += ", size x%.4f" % (rows[ours]["bytes"] / rows[goal_peer]["bytes"])
        if goal:
            line += " (goal: time at most x%.2f)" % goal
        print(line)


def bench_tree(label, tree, work, driver, base, have, rounds, goals):
    adding = list(adders(driver, base, have))
    rows = {name: {"times": [], "cpu": [], "peak": 0} for name, _ in adding}
    archives = {}
    for _ in range(rounds):
        for name, commands in adding:
            archive = work / (name.replace(" ", "_") + ".zip")
            if archive.exists():
                archive.unlink()
            if name.startswith("ZipDll"):
                # The engine adds to an existing archive: start from the empty one the component makes.
                archive.write_bytes(b"PK\x05\x06" + bytes(18))
            seconds, cpu, peak = run(commands(str(archive), str(tree)), cwd=tree)
            rows[name]["times"].append(seconds)
            rows[name]["cpu"].append(cpu)
            rows[name]["peak"] = max(rows[name]["peak"], peak)
            rows[name]["bytes"] = archive.stat().st_size
            archives[name] = archive
    print_table("Adding at level 9: %s" % label, rows, "ZipDll", "zip -9", goals[0])

    source = archives.get("zip -9", archives["ZipDll"])
    extracting = list(extractors(driver, base, have))
    rows = {name: {"times": [], "cpu": [], "peak": 0} for name, _ in extracting}
    for _ in range(rounds):
        for name, command in extracting:
            destination = work / ("x-" + name.replace(" ", "_"))
            shutil.rmtree(destination, ignore_errors=True)
            destination.mkdir()
            seconds, cpu, peak = run([command(str(source), str(destination))])
            rows[name]["times"].append(seconds)
            rows[name]["cpu"].append(cpu)
            rows[name]["peak"] = max(rows[name]["peak"], peak)
            shutil.rmtree(destination, ignore_errors=True)
    print_table("Extracting %s's archive of the %s" % (source.stem.replace("_", " "), label), rows, "UnzDll", "miniunzip", goals[1])
    for archive in archives.values():
        archive.unlink()


def bench_aes(label, tree, work, driver, have, rounds):
    if not have("7zz"):
        print("\nAES: 7zz is not installed, left out")
        return
    password = "bench"
    archive = work / "aes256.zip"
    run([["7zz", "a", "-tzip", "-mem=AES256", "-p" + password, "-bd", "-bso0", str(archive), "."]], cwd=tree)
    extracting = [("UnzDll", lambda d: [driver, "extract", str(archive), d, password]),
                  ("7zz", lambda d: ["7zz", "x", "-y", "-bd", "-bso0", "-p" + password, "-o" + d, str(archive)])]
    rows = {name: {"times": [], "cpu": [], "peak": 0} for name, _ in extracting}
    for _ in range(rounds):
        for name, command in extracting:
            destination = work / ("x-" + name)
            shutil.rmtree(destination, ignore_errors=True)
            destination.mkdir()
            seconds, cpu, peak = run([command(str(destination))])
            rows[name]["times"].append(seconds)
            rows[name]["cpu"].append(cpu)
            rows[name]["peak"] = max(rows[name]["peak"], peak)
            shutil.rmtree(destination, ignore_errors=True)
    print_table("Extracting 7zz's AES-256 archive of the %s" % label, rows, "UnzDll", "7zz")
    archive.unlink()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=str(ROOT / "build" / "bench-release"))
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--mb", type=int, default=160, help="size of the mixed tree")
    parser.add_argument("--small", type=int, default=65535, help="files in the tree of small files")
    parser.add_argument("--big-mb", type=int, default=100, help="size of the one large file")
    parser.add_argument("--only", default="mixed,small,big", help="trees to run, of mixed,small,big,aes")
    parser.add_argument("--work", default="/dev/shm" if os.path.isdir("/dev/shm") else None,
                        help="folder for the trees and archives (memory by default, so the disk does not decide)")
    parser.add_argument("--baseline", help="source tree of another revision, timed beside this one as 'base'")
    options = parser.parse_args()
    sys.stdout.reconfigure(line_buffering=True)
    # Absolute: the tools run inside the trees.
    build_dir = pathlib.Path(options.build).resolve()
    driver = str(build(build_dir))
    base = None
    if options.baseline:
        base = str(build(pathlib.Path(str(build_dir) + "-base"), pathlib.Path(options.baseline).resolve()))
    have = lambda tool: shutil.which(tool) is not None
    missing = [tool for tool in ("zip", "unzip", "minizip", "miniunzip", "7zz", "bsdtar") if not have(tool)]
    if missing:
        print("not installed, left out: " + ", ".join(missing))
    print("%d rounds, tools taking turns; %d cores, load average %.1f at the start"
          % (options.rounds, os.cpu_count(), os.getloadavg()[0]))
    trees = {
        "mixed": (make_mixed, options.mb, (0.6, 0.9)),
        "small": (make_small, options.small, (0.8, 1.0)),
        "big": (make_big, options.big_mb, (0.6, None)),
        "aes": (make_big, options.big_mb, None),
    }
    with tempfile.TemporaryDirectory(prefix="lark-engine-bench-", dir=options.work) as temp:
        for key in options.only.split(","):
            make, amount, goals = trees[key]
            work = pathlib.Path(temp) / key
            tree = work / "tree"
            tree.mkdir(parents=True, exist_ok=True)
            label = make(tree, amount)
            if key == "aes":
                bench_aes(label, tree, work, driver, have, options.rounds)
            else:
                bench_tree(label, tree, work, driver, base, have, options.rounds, goals)
            shutil.rmtree(work)


if __name__ == "__main__":
    main()
