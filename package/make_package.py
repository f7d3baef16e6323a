#!/usr/bin/env python3
"""Makes the release from a Windows build's programs: the package (a zip) and its setup program.

usage: make_package.py --bin DIR --out DIR --version VERSION [--date EPOCH] [--runner WINE]

DIR (a release build's bin folder: its programs carry no symbols) holds larkspool.exe, lark.exe, the
engines, sfx.bin, Larkspool.html and makesetup.exe. Writes
OUT/Larkspool-VERSION-win32.zip and OUT/Larkspool-VERSION-setup.exe. Two runs over the same build
give the same bytes: every entry carries the time EPOCH (the commit's, by default), names are sorted
and nothing of the machine (owner, permissions, file times) goes in.
"""

import argparse
import os
import pathlib
import shlex
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

ROOT = pathlib.Path(__file__).resolve().parent.parent

# What the package holds: the build's files, then files of the source tree and of the system.
# The licences are those of what is linked into the programs: zlib in the engines and the stub,
# libgcrypt and libgpg-error (LGPL, whose text ships beside them) in the engines, the
# MinGW-w64 runtime (with winpthreads) and GCC's runtime libraries in every program.
BUILT = ["larkspool.exe", "lark.exe", "ZipDll.dll", "UnzDll.dll", "sfx.bin", "Larkspool.html"]
SOURCE = [("README.md", ROOT / "README.md")]
LICENCES = [
    ("licenses/zlib.txt", pathlib.Path("/usr/share/doc/libz-mingw-w64-dev/copyright")),
    ("licenses/mingw-w64-runtime.txt", pathlib.Path("/usr/share/doc/mingw-w64-i686-dev/copyright")),
    ("licenses/gcc-runtime.txt", pathlib.Path("/usr/share/doc/gcc-mingw-w64-base/copyright")),
    ("licenses/libgcrypt.txt", pathlib.Path("/usr/share/doc/libgcrypt-mingw-w64-dev/copyright")),
    ("licenses/libgpg-error.txt", pathlib.Path("/usr/share/doc/libgpg-error-mingw-w64-dev/copyright")),
    ("licenses/LGPL-2.1.txt", ROOT / "docs" / "LGPL-2.1.txt"),
]


def windows_path(path):
    return "Z:" + str(pathlib.Path(path).resolve()).replace("/", "\\")


def commit_time():
    out = subprocess.run(["git", "-C", str(ROOT), "log", "-1", "--format=%ct"], stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL, text=True)
    return int(out.stdout.strip()) if out.returncode == 0 and out.stdout.strip() else 315532800


def stage(bin_dir, stage_dir):
    """Copies the package's files into stage_dir; returns their names in the package."""
    names = []
    for name, source in [(name, bin_dir / name) for name in BUILT] + SOURCE + LICENCES:
        target = stage_dir / name
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(source, target)
        names.append(name)
    return names


def write_zip(stage_dir, names, archive, epoch):
    # DOS times have a two-second grain and start in 1980.
    stamp = time.gmtime(max(epoch, 315532800))[:6]
    with zipfile.ZipFile(archive, "w") as package:
        for name in sorted(names):
            entry = zipfile.ZipInfo(name, date_time=stamp)
            entry.create_system = 0  # MS-DOS: the attributes below are Windows attributes
            entry.external_attr = 0x20  # archive bit
            entry.compress_type = zipfile.ZIP_DEFLATED
            package.writestr(entry, (stage_dir / name).read_bytes(), compresslevel=9)


def write_setup(bin_dir, archive, setup, version, runner):
    """Our stub with the setup's settings, joined to the package, by makesetup (the program's own code)."""
    command = runner + [str(bin_dir / "makesetup.exe"), windows_path(bin_dir / "sfx.bin"), windows_path(archive),
                        windows_path(setup), "Larkspool %s Setup" % version,
                        "Larkspool %s, a ZIP archiver for Windows" % version, '"<?>Larkspool.html"',
                        "%ProgramFiles%\\Larkspool"]
    subprocess.run(command, check=True, env=dict(os.environ, WINEDEBUG="-all"))


def make_zip(bin_dir, out_dir, version, epoch):
    """The package alone: OUT/Larkspool-VERSION-win32.zip."""
    out_dir = pathlib.Path(out_dir)
    out_dir.mkdir(parents=True, exist_ok=True)
    archive = out_dir / ("Larkspool-%s-win32.zip" % version)
    archive.unlink(missing_ok=True)
    with tempfile.TemporaryDirectory() as stage_dir:
        names = stage(pathlib.Path(bin_dir), pathlib.Path(stage_dir))
        write_zip(pathlib.Path(stage_dir), names, archive, epoch)
    return archive


def make_package(bin_dir, out_dir, version, epoch, runner):
    """The package and its setup program."""
    setup = pathlib.Path(out_dir) / ("Larkspool-%s-setup.exe" % version)
    setup.unlink(missing_ok=True)
    archive = make_zip(bin_dir, out_dir, version, epoch)
    write_setup(pathlib.Path(bin_dir), archive, setup, version, runner)
    return archive, setup


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--date", type=int, default=None, help="entry time, seconds since 1970 (default: the commit's)")
    parser.add_argument("--runner", default="wine")
    args = parser.parse_args()
    epoch = args.date if args.date is not None else int(os.environ.get("SOURCE_DATE_EPOCH", commit_time()))
    for made in make_package(args.bin, args.out, args.version, epoch, shlex.split(args.runner)):
        print("%s\t%d bytes" % (made, made.stat().st_size))


if __name__ == "__main__":
    sys.exit(main())
