#!/usr/bin/env python3
"""sfx.bin's size, and its extraction speed beside UnzDll.dll's (lark extract), under Wine.

usage: sfx_bench.py --bin DIR [--runner wine] [--runs 3]

DIR is the Windows build's bin folder (sfx.bin, lark.exe, UnzDll.dll). Both extract the same
Info-ZIP archive into fresh folders, taking turns; the median and the best of the runs are printed
side by side, in elapsed time and in the processor time of the extracting process. On a machine
shared with other work the elapsed times wander with the load; the processor time does not.
"""

import argparse
import os
import pathlib
import random
import resource
import shlex
import shutil
import statistics
import subprocess
import tempfile
import time

SIZE_LIMIT = 128 * 1024


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def make_tree(root):
    rng = random.Random(3)
    words = [b"archive", b"folder", b"entry", b"stub", b"deflate", b"window", b"larkspool"]
    (root / "big").mkdir(parents=True)
    (root / "big" / "text.txt").write_bytes(b" ".join(rng.choice(words) for _ in range(6_000_000)))
    (root / "big" / "noise.bin").write_bytes(rng.randbytes(16_000_000))
    (root / "small").mkdir()
    for i in range(300):
        (root / "small" / ("f%03d.txt" % i)).write_bytes(b" ".join(rng.choice(words) for _ in range(3000)))


def processor_seconds():
    used = resource.getrusage(resource.RUSAGE_CHILDREN)
    return used.ru_utime + used.ru_stime


def timed(command, env):
    """Elapsed and processor seconds of one run."""
    processor = processor_seconds()
    start = time.perf_counter()
    code = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env).returncode
    if code != 0:
        raise SystemExit("failed (%d): %s" % (code, " ".join(command)))
    return time.perf_counter() - start, processor_seconds() - processor


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--runner", default="wine")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    bin_dir = pathlib.Path(args.bin).resolve()
    runner = shlex.split(args.runner)
    env = dict(os.environ, WINEDEBUG="-all")

    stub_size = (bin_dir / "sfx.bin").stat().st_size
    print("sfx.bin: %d bytes (limit %d, %s)" % (stub_size, SIZE_LIMIT, "within" if stub_size <= SIZE_LIMIT else "OVER"))

    work = pathlib.Path(tempfile.mkdtemp(prefix="lark-sfx-bench-"))
    try:
        source = work / "source"
        make_tree(source)
        archive = work / "bench.zip"
        subprocess.run(["zip", "-q", "-r", str(archive), "."], cwd=source, check=True)
        program = work / "bench.exe"
        program.write_bytes((bin_dir / "sfx.bin").read_bytes() + archive.read_bytes())
        unpacked = sum(p.stat().st_size for p in source.rglob("*") if p.is_file())
        print("archive: %d files, %.1f MB unpacked, %.1f MB packed" %
              (sum(1 for p in source.rglob("*") if p.is_file()), unpacked / 1e6, archive.stat().st_size / 1e6))

        times = {"sfx.bin /auto": [], "UnzDll.dll (lark extract)": []}
        for run in range(args.runs):
            for name in times:
                out = work / ("out-%d" % run)
                shutil.rmtree(out, ignore_errors=True)
                out.mkdir()
                if name.startswith("sfx"):
                    command = runner + [str(program), "/auto", "/d:" + windows_path(out)]
                else:
                    command = runner + [str(bin_dir / "lark.exe"), "extract", windows_path(archive), windows_path(out)]
                times[name].append(timed(command, env))
                shutil.rmtree(out, ignore_errors=True)
        print("%-28s %21s %23s" % ("", "elapsed median/best", "processor median/best"))
        medians = {}
        for name, runs in times.items():
            elapsed = [run[0] for run in runs]
            processor = [run[1] for run in runs]
            medians[name] = (statistics.median(elapsed), statistics.median(processor))
            print("%-28s %6.2f s %5.2f s (%3.0f MB/s) %7.2f s %5.2f s" %
                  (name, medians[name][0], min(elapsed), unpacked / 1e6 / medians[name][0],
                   medians[name][1], min(processor)))
        stub, engine = medians["sfx.bin /auto"], medians["UnzDll.dll (lark extract)"]
        print("sfx.bin / UnzDll.dll: %.2fx elapsed, %.2fx processor (goal: within 1.1x)" %
              (stub[0] / engine[0], stub[1] / engine[1]))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
