#!/usr/bin/env python3
# Times listing (and, with --extract, extracting) a many-entry archive with lark, Info-ZIP's unzip and
# Python's zipfile, in one run, with each program's peak memory.
"""Builds an optimised lark without sanitizers, makes a many-entry archive and prints median times.

usage: bench/list_bench.py [--build DIR] [--repeat N] [--entries N] [--extract]

More than 65535 entries make Python write ZIP64 records, as every archiver does for so many.

The product is 32-bit. Where the kernel cannot run i386 programs itself and hands them to an emulator
(binfmt_misc, e.g. qemu-i386), the 32-bit figure measures the emulator; the same code is then also
built in the machine's own ABI (DIR-native), and that build is the one compared with the peers.
"""

import argparse
import collections
import pathlib
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import zipfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
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
                 ["cmake", "--build", str(build_dir), "-j2", "--target", "lark", "UnzDll", "ZipDll"]):
        done = subprocess.run(step, capture_output=True)
        if done.returncode != 0 and native_abi:
            return None  # the engine bridge carries 32-bit addresses and builds only in 32 bits
        if done.returncode != 0:
            sys.exit("%s failed:\n%s%s" % (" ".join(step), done.stdout.decode(), done.stderr.decode()))
    return build_dir / "bin" / "lark"


def write_archive(path, entries):
    """Stores each (name, bytes) pair as an entry, the way a Unix archiver would, with one fixed date."""
    with zipfile.ZipFile(path, "w") as archive:
        for name, data in entries:
            info = zipfile.ZipInfo(name, FIXED_TIME)
            info.create_system = 3
            archive.writestr(info, data)


def make_archive(path, entries):
    """Names spread over folders like a real tree, each entry a few bytes: the directory is what counts."""
    write_archive(path, (("project/module%03d/source/file%05d.txt" % (i // 500, i), b"%d\n" % i)
                         for i in range(entries)))


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


class Measured(collections.namedtuple("Measured", "wall user system peak")):
    """Seconds of wall, user and system time, and the peak resident KiB, of one run."""
    @property
    def cpu(self):
        return self.user + self.system


class CommandFailed(SystemExit):
    """A measured program failed: the benchmark stops with its message unless it is caught."""


def run_measured(command, cwd=None):
    """One run's figures, its output to /dev/null. GNU time measures the peak: a child forked from
    this Python process would count Python's own."""
    start = time.perf_counter()
    done = subprocess.run(["/usr/bin/time", "-f", "%e %U %S %M"] + command, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, cwd=cwd)
    elapsed = time.perf_counter() - start
    lines = done.stderr.decode(errors="replace").strip().splitlines()
    if done.returncode != 0 or not lines:
        raise CommandFailed("%s failed: %s" % (command, "\n".join(lines)))
    _, user, system, peak = lines[-1].split()
    return Measured(elapsed, float(user), float(system), int(peak))


def time_command(command, repeat, before_each=None):
    """Median wall and CPU time and the largest peak memory of `repeat` runs after a warm-up."""
    walls, cpus, peaks = [], [], []
    for run in range(repeat + 1):
        if before_each:
            before_each()
        measured = run_measured(command)
        if run > 0:
            walls.append(measured.wall)
            cpus.append(measured.cpu)
            peaks.append(measured.peak)
    return statistics.median(walls), statistics.median(cpus), max(peaks)


def print_table(title, medians, compared, peers):
    print(title)
    print("%-28s %10s %10s %10s" % ("", "wall ms", "cpu ms", "peak MiB"))
    for name, (wall, cpu, peak) in medians.items():
        print("%-28s %10.1f %10.1f %10.1f" % (name, wall * 1000, cpu * 1000, peak / 1024))
    lark_wall, lark_cpu, _ = medians[compared]
    for name in peers:
        wall, cpu, _ = medians[name]
        print("%s / %s: %.2fx wall, %.2fx cpu" % (name, compared, wall / lark_wall, cpu / lark_cpu))
    faster = all(lark_wall < medians[name][0] for name in peers)
    print("%s is %s %s" % (compared, "faster than" if faster else "NOT faster than", " and ".join(peers)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=str(ROOT / "build" / "bench"))
    parser.add_argument("--repeat", type=int, default=9)
    parser.add_argument("--entries", type=int, default=65535)
    parser.add_argument("--extract", action="store_true", help="also extract every entry")
    options = parser.parse_args()

    larks = {"lark": build_lark(pathlib.Path(options.build))}
    emulator = i386_emulator()
    native = emulator and build_lark(pathlib.Path(options.build + "-native"), native_abi=True)
    if native:
        larks["lark (native ABI)"] = native
    compared = list(larks)[-1]

    with tempfile.TemporaryDirectory(prefix="lark-bench-") as folder:
        archive = pathlib.Path(folder) / "bench.zip"
        make_archive(archive, options.entries)
        listings = {name + " list": [str(lark), "list", str(archive)] for name, lark in larks.items()}
        listings["unzip -Z1"] = ["unzip", "-Z1", str(archive)]
        listings["zipfile"] = [sys.executable, "-c", PYTHON_LISTING, str(archive)]
        listed = {name: time_command(command, options.repeat) for name, command in listings.items()}

        extracted = {}
        if options.extract:
            out = pathlib.Path(folder) / "out"
            def fresh():
                shutil.rmtree(out, ignore_errors=True)
                out.mkdir()  # lark extracts into a folder that exists
            extractions = {name + " extract": [str(lark), "extract", str(archive), str(out), "-o"]
                           for name, lark in larks.items()}
            extractions["unzip -qo"] = ["unzip", "-qo", str(archive), "-d", str(out)]
            repeat = max(1, options.repeat // 3)
            extracted = {name: time_command(command, repeat, fresh) for name, command in extractions.items()}

    print("archive: %d entries (%s); %d runs each after a warm-up; output to /dev/null"
          % (options.entries, "ZIP64" if options.entries > 65535 else "no ZIP64", options.repeat))
    if native:
        print("i386 programs run here through %s: 'lark' is the 32-bit build under it;" % emulator)
        print("'lark (native ABI)' is the same code built without -m32 and is the one compared.")
    elif emulator:
        print("i386 programs run here through %s, and lark builds only in 32 bits: its figures" % emulator)
        print("include the emulator's cost, the peers' do not.")
    print_table("list", listed, compared + " list", ("unzip -Z1", "zipfile"))
    if extracted:
        print_table("extract (into a fresh folder each run)", extracted, compared + " extract", ("unzip -qo",))


if __name__ == "__main__":
    main()
