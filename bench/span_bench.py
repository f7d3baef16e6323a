#!/usr/bin/env python3
# Times spanning a 50 MB archive into 10 MB parts and merging it back, against cp of the same bytes, in one run.
"""Builds an optimised span_bench_driver without sanitizers, makes a 50 MB archive and prints median times.

usage: bench/span_bench.py [--build DIR] [--repeat N]

Spanning writes the archive's bytes once (into the parts on the simulated floppies) and merging
writes them once more (into the merged archive), so the yardstick is two cp runs: the archive into
the disks' folder, and that copy out again. The ratio compares the sums of the medians. dd with
32 KiB blocks, the buffer the records go through, is timed the same way.
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
import zipfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from list_bench import NATIVE_LAUNCHER, ROOT, i386_emulator  # noqa: E402

ARCHIVE_BYTES = 50 * 1024 * 1024
PART_BYTES = 10 * 1024 * 1024
ENTRY_BYTES = 1024 * 1024
FIXED_TIME = (2021, 6, 15, 13, 45, 58)
GOAL = 1.2


def build(build_dir, native_abi=False):
    options = ["-DCMAKE_BUILD_TYPE=Release", "-DLARK_SANITIZE=OFF", "-DLARK_TESTS=OFF"]
    if native_abi:
        options += ["-D%s=%s" % (variable, NATIVE_LAUNCHER) for variable in
                    ("CMAKE_C_COMPILER_LAUNCHER", "CMAKE_CXX_COMPILER_LAUNCHER", "CMAKE_CXX_LINKER_LAUNCHER")]
    for step in (["cmake", "-S", str(ROOT), "-B", str(build_dir)] + options,
                 ["cmake", "--build", str(build_dir), "-j2", "--target", "span_bench_driver"]):
        done = subprocess.run(step, capture_output=True)
        if done.returncode != 0:
            sys.exit("%s failed:\n%s%s" % (" ".join(step), done.stdout.decode(), done.stderr.decode()))
    return build_dir / "bin" / "span_bench_driver"


def make_archive(path):
    """Fifty stored entries of noise: the bytes are what counts, not compression."""
    rng = random.Random(50)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as archive:
        for i in range(ARCHIVE_BYTES // ENTRY_BYTES):
            archive.writestr(zipfile.ZipInfo("data/part%02d.bin" % i, FIXED_TIME), rng.randbytes(ENTRY_BYTES - 200))


def run_timed(command):
    """Wall time of one run, with the disks' writes of earlier runs flushed beforehand."""
    os.sync()
    start = time.perf_counter()
    done = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit("%s failed: %s" % (command, done.stderr.decode(errors="replace")))
    return elapsed


def remove(*paths):
    for path in paths:
        if path.is_dir():
            shutil.rmtree(path)
        elif path.exists():
            path.unlink()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=str(ROOT / "build" / "bench"))
    parser.add_argument("--repeat", type=int, default=7)
    options = parser.parse_args()

    program = build(pathlib.Path(options.build))
    emulator = i386_emulator()
    if emulator:
        program = build(pathlib.Path(options.build + "-native"), native_abi=True)

    with tempfile.TemporaryDirectory(prefix="lark-span-bench-") as folder:
        folder = pathlib.Path(folder)
        archive, disks, merged = folder / "bench.zip", folder / "disks", folder / "merged.zip"
        copies, copy, copied = folder / "copies", folder / "copies" / "bench.zip", folder / "copied.zip"
        dd_copy, dd_copied = folder / "copies" / "dd.zip", folder / "dd-copied.zip"
        make_archive(archive)

        # The steps take turns in every round, so that all of them meet the same machine.
        steps = {
            "span (SpanZip)": [str(program), "span", str(archive), str(disks), str(PART_BYTES)],
            "merge (MergeSpannedZip)": [str(program), "merge", str(disks), str(merged)],
            "cp archive -> disk folder": ["cp", str(archive), str(copy)],
            "cp copy -> merged": ["cp", str(copy), str(copied)],
            "dd bs=32k archive -> disk": ["dd", "if=%s" % archive, "of=%s" % dd_copy, "bs=32k", "status=none"],
            "dd bs=32k copy -> merged": ["dd", "if=%s" % dd_copy, "of=%s" % dd_copied, "bs=32k", "status=none"],
        }
        walls = {name: [] for name in steps}
        for round_number in range(options.repeat + 1):
            remove(disks, merged, copies, copied, dd_copied)
            copies.mkdir()
            for name, command in steps.items():
                elapsed = run_timed(command)
                if round_number > 0:
                    walls[name].append(elapsed)
        if merged.read_bytes() != archive.read_bytes():
            sys.exit("the merged archive differs from the original")
        parts = sorted(disks.glob("disk*/bench.zip"))
        largest = max(part.stat().st_size for part in parts)
        size = archive.stat().st_size

    span, merge, cp_in, cp_out, dd_in, dd_out = (statistics.median(walls[name]) for name in steps)
    print("archive: %d bytes, %d entries; MaxFileSize %d: %d parts, the largest %d bytes"
          % (size, ARCHIVE_BYTES // ENTRY_BYTES, PART_BYTES, len(parts), largest))
    print("%d rounds of the steps after a warm-up round; median wall times, each run after a sync%s"
          % (options.repeat, "; span_bench_driver built without -m32 (i386 runs under %s here)" % emulator if emulator else ""))
    print("%-28s %10s" % ("", "wall ms"))
    for name in steps:
        print("%-28s %10.1f" % (name, statistics.median(walls[name]) * 1000))
    ratio = (span + merge) / (cp_in + cp_out)
    print("span+merge / cp+cp: %.2fx (span %.2fx, merge %.2fx); goal %.1fx: %s"
          % (ratio, span / cp_in, merge / cp_out, GOAL, "met" if ratio <= GOAL else "NOT met"))
    # dd with the same block size shows what moving every byte 32 KiB at a time costs by itself.
    print("span+merge / dd+dd (32 KiB blocks): %.2fx; dd+dd / cp+cp: %.2fx"
          % ((span + merge) / (dd_in + dd_out), (dd_in + dd_out) / (cp_in + cp_out)))


if __name__ == "__main__":
    main()
