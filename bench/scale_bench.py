#!/usr/bin/env python3
# Times adding, listing and extracting a tree of many small files with lark and the peers side by side,
# in one run, with each program's peak memory; and, with --window, the window opening the archive.
"""Builds an optimised lark without sanitizers, makes a tree of small files and an archive of them,
and prints wall, user and system time and peak memory of lark and each peer, lark's wall time over
each peer's, and the goal beside each row.

usage: bench/scale_bench.py [--build DIR] [--files N] [--folders F] [--repeat N]
                            [--window] [--windows-bin DIR] [--wineprefix DIR]

Rows: add at level 9 (`lark add -r` against zip -9 and 7-Zip on one thread; unzip -t checks lark's
archive); list and extract of an archive Python's zipfile wrote of the same files (ZIP64 beyond
65535 entries), listed against unzip -Z1, 7-Zip and bsdtar, extracted into an empty folder against
unzip and 7-Zip. The programs take turns in each round and the medians are printed, with the
largest peak (GNU time's maximum resident size).

--window: larkspool.exe of the Windows build under Wine, on a virtual display of its own, opening
that archive and opening a 1-entry archive; the time until the window's title names the archive
(the window writes the count into its status line in the same step, right after the title) and the
peak resident memory of the process a moment later (VmHWM), each as the difference of the two.

Everything lives in a temporary folder on /dev/shm, which is removed at the end.
"""

import argparse
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from list_bench import ROOT, CommandFailed, build_lark, i386_emulator, run_measured, write_archive  # noqa: E402

SCRATCH = pathlib.Path("/dev/shm")
PAGE = 4096  # tmpfs gives every small file a page of memory
# Goals by scale: (wall ratio bound and the peer it is taken against, or None; peak MiB bound or None).
SMALL_SCALE = 100_000  # up to this many files the goals of the 65,000-file row apply
SMALL_GOALS = {"add": (("zip -9", 0.7), 16), "list": (None, 16), "extract": (None, 16)}
LARGE_GOALS = {"add": (("zip -9", 0.8), 128), "list": (("unzip -Z1", 1.0), 64),
               "extract": (("unzip -qo", 0.8), 96)}
WINDOW_GOAL_SECONDS = 3.0
WINDOW_GOAL_MIB = 96
WINDOW_TIMEOUT = 600
SETTLE_SECONDS = 1.0  # after the title changes, for the list and the status line to paint
STARTED = time.perf_counter()


def progress(text):
    print("[%6.1f s] %s" % (time.perf_counter() - STARTED, text), file=sys.stderr, flush=True)


# ---------------------------------------------------------------------------------------------
# The tree and the archives

def tree_files(files, folders):
    """(relative name, contents) of each small file, a few dozen bytes of text of its own."""
    for i in range(files):
        folder = i * folders // files
        yield ("folder%04d/file%07d.txt" % (folder, i),
               b"file %d of folder %d: the quick brown fox jumps over it\n" % (i, folder))


def make_tree(root, files, folders):
    for name, data in tree_files(files, folders):
        path = root / name
        try:
            path.write_bytes(data)
        except FileNotFoundError:
            path.parent.mkdir(parents=True)
            path.write_bytes(data)


def check_room(files):
    """The tree and one extracted copy of it must fit beside each other."""
    stats = os.statvfs(SCRATCH)
    inodes, room = 2 * files + 10_000, 2 * files * PAGE + 512 * 1024 * 1024
    if stats.f_favail < inodes or stats.f_bavail * stats.f_frsize < room:
        sys.exit("%s has %d free inodes and %d MiB, %d and %d MiB needed"
                 % (SCRATCH, stats.f_favail, stats.f_bavail * stats.f_frsize >> 20, inodes, room >> 20))


def count_files(folder):
    return sum(len(names) for _, _, names in os.walk(folder))


def fresh_folder(path):
    def make():
        shutil.rmtree(path, ignore_errors=True)
        path.mkdir()  # lark extracts into a folder that exists
    return make


def removed(path):
    def remove():
        if path.exists():
            path.unlink()
    return remove


# ---------------------------------------------------------------------------------------------
# The emulator's floor: a 32-bit program that only reads or only writes the tree's files

