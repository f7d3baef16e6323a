#!/usr/bin/env python3
# Times listing a 65535-entry archive with lark, Info-ZIP's unzip -Z1 and Python's zipfile, in one run.
"""Builds an optimised lark without sanitizers, makes a 65535-entry archive and prints median times.

usage: bench/list_bench.py [--build DIR] [--repeat N] [--runner CMD]

--runner: a command that runs lark, for machines that cannot run 32-bit programs natively
          (e.g. "qemu-i386"); the figures then measure the emulator too and say so.
The environment variable LARK_BENCH_RUNNER gives the same.
"""

import argparse
import os
import pathlib
import shlex
import statistics
import subprocess
import sys
import tempfile
import time
import zipfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
ENTRIES = 65535
FIXED_TIME = (2021, 6, 15, 13, 45, 58)
PYTHON_LISTING = "import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1])\nz.namelist()\nz.infolist()\n"


def build_lark(build_dir):
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build_dir), "-DCMAKE_BUILD_TYPE=Release",
                    "-DLARK_SANITIZE=OFF", "-DLARK_TESTS=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(build_dir), "-j2", "--target", "lark"], check=True,
                   stdout=subprocess.DEVNULL)
    return build_dir / "lark" / "lark"


def make_archive(path):
    """Names spread over folders like a real tree, each entry a few bytes: the directory is what counts."""
    with zipfile.ZipFile(path, "w") as archive:
        for i in range(ENTRIES):
            info = zipfile.ZipInfo("project/module%03d/source/file%05d.txt" % (i // 500, i), FIXED_TIME)
            info.create_system = 3
            archive.writestr(info, b"%d\n" % i)


def can_run(command):
    try:
        return subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode != 126
    except OSError:
        return False


def time_command(command, repeat):
    """Median wall time of `repeat` runs, after one warm-up run; output goes to /dev/null."""
    times = []
    for run in range(repeat + 1):
        start = time.perf_counter()
        done = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        elapsed = time.perf_counter() - start
        if done.returncode != 0:
            sys.exit("%s failed: %s" % (command, done.stderr.decode(errors="replace")))
        if run > 0:
            times.append(elapsed)
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=str(ROOT / "build" / "bench"))
    parser.add_argument("--repeat", type=int, default=9)
    parser.add_argument("--runner", default=os.environ.get("LARK_BENCH_RUNNER", ""))
    options = parser.parse_args()

    lark = build_lark(pathlib.Path(options.build))
    runner = shlex.split(options.runner)
    if not runner and not can_run([str(lark)]):
        sys.exit("this machine cannot run the 32-bit lark natively: give --runner (e.g. qemu-i386)")

    with tempfile.TemporaryDirectory(prefix="lark-bench-") as folder:
        archive = pathlib.Path(folder) / "bench.zip"
        make_archive(archive)
        commands = {
            "lark list": runner + [str(lark), "list", str(archive)],
            "unzip -Z1": ["unzip", "-Z1", str(archive)],
            "zipfile": [sys.executable, "-c", PYTHON_LISTING, str(archive)],
        }
        medians = {name: time_command(command, options.repeat) for name, command in commands.items()}

    print("archive: %d entries, %d runs each (median wall time, output to /dev/null)" % (ENTRIES, options.repeat))
    if runner:
        print("lark ran through: %s (its figure includes the emulator)" % " ".join(runner))
    for name, seconds in medians.items():
        print("%-10s %8.1f ms" % (name, seconds * 1000))
    lark_time = medians["lark list"]
    for name in ("unzip -Z1", "zipfile"):
        print("%s / lark list: %.2fx" % (name, medians[name] / lark_time))
    faster = all(lark_time < medians[name] for name in ("unzip -Z1", "zipfile"))
    print("lark is %s both" % ("faster than" if faster else "NOT faster than"))


if __name__ == "__main__":
    main()
