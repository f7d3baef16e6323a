#!/usr/bin/env python3
"""The release under Wine: the package made from the build's programs, unpacked and installed.

usage: package_test.py --bin DIR --version VERSION --work DIR --runner WINE [unittest args]

Makes the package and its setup program from DIR (as scripts/package does from its own build),
unpacks the zip and runs the setup with /auto /d: into WORK/installed, which the window test then
starts larkspool.exe from.
"""

import argparse
import filecmp
import os
import pathlib
import shlex
import shutil
import struct
import subprocess
import sys
import unittest
import zipfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "package"))
import make_package  # noqa: E402

BIN = WORK = None
VERSION = ""
RUNNER = []
EPOCH = 1700000000  # 2023-11-14 22:13:20 UTC

# Exactly what a user gets, in the package's order.
EXPECTED_NAMES = [
    "Larkspool.html",
    "README.md",
    "UnzDll.dll",
    "ZipDll.dll",
    "lark.exe",
    "larkspool.exe",
    "licenses/LGPL-2.1.txt",
    "licenses/gcc-runtime.txt",
    "licenses/libgcrypt.txt",
    "licenses/libgpg-error.txt",
    "licenses/mingw-w64-runtime.txt",
    "licenses/zlib.txt",
    "sfx.bin",
]

# The version resource of each program and library.
DESCRIPTIONS = {
    "larkspool.exe": "Larkspool ZIP archiver",
    "lark.exe": "Larkspool console front end",
    "ZipDll.dll": "Larkspool compression engine",
    "UnzDll.dll": "Larkspool extraction engine",
    "sfx.bin": "Larkspool self-extracting program",
}

# The stub's settings block: marker, format version 1 and size 1024, then texts at fixed offsets
# (the marker alone is also in the stub's code, as the reader's constant).
SETTINGS_MARKER = b"LarkspoolSfxCfg\0\x01\x00\x00\x04"
CAPTION, COMMAND_LINE, DESTINATION = 24, 408, 920


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def run(program, *arguments):
    return subprocess.run(RUNNER + [str(program)] + list(arguments), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=600, env=dict(os.environ, WINEDEBUG="-all"))


def files_below(root):
    return sorted(str(p.relative_to(root)) for p in root.rglob("*") if p.is_file())


def same_files(left, right):
    names = files_below(left)
    if names != files_below(right):
        return False
    return all(filecmp.cmp(left / name, right / name, shallow=False) for name in names)


def version_string(data, key):
    """A value of the version resource's string table (UTF-16): the key, zero padding, the text."""
    at = data.find((key + "\0").encode("utf-16-le"))
    if at < 0:
        return None
    at += 2 * (len(key) + 1)
    while data[at:at + 2] == b"\0\0":
        at += 2
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le")


def has_symbol_table(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    return struct.unpack_from("<I", data, pe + 4 + 8)[0] != 0  # COFF header: PointerToSymbolTable


def settings_text(data, field):
    block = data.find(SETTINGS_MARKER)
    return data[block + field:data.index(b"\0", block + field)].decode("ascii")


class PackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(WORK, ignore_errors=True)
        cls.dist = WORK / "dist"
        cls.archive, cls.setup = make_package.make_package(BIN, cls.dist, VERSION, EPOCH, RUNNER)
        cls.unpacked, cls.installed = WORK / "unpacked", WORK / "installed"
        with zipfile.ZipFile(cls.archive) as package:
            package.extractall(cls.unpacked)
        cls.install = run(cls.setup, "/auto", "/d:" + windows_path(cls.installed), "/log:" + windows_path(WORK / "setup.log"))

    def test_the_package_holds_exactly_the_release_files(self):
        self.assertEqual(self.archive.name, "Larkspool-%s-win32.zip" % VERSION)
        self.assertEqual(self.setup.name, "Larkspool-%s-setup.exe" % VERSION)
        with zipfile.ZipFile(self.archive) as package:
            self.assertIsNone(package.testzip())
            entries = package.infolist()
        self.assertEqual([e.filename for e in entries], EXPECTED_NAMES)
        for entry in entries:
            self.assertEqual(entry.date_time, (2023, 11, 14, 22, 13, 20), entry.filename)

    def test_a_second_run_gives_the_same_bytes(self):
        again = WORK / "again"
        archive = make_package.make_zip(BIN, again, VERSION, EPOCH)
        self.assertEqual(archive.read_bytes(), self.archive.read_bytes())

    def test_the_setup_installs_the_same_files_as_the_zip(self):
        self.assertEqual(self.install.returncode, 0, (WORK / "setup.log").read_text(errors="replace"))
        self.assertEqual(files_below(self.installed), EXPECTED_NAMES)
        self.assertTrue(same_files(self.unpacked, self.installed))

    def test_the_setup_carries_its_settings(self):
        data = self.setup.read_bytes()
        self.assertEqual(settings_text(data, CAPTION), "Larkspool %s Setup" % VERSION)
        self.assertEqual(settings_text(data, COMMAND_LINE), '"<?>Larkspool.html"')
        self.assertEqual(settings_text(data, DESTINATION), "%ProgramFiles%\\Larkspool")
        self.assertEqual(version_string(data, "ProductVersion"), VERSION)

    def test_the_setup_offers_a_larkspool_folder_under_program_files(self):
        log = WORK / "default.log"
        result = run(self.setup, "/auto", "/log:" + windows_path(log))
        lines = log.read_text(errors="replace").splitlines()
        destination = next(line for line in lines if line.startswith("extracting to: "))[len("extracting to: "):]
        # Removed again from the prefix's drive C:, where it was installed.
        if destination.startswith("C:\\") and destination.endswith("\\Larkspool"):
            prefix = pathlib.Path(os.environ.get("WINEPREFIX", pathlib.Path.home() / ".wine"))
            shutil.rmtree(prefix / "drive_c" / destination[3:].replace("\\", "/"), ignore_errors=True)
        self.assertEqual(result.returncode, 0, lines)
        self.assertRegex(destination, r"^C:\\Program Files( \(x86\))?\\Larkspool$")

    def test_every_program_carries_the_version_and_no_symbols(self):
        for name, description in DESCRIPTIONS.items():
            with self.subTest(name):
                data = (self.unpacked / name).read_bytes()
                self.assertEqual(version_string(data, "ProductName"), "Larkspool")
                self.assertEqual(version_string(data, "ProductVersion"), VERSION)
                self.assertEqual(version_string(data, "FileVersion"), VERSION)
                self.assertEqual(version_string(data, "FileDescription"), description)
                self.assertEqual(version_string(data, "OriginalFilename"), name)
                self.assertFalse(has_symbol_table(data))
        self.assertIn("<h1>Larkspool %s</h1>" % VERSION, (self.unpacked / "Larkspool.html").read_text("cp1252"))

    def test_installed_lark_prints_the_version(self):
        result = run(self.installed / "lark.exe", "--version")
        self.assertEqual((result.returncode, result.stdout.decode().strip()), (0, "Larkspool " + VERSION))


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--runner", default="wine")
    args, rest = parser.parse_known_args()
    BIN, WORK, VERSION, RUNNER = pathlib.Path(args.bin), pathlib.Path(args.work), args.version, shlex.split(args.runner)
    unittest.main(argv=[sys.argv[0]] + rest)