FLOOR_SOURCE = r"""
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

/* read ROOT: every file of ROOT's folders statted, opened and read; write ROOT FILES FOLDERS: the
   benchmark's tree made again, each file written, dated and closed, as an extraction makes it. */
int main(int argc, char **argv) {
    static char path[4096], file[4096], buffer[65536];
    if (argc == 3 && argv[1][0] == 'r') {
        DIR *top = opendir(argv[2]);
        struct dirent *folder;
        while (top && (folder = readdir(top))) {
            if (folder->d_name[0] == '.') continue;
            snprintf(path, sizeof path, "%s/%s", argv[2], folder->d_name);
            DIR *inner = opendir(path);
            struct dirent *entry;
            while (inner && (entry = readdir(inner))) {
                struct stat info;
                if (entry->d_name[0] == '.') continue;
                snprintf(file, sizeof file, "%s/%s", path, entry->d_name);
                int fd = open(file, O_RDONLY);
                if (fd < 0 || fstat(fd, &info) != 0) return 1;
                while (read(fd, buffer, sizeof buffer) > 0) {}
                close(fd);
            }
            if (inner) closedir(inner);
        }
        return top ? 0 : 1;
    }
    if (argc == 5 && argv[1][0] == 'w') {
        long files = atol(argv[3]), folders = atol(argv[4]), made = -1;
        struct timespec times[2] = {{0, 0}, {1600000000, 0}};
        for (long i = 0; i < files; ++i) {
            long folder = i * folders / files;
            if (folder != made) {
                snprintf(path, sizeof path, "%s/folder%04ld", argv[2], folder);
                mkdir(path, 0777);
                made = folder;
            }
            snprintf(file, sizeof file, "%s/file%07ld.txt", path, i);
            int length = snprintf(buffer, sizeof buffer, "file %ld of folder %ld: the quick brown fox jumps over it\n",
                                  i, folder);
            int fd = open(file, O_WRONLY | O_CREAT | O_EXCL, 0666);
            if (fd < 0 || write(fd, buffer, length) != length || futimens(fd, times) != 0) return 1;
            close(fd);
        }
        return 0;
    }
    return 2;
}
"""


def build_floor(folder):
    """The floor program built for 32 bits, or None when the compiler cannot."""
    source, program = folder / "floor.c", folder / "floor"
    source.write_text(FLOOR_SOURCE)
    built = subprocess.run(["cc", "-m32", "-O2", "-o", str(program), str(source)], capture_output=True)
    return program if built.returncode == 0 else None


# ---------------------------------------------------------------------------------------------
# Timing

class Program:
    """One program's runs; a failed run is kept as its message, so a long benchmark still reports the rest."""
    def __init__(self, name, command, cwd=None, before_each=None):
        self.name, self.command, self.cwd, self.before_each = name, command, cwd, before_each
        self.runs, self.failure = [], None

    def run(self):
        if self.before_each:
            self.before_each()
        try:
            self.runs.append(run_measured(self.command, self.cwd))
        except CommandFailed as failed:
            self.failure = " ".join(str(failed).split())[-200:]
            progress("    " + self.failure)

    def medians(self):
        """Median wall, user and system seconds and the largest peak MiB, or None when no run succeeded."""
        if self.failure or not self.runs:
            return None
        return (statistics.median(r.wall for r in self.runs), statistics.median(r.user for r in self.runs),
                statistics.median(r.system for r in self.runs), max(r.peak for r in self.runs) / 1024)


def take_turns(programs, rounds, after_each=None):
    """Each round runs every program once, so all meet the same load on this shared machine."""
    for _ in range(rounds):
        for program in programs:
            progress("  " + program.name)
            program.run()
            if after_each:
                after_each()


def unzip_output(unzip_args, archive):
    done = subprocess.run(["unzip"] + unzip_args + [str(archive)], capture_output=True)
    return done.returncode, done.stdout.decode(errors="replace").splitlines()


def verify_lark_archive(archive, files):
    """unzip -t's verdict on the archive lark wrote, and whether it holds every file."""
    if not archive.exists():
        return "lark wrote no archive"
    status, _ = unzip_output(["-tq"], archive)
    _, names = unzip_output(["-Z1"], archive)
    held = sum(1 for name in names if not name.endswith("/"))
    tested = "passes" if status == 0 else "FAILS (exit %d)" % status
    return "unzip -t %s; %d of %d files in it" % (tested, held, files)


# ---------------------------------------------------------------------------------------------
# The window under Wine

def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


