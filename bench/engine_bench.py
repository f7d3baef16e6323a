#!/usr/bin/env python3
# Times adding and extracting with our engines and with peer tools side by side, in one run.
"""Builds optimised engines without sanitizers, makes a mixed corpus and a tree of small files, and
prints time and size ratios against the peers found on this machine.

usage: bench/engine_bench.py [--build DIR] [--mb N] [--small N]

Adding at level 9: ZipDll, zip -9, Python's zipfile, bsdtar. Extracting: UnzDll, unzip, bsdtar,
miniunzip, Python's zipfile. A peer that is not installed is left out and named.
"""

import argparse
import os
import pathlib
import random
import shutil
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


def build(build_dir):
    options = ["-DCMAKE_BUILD_TYPE=Release", "-DLARK_SANITIZE=OFF", "-DLARK_TESTS=OFF"]
    for step in (["cmake", "-S", str(ROOT), "-B", str(build_dir)] + options,
                 ["cmake", "--build", str(build_dir), "-j2", "--target", "ZipDll", "UnzDll", "engine_bench"]):
        done = subprocess.run(step, capture_output=True)
        if done.returncode != 0:
            sys.exit("%s failed:\n%s%s" % (" ".join(step), done.stdout.decode(), done.stderr.decode()))
    return build_dir / "bin" / "engine_bench"


def make_corpus(root, megabytes):
    """Text that deflates well, random bytes that do not, and something between, about `megabytes`."""
    rng = random.Random(9)
    words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9))) for _ in range(4000)]
    total, i = 0, 0
    while total < megabytes * 1024 * 1024:
        kind = i % 3
        size = rng.randint(100_000, 3_000_000)
        if kind == 0:
            data = b" ".join(rng.choice(words) for _ in range(size // 6))[:size]
        elif kind == 1:
            data = rng.randbytes(size)
        else:
            data = bytes(b & 0x0F for b in rng.randbytes(size))
        folder = root / ("dir%02d" % (i % 7))
        folder.mkdir(parents=True, exist_ok=True)
        (folder / ("file%04d.%s" % (i, ("txt", "bin", "dat")[kind]))).write_bytes(data)
        total += len(data)
        i += 1
    return total


def make_small(root, count):
    rng = random.Random(3)
    for i in range(count):
        folder = root / ("m%03d" % (i // 500))
        folder.mkdir(parents=True, exist_ok=True)
        (folder / ("f%05d.txt" % i)).write_bytes(b"small file %d " % i * rng.randint(1, 40))


def timed(command, cwd=None):
    start = time.perf_counter()
    done = subprocess.run(command, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit("%s failed: %s" % (" ".join(map(str, command)), done.stderr.decode()[-500:]))
    return elapsed


def adders(driver, have):
    yield "ZipDll -9", lambda a, r: [driver, "add", a, r, "9"], None
    if have("zip"):
        yield "zip -9", lambda a, r: ["zip", "-9", "-r", "-q", a, "."], "root"
    yield "python zipfile", lambda a, r: [sys.executable, "-c", PY_ADD, a, r], None
    if have("bsdtar"):
        yield "bsdtar", lambda a, r: ["bsdtar", "--format", "zip", "--options", "zip:compression-level=9",
                                      "-cf", a, "."], "root"


def extractors(driver, have):
    yield "UnzDll", lambda a, d: [driver, "extract", a, d]
    if have("unzip"):
        yield "unzip", lambda a, d: ["unzip", "-q", "-o", a, "-d", d]
    if have("bsdtar"):
        yield "bsdtar", lambda a, d: ["bsdtar", "-xf", a, "-C", d]
    if have("miniunzip"):
        yield "miniunzip", lambda a, d: ["miniunzip", "-x", "-o", a, "-d", d]
    yield "python zipfile", lambda a, d: [sys.executable, "-c", PY_EXTRACT, a, d]


def run_adds(title, source, work, driver, have):
    print("\n%s" % title)
    results = {}
    for name, command, cwd in adders(driver, have):
        archive = work / (name.replace(" ", "_") + ".zip")
        if archive.exists():
            archive.unlink()
        if name.startswith("ZipDll"):
            # The engine adds to an existing archive: start from the empty one the component makes.
            archive.write_bytes(b"PK\x05\x06" + bytes(18))
        seconds = timed(command(str(archive), str(source)), cwd=source if cwd else None)
        results[name] = (seconds, archive.stat().st_size)
    base_time, base_size = results.get("zip -9", next(iter(results.values())))
    for name, (seconds, size) in results.items():
        print("  %-16s %7.2f s  %11d bytes   time x%.2f  size x%.4f of zip -9" %
              (name, seconds, size, seconds / base_time, size / base_size))
    return work / "ZipDll_-9.zip"


def run_extracts(archive, work, driver, have):
    print("\nExtracting %s (%d bytes)" % (archive.name, archive.stat().st_size))
    results = {}
    for name, command in extractors(driver, have):
        destination = work / ("x-" + name.replace(" ", "_"))
        shutil.rmtree(destination, ignore_errors=True)
        destination.mkdir()
        results[name] = timed(command(str(archive), str(destination)))
        shutil.rmtree(destination, ignore_errors=True)
    fastest = min(seconds for name, seconds in results.items() if name != "UnzDll")
    for name, seconds in results.items():
        print("  %-16s %7.2f s   x%.2f of the fastest peer" % (name, seconds, seconds / fastest))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=str(ROOT / "build" / "bench-release"))
    parser.add_argument("--mb", type=int, default=150)
    parser.add_argument("--small", type=int, default=65000)
    options = parser.parse_args()
    driver = build(pathlib.Path(options.build))
    have = lambda tool: shutil.which(tool) is not None
    missing = [tool for tool in ("zip", "unzip", "bsdtar", "miniunzip") if not have(tool)]
    if missing:
        print("not installed, left out: " + ", ".join(missing))
    with tempfile.TemporaryDirectory() as temp:
        work = pathlib.Path(temp)
        corpus = work / "corpus"
        size = make_corpus(corpus, options.mb)
        archive = run_adds("Adding a mixed corpus of %.1f MB at level 9" % (size / 1e6), corpus, work, driver, have)
        run_extracts(archive, work, driver, have)
        small = work / "small"
        make_small(small, options.small)
        small_work = work / "small-out"
        small_work.mkdir()
        run_adds("Adding %d small files at level 9" % options.small, small, small_work, driver, have)


if __name__ == "__main__":
    main()
