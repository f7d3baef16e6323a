#!/usr/bin/env python3
# Times listing a 65535-entry archive with lark, Info-ZIP's unzip -Z1 and Python's zipfile, in one run.
"""Builds an optimised lark without sanitizers, makes a 65535-entry archive and prints median times.

usage: bench/list_bench.py [--build DIR] [--repeat N]

The product is 32-bit. Where the kernel cannot run i386 programs itself and hands them to an emulator
(binfmt_misc, e.g. qemu-i386), the 32-bit figure measures the emulator; the same code is then also
built in the machine's own ABI (DIR-native), and that build is the one compared with the peers.
"""

import argparse
import pathlib
import resource
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
# Drops -m32 from compile and link commands, for the native-ABI build.
NATIVE_LAUNCHER = ROOT / "bench" / "native_abi_launcher.sh"


def build_lark(build_dir, native_abi=False):
    options = ["-DCMAKE_BUILD_TYPE=Release", "-DLARK_SANITIZE=OFF", "-DLARK_TESTS=OFF"]
    if native_abi:
        options += ["-D%s=%s" % (variable, NATIVE_LAUNCHER) for variable in
                    ("CMAKE_C_COMPILER_LAUNCHER", "CMAKE_CXX_COMPILER_LAUNCHER", "CMAKE_CXX_LINKER_LAUNCHER")]
    for step in (["cmake", "-S", str(ROOT), "-B", str(build_dir)] + options,
                 ["cmake", "--build", str(build_dir), "-j2", "--target", "lark"]):
        done = subprocess.run(step, capture_output=True)
        if done.returncode != 0:
            sys.exit("%s failed:\n%s%s" % (" ".join(step), done.stdout.decode(), done.stderr.decode()))
    return build_dir / "bin" / "lark"


def make_archive(path):
    """Names spread over folders like a real tree, each entry a few bytes: the directory is what counts."""
    with zipfile.ZipFile(path, "w") as archive:
        for i in range(ENTRIES):
            info = zipfile.ZipInfo("project/module%03d/source/file%05d.txt" % (i // 500, i), FIXED_TIME)
            info.create_system = 3
            archive.writestr(info, b"%d\n" % i)


# The ELF header of a 32-bit x86 executable as binfmt_misc registrations spell it (e_ident, e_type, e_machine).
I386_ELF_MAGIC = "7f454c4601010100000000000000000002000300"


def i386_emulator():
    """The interpreter binfmt_misc hands i386 programs to, or None when the kernel runs them itself."""
    for entry in pathlib.Path("/proc/sys/fs/binfmt_misc").glob("*"):
        try:
            text = entry.read_text()
        except OSError:
            continue
        fields = dict(line.split(" ", 1) for line in text.splitlines()[1:] if " " in line)
        if text.startswith("enabled") and fields.get("magic") == I386_ELF_MAGIC:
            return fields.get("interpreter")
    return None


def time_command(command, repeat):
    """Median wall and CPU (user + system) time of `repeat` runs after a warm-up; output to /dev/null."""
    walls, cpus = [], []
    for run in range(repeat + 1):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        done = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        elapsed = time.perf_counter() - start
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        if done.returncode != 0:
            sys.exit("%s failed: %s" % (command, done.stderr.decode(errors="replace")))
        if run > 0:
            walls.append(elapsed)
            cpus.append(after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime)
    return statistics.median(walls), statistics.median(cpus)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=str(ROOT / "build" / "bench"))
    parser.add_argument("--repeat", type=int, default=9)
    options = parser.parse_args()

    larks = {"lark list": build_lark(pathlib.Path(options.build))}
    emulator = i386_emulator()
    if emulator:
        larks["lark list (native ABI)"] = build_lark(pathlib.Path(options.build + "-native"), native_abi=True)
    compared = list(larks)[-1]

    with tempfile.TemporaryDirectory(prefix="lark-bench-") as folder:
        archive = pathlib.Path(folder) / "bench.zip"
        make_archive(archive)
        commands = {name: [str(lark), "list", str(archive)] for name, lark in larks.items()}
        commands["unzip -Z1"] = ["unzip", "-Z1", str(archive)]
        commands["zipfile"] = [sys.executable, "-c", PYTHON_LISTING, str(archive)]
        medians = {name: time_command(command, options.repeat) for name, command in commands.items()}

    print("archive: %d entries; %d runs each after a warm-up; output to /dev/null" % (ENTRIES, options.repeat))
    if emulator:
        print("i386 programs run here through %s: 'lark list' is the 32-bit build under it;" % emulator)
        print("'lark list (native ABI)' is the same code built without -m32 and is the one compared.")
    print("%-24s %10s %10s" % ("", "wall ms", "cpu ms"))
    for name, (wall, cpu) in medians.items():
        print("%-24s %10.1f %10.1f" % (name, wall * 1000, cpu * 1000))
    lark_wall, lark_cpu = medians[compared]
    for name in ("unzip -Z1", "zipfile"):
        wall, cpu = medians[name]
        print("%s / %s: %.2fx wall, %.2fx cpu" % (name, compared, wall / lark_wall, cpu / lark_cpu))
    faster = all(lark_wall < medians[name][0] for name in ("unzip -Z1", "zipfile"))
    print("%s is %s both" % (compared, "faster than" if faster else "NOT faster than"))


if __name__ == "__main__":
    main()