class VirtualDisplay:
    """An Xvfb of our own on the first free display number, ended by its id."""
    def __enter__(self):
        reader, writer = os.pipe()
        self.server = subprocess.Popen(["Xvfb", "-displayfd", str(writer), "-screen", "0", "1024x768x24",
                                        "-nolisten", "tcp"], pass_fds=(writer,),
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(writer)
        with os.fdopen(reader) as answer:
            number = answer.readline().strip()
        if not number:
            self.server.kill()
            sys.exit("Xvfb did not start")
        self.name = ":" + number
        return self

    def __exit__(self, *_):
        self.server.terminate()
        self.server.wait()


class WineSession:
    """Wine in a prefix of the benchmark's own on a virtual display; its processes end with it.
    Without a window manager Wine draws the frames itself, so larkspool.exe is left unmanaged."""
    def __init__(self, prefix, display):
        self.env = dict(os.environ, WINEPREFIX=str(prefix), WINEDEBUG="-all", DISPLAY=display)
        self.wineserver = shutil.which("wineserver") or "/usr/lib/wine/wineserver"
        if not (prefix / "system.reg").exists():
            progress("making the Wine prefix %s (once)" % prefix)
            subprocess.run(["wineboot", "-i"], env=self.env, capture_output=True)
        with tempfile.NamedTemporaryFile("w", suffix=".reg", delete=False) as settings:
            settings.write("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\larkspool.exe"
                           "\\X11 Driver]\n\"Managed\"=\"N\"\n")
        subprocess.run(["wine", "regedit", "/S", windows_path(settings.name)], env=self.env, capture_output=True)
        os.unlink(settings.name)

    def close(self):
        subprocess.run([self.wineserver, "-k"], env=self.env, capture_output=True)

    def top_level_titles(self):
        return subprocess.run(["xwininfo", "-root", "-children"], env=self.env, capture_output=True,
                              text=True, errors="replace").stdout

    def open_in_window(self, exe, archive):
        """Seconds from starting the program on the archive until its title names it, and its peak
        resident KiB once the window has painted; None when it never showed the archive."""
        title = '"%s"' % windows_path(archive)
        start = time.perf_counter()
        window = subprocess.Popen(["wine", str(exe), windows_path(archive)], env=self.env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            while title not in self.top_level_titles():
                if window.poll() is not None or time.perf_counter() - start > WINDOW_TIMEOUT:
                    return None
                time.sleep(0.05)
            shown = time.perf_counter() - start
            time.sleep(SETTLE_SECONDS)
            return shown, peak_resident_kib(window.pid)
        finally:
            window.kill()
            window.wait()


def peak_resident_kib(pid):
    """VmHWM of the process (Wine's loader runs the program in the process it was started as)."""
    status = pathlib.Path("/proc/%d/status" % pid).read_text()
    return next(int(line.split()[1]) for line in status.splitlines() if line.startswith("VmHWM:"))


def measure_window(exe, prefix, big, one, rounds):
    """Medians of the big archive's and the 1-entry archive's seconds and peak KiB, taking turns."""
    figures = {big: [], one: []}
    with VirtualDisplay() as display:
        session = WineSession(prefix, display.name)
        try:
            progress("  window: warm-up on the 1-entry archive")
            session.open_in_window(exe, one)
            for _ in range(rounds):
                for archive in (one, big):
                    progress("  window: %s" % archive.name)
                    result = session.open_in_window(exe, archive)
                    if result is None:
                        return "not measured: the window ended or did not name %s within %d s" % (
                            archive.name, WINDOW_TIMEOUT)
                    figures[archive].append(result)
        finally:
            session.close()
    return {archive: (statistics.median(s for s, _ in runs), statistics.median(k for _, k in runs) / 1024)
            for archive, runs in figures.items()}


# ---------------------------------------------------------------------------------------------
# The report

def machine_lines(emulator, floor, load_at_start):
    model = next((line.split(":", 1)[1].strip() for line in pathlib.Path("/proc/cpuinfo").read_text().splitlines()
                  if line.startswith("model name")), "unknown CPU")
    lines = ["machine: %d cores, %s; load average %.2f at the start, %.2f at the end; the run took %.0f s"
             % (os.cpu_count(), model, load_at_start, os.getloadavg()[0], time.perf_counter() - STARTED)]
    if emulator:
        version = subprocess.run([emulator, "--version"], capture_output=True, text=True).stdout.split()
        lines.append("lark is 32-bit and runs here under the emulator %s %s: its times and memory include"
                     % (emulator, version[2] if len(version) > 2 else ""))
        lines.append("the emulator's, the peers' (native programs) do not; `lark --version` alone: %.2f s, %.1f MiB"
                     % (floor.wall, floor.peak / 1024))
        lines.append("'32-bit read/write of the files': a small C program built with -m32 that only reads (add) or")
        lines.append("writes, dates and closes (extract) the same files under the same emulator: the floor of that work here")
    return lines


def verdict(value, bound, form):
    """'0.91x <= 0.8x: MISSED' and the like, in the form given for both figures."""
    return "%s <= %s: %s" % (form % value, form % bound, "met" if value <= bound else "MISSED")


def goal_line(work, goals, scale_name, lark, medians, extra):
    ratio_goal, peak_goal = goals[work]
    parts = []
    if ratio_goal:
        peer, bound = ratio_goal
        peer_figures = next(figures for name, figures in medians.items() if name.startswith(peer))
        parts.append("wall/%s %s" % (peer, verdict(lark[0] / peer_figures[0], bound, "%.2fx")
                                     if lark and peer_figures else "<= %.2fx: not measured" % bound))
    if peak_goal:
        parts.append("peak %s" % (verdict(lark[3], peak_goal, "%.1f MiB") if lark
                                  else "<= %.1f MiB: not measured" % peak_goal))
    return "goal (%s): %s" % (scale_name, "; ".join(parts + extra))


def print_report(header, works, larks, goals, scale_name, window_lines):
    """One block per work: lark's builds first, the last of them the one compared with the peers."""
    print("\n".join(header))
    print("lark/it: lark's wall time over that program's (below 1: lark is faster)")
    print()
    print("%-8s %-26s %8s %8s %8s %9s %8s" % ("work", "program", "wall s", "user s", "sys s", "peak MiB",
                                              "lark/it"))
    for work, (programs, extra) in works.items():
        medians = {p.name: p.medians() for p in programs}
        lark = programs[larks - 1].medians()
        for i, program in enumerate(programs):
            figures, first = medians[program.name], work if i == 0 else ""
            if not figures:
                print("%-8s %-26s FAILED: %s" % (first, program.name, program.failure))
                continue
            ratio = "" if i < larks or not lark else "%.2fx" % (lark[0] / figures[0])
            print("%-8s %-26s %8.2f %8.2f %8.2f %9.1f %8s" % ((first, program.name) + figures + (ratio,)))
        print("%-8s %s" % ("", goal_line(work.split()[0], goals, scale_name, lark, medians, extra)))
    for line in window_lines:
        print(line)


def window_report(figures, big, one, emulated):
    if isinstance(figures, str):
        return ["%-8s %s" % ("window", figures)]
    (big_s, big_mib), (one_s, one_mib) = figures[big], figures[one]
    return ["%-8s larkspool.exe under Wine%s: title names the archive after %.2f s (1 entry: %.2f s), VmHWM %.1f MiB"
            " (1 entry: %.1f)" % ("window", " (itself emulated)" if emulated else "", big_s, one_s, big_mib, one_mib),
            "%-8s goal: later than the 1-entry window by %s; peak above it by %s"
            % ("", verdict(big_s - one_s, WINDOW_GOAL_SECONDS, "%.2f s"),
               verdict(big_mib - one_mib, WINDOW_GOAL_MIB, "%.1f MiB"))]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=str(ROOT / "build" / "bench"))
    parser.add_argument("--files", type=int, default=1_000_000)
    parser.add_argument("--folders", type=int, default=1_000)
    parser.add_argument("--repeat", type=int, default=1,
                        help="rounds of add and extract (of list and the window: at least 3)")
    parser.add_argument("--window", action="store_true", help="also time the window under Wine")
    parser.add_argument("--windows-bin", default=str(ROOT / "build" / "windows" / "bin"))
    parser.add_argument("--wineprefix", help="default: wine-bench beside the Windows build's bin folder")
    options = parser.parse_args()
    if options.files < 1 or not 1 <= options.folders <= options.files:
        sys.exit("--files and --folders: at least one file, and at least one file in each folder")
    exe = pathlib.Path(options.windows_bin) / "larkspool.exe"
    if options.window and not exe.exists():
        sys.exit("%s is missing: build the Windows build's larkspool target first" % exe)
    prefix = pathlib.Path(options.wineprefix or pathlib.Path(options.windows_bin).parent / "wine-bench").resolve()
    check_room(options.files)
    load_at_start = os.getloadavg()[0]

    progress("building lark")
    larks = {"lark": build_lark(pathlib.Path(options.build))}
    emulator = i386_emulator()
    native = emulator and build_lark(pathlib.Path(options.build + "-native"), native_abi=True)
    if native:
        larks["lark (native ABI)"] = native
    floor = run_measured([str(larks["lark"]), "--version"])
    goals, scale_name = ((SMALL_GOALS, "65,000 files") if options.files <= SMALL_SCALE
                         else (LARGE_GOALS, "1,000,000 files"))

    with tempfile.TemporaryDirectory(prefix="lark-scale-", dir=SCRATCH) as folder:
        folder = pathlib.Path(folder)
        tree = folder / "tree"
        progress("making %d files in %d folders" % (options.files, options.folders))
        make_tree(tree, options.files, options.folders)
        progress("writing the archive with Python's zipfile")
        listed = folder / "listed.zip"
        write_archive(listed, tree_files(options.files, options.folders))
        one = folder / "one.zip"
        write_archive(one, tree_files(1, 1))
        rounds = max(1, options.repeat)
        works = {}

        progress("add, level 9")
        added = {name: folder / ("added-%d.zip" % i) for i, name in enumerate(list(larks) + ["zip", "7zz"])}
        adders = [Program(name + " add -r", [str(lark), "add", str(added[name]), "-r", str(tree)],
                          before_each=removed(added[name])) for name, lark in larks.items()]
        adders += [Program("zip -9 -r -q", ["zip", "-9", "-r", "-q", str(added["zip"]), "."], tree,
                           removed(added["zip"])),
                   Program("7zz a -mx9 -mmt1", ["7zz", "a", "-tzip", "-mx9", "-mmt1", "-bd", str(added["7zz"]), "."],
                           tree, removed(added["7zz"]))]
        floor_program = build_floor(folder) if emulator else None
        if floor_program:
            adders.append(Program("32-bit read of the files", [str(floor_program), "read", str(tree)]))
        take_turns(adders, rounds)
        checks = [verify_lark_archive(added[name], options.files) for name in larks]
        for path in added.values():
            path.unlink()
        works["add -9"] = (adders, checks)

        progress("list")
        listers = [Program(name + " list", [str(lark), "list", str(listed)]) for name, lark in larks.items()]
        listers += [Program("unzip -Z1", ["unzip", "-Z1", str(listed)]),
                    Program("7zz l", ["7zz", "l", str(listed)]),
                    Program("bsdtar -tf", ["bsdtar", "-tf", str(listed)])]
        take_turns(listers, max(3, rounds))
        works["list"] = (listers, [])

        progress("extract")
        out = folder / "out"
        extractors = [Program(name + " extract -o", [str(lark), "extract", str(listed), str(out), "-o"],
                              before_each=fresh_folder(out)) for name, lark in larks.items()]
        extractors += [Program("unzip -qo", ["unzip", "-qo", str(listed), "-d", str(out)], None, fresh_folder(out)),
                       Program("7zz x", ["7zz", "x", "-y", "-bd", "-o" + str(out), str(listed)], None,
                               fresh_folder(out))]
        if floor_program:
            extractors.append(Program("32-bit write of the files", [str(floor_program), "write", str(out),
                                                                      str(options.files), str(options.folders)],
                                      None, fresh_folder(out)))
        counts = []
        take_turns(extractors, rounds, lambda: counts.append(count_files(out)))
        shutil.rmtree(out)
        short = {n for n in counts if n != options.files}
        works["extract"] = (extractors, ["every extraction wrote all %d files" % options.files if not short
                                         else "SHORT extraction: %s files" % sorted(short)])

        window_lines = []
        if options.window:
            progress("window")
            figures = measure_window(exe, prefix, listed, one, max(3, rounds))
            window_lines = window_report(figures, listed, one, bool(emulator))
        progress("removing the tree")

    size = sum(len(data) for _, data in tree_files(options.files, options.folders))
    header = ["scale_bench: %d files of %d bytes in all, in %d folders, on tmpfs; list and extract read an archive"
              % (options.files, size, options.folders),
              "Python's zipfile wrote (%s); %d round(s) of add and extract, %d of list; medians, peak the largest"
              % ("ZIP64" if options.files > 65535 else "no ZIP64", rounds, max(3, rounds))]
    header += machine_lines(emulator, floor, load_at_start)
    if native:
        header.append("'lark (native ABI)' is the same code built without -m32; lark/it compares it.")
    elif emulator:
        header.append("lark builds only in 32 bits (the engine bridge holds 32-bit addresses): no native build.")
    if not options.window:
        window_lines = ["%-8s not measured (run with --window)" % "window"]
    print_report(header, works, len(larks), goals, scale_name, window_lines)
    progress("done")


if __name__ == "__main__":
    main()
