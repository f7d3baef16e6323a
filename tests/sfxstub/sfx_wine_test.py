#!/usr/bin/env python3
"""sfx.bin under Wine: programs joined to archives of Info-ZIP zip and of our engines, run with /auto.

usage: sfx_wine_test.py --bin DIR --runner WINE [unittest args]

DIR holds sfx.bin, lark.exe and the engines. Every extraction is compared with its source tree
byte for byte; failures must give exit code 1, the right log lines and nothing outside the
destination.
"""

import argparse
import filecmp
import os
import pathlib
import random
import shlex
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

BIN = None
RUNNER = []

CENTRAL_SIGNATURE = b"PK\x01\x02"
CD_CRC = 16
CD_NAME_LENGTH = 28


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def run(program, *arguments):
    command = RUNNER + [str(program)] + list(arguments)
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=600,
                          env=dict(os.environ, WINEDEBUG="-all")).returncode


def lark(*arguments):
    code = run(BIN / "lark.exe", *arguments)
    if code != 0:
        raise AssertionError("lark %s failed with %d" % (" ".join(arguments), code))


def make_tree(root, many):
    """Folders (one empty), a zero-byte file, text and incompressible data; with `many`, 2000 small
    files too (one archive has them: Wine takes some 20 ms for each file written)."""
    rng = random.Random(7)
    (root / "docs" / "empty").mkdir(parents=True)
    (root / "zero.txt").write_bytes(b"")
    (root / "docs" / "notes.txt").write_bytes(b"line of text\r\n" * 5000)
    (root / "docs" / "noise.bin").write_bytes(bytes(rng.getrandbits(8) for _ in range(200000)))
    if many:
        (root / "many").mkdir()
        for i in range(2000):
            (root / "many" / ("f%04d.txt" % i)).write_bytes(("small file %d\n" % i).encode())


def same_tree(left, right):
    """True when both trees hold the same folders and files with the same bytes."""
    compare = filecmp.dircmp(left, right)
    if compare.left_only or compare.right_only or compare.funny_files:
        return False
    _, mismatch, errors = filecmp.cmpfiles(left, right, compare.common_files, shallow=False)
    if mismatch or errors:
        return False
    return all(same_tree(os.path.join(left, d), os.path.join(right, d)) for d in compare.common_dirs)


def central_name(data, at):
    length = struct.unpack_from("<H", data, at + CD_NAME_LENGTH)[0]
    return bytes(data[at + 46:at + 46 + length])


def opens_with(archive, name, password):
    """Whether the entry's encryption header takes the password (zipfile checks it on opening)."""
    with zipfile.ZipFile(archive) as z:
        try:
            z.open(name, pwd=password).close()
            return True
        except RuntimeError:
            return False


def zip_tree(source, archive, *options):
    subprocess.run(["zip", "-q", "-r", *options, str(archive), "."], cwd=source, check=True,
                   stdout=subprocess.DEVNULL)


class SfxUnderWine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = pathlib.Path(tempfile.mkdtemp(prefix="lark-sfx-"))
        cls.source = cls.work / "source"
        make_tree(cls.source, many=False)
        cls.many = cls.work / "many"
        make_tree(cls.many, many=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def setUp(self):
        self.case = pathlib.Path(tempfile.mkdtemp(dir=self.work))

    def program(self, archive, name="prog.exe"):
        program = self.case / name
        lark("sfx", windows_path(BIN / "sfx.bin"), windows_path(archive), windows_path(program))
        return program

    def auto(self, program, *switches):
        destination = self.case / "out"
        log = self.case / "run.log"
        code = run(program, "/auto", "/d:" + windows_path(destination), "/log:" + windows_path(log), *switches)
        text = log.read_bytes().decode("cp1252") if log.exists() else ""
        return code, destination, text

    def outside_destination(self):
        return sorted(p.name for p in self.case.iterdir() if p.name not in ("out", "run.log"))

    def test_extracts_archives_of_info_zip_and_of_our_engines(self):
        archives = {}
        deflated = self.case / "deflated.zip"
        subprocess.run(["zip", "-q", "-r", "-z", str(deflated), "."], cwd=self.many, check=True,
                       input=b"the archive comment\n.\n", stdout=subprocess.DEVNULL)
        archives["deflated"] = (deflated, self.many, 2003)
        for name, options in (("stored", ["-0"]), ("encrypted", ["-P", "secret"])):
            zip_tree(self.source, self.case / (name + ".zip"), *options)
            archives[name] = (self.case / (name + ".zip"), self.source, 3)
        engines = self.case / "engines.zip"
        lark("add", windows_path(engines), "-r", windows_path(self.source), windows_path(self.source / "*.*"))
        archives["engines"] = (engines, self.source, 3)
        for name, (archive, source, count) in archives.items():
            with self.subTest(archive=name):
                program = self.program(archive, name + ".exe")
                code, destination, log = self.auto(program, "/p:secret")
                self.assertEqual(code, 0, log)
                self.assertTrue(same_tree(source, destination), name)
                self.assertIn("%d file(s) extracted" % count, log)
                shutil.rmtree(destination)
                # Converting back gives the archive byte for byte.
                back = self.case / (name + "-back.zip")
                lark("strip", windows_path(program), windows_path(back))
                self.assertEqual(back.read_bytes(), archive.read_bytes())

    def test_offsets_counting_from_the_program_start(self):
        archive = self.case / "a.zip"
        zip_tree(self.source / "docs", archive)
        program = self.case / "adjusted.exe"
        program.write_bytes((BIN / "sfx.bin").read_bytes() + archive.read_bytes())
        subprocess.run(["zip", "-q", "-A", str(program)], check=True)
        code, destination, log = self.auto(program)
        self.assertEqual(code, 0, log)
        self.assertTrue(same_tree(self.source / "docs", destination))

    def test_failures_give_exit_code_1_and_log_lines(self):
        hostile = self.case / "hostile.zip"
        with zipfile.ZipFile(hostile, "w") as z:
            for name in ("../evil.txt", "C:/drive.txt", "/rooted.txt", "a/../../up.txt", "ok.txt"):
                z.writestr(zipfile.ZipInfo(name, (2020, 1, 1, 0, 0, 0)), b"x")
        damaged = self.case / "damaged.zip"
        zip_tree(self.source / "docs", damaged, "-0")
        data = bytearray(damaged.read_bytes())
        central = data.index(CENTRAL_SIGNATURE)
        while not central_name(data, central).endswith(b"notes.txt"):
            central = data.index(CENTRAL_SIGNATURE, central + 4)
        data[central + CD_CRC] ^= 0xFF
        damaged.write_bytes(bytes(data))
        encrypted = self.case / "encrypted.zip"
        # One wrong password in 256 passes a stored entry's check byte: made again until "wrong" does not.
        while True:
            if encrypted.exists():
                encrypted.unlink()
            zip_tree(self.source / "docs", encrypted, "-P", "secret")
            if not opens_with(encrypted, "noise.bin", b"wrong"):
                break
        cases = (
            (hostile, [], "not extracted: ..\\evil.txt: its name would lead outside the destination folder"),
            (damaged, [], "not extracted: notes.txt: its data are damaged (CRC error)"),
            (encrypted, ["/p:wrong"], "not extracted: noise.bin: no password opened it"),
        )
        made = sorted(archive.name for archive, _, _ in cases)
        for archive, switches, line in cases:
            with self.subTest(archive=archive.name):
                program = self.program(archive, archive.stem + ".exe")
                code, destination, log = self.auto(program, *switches)
                self.assertEqual(code, 1, log)
                self.assertIn(line, log)
                self.assertIn("exit code: 1", log)
                self.assertEqual(self.outside_destination(), sorted(made + [archive.stem + ".exe"]))
                names = sorted(str(p.relative_to(destination)) for p in destination.rglob("*"))
                self.assertFalse([n for n in names if n.endswith(".tmp")], names)
                if archive is hostile:
                    self.assertEqual(names, ["ok.txt"])
                if archive is damaged:
                    self.assertNotIn("notes.txt", names)
                shutil.rmtree(destination)
                program.unlink()

    def test_bare_stub_and_bad_switches(self):
        bare = self.case / "bare.exe"
        shutil.copy(BIN / "sfx.bin", bare)
        code, destination, log = self.auto(bare)
        self.assertEqual(code, 1)
        self.assertEqual(log, "This program carries no archive to extract.\r\nexit code: 1\r\n")
        self.assertFalse(destination.exists())
        self.assertEqual(run(bare, "/auto", "/unknown"), 2)


def main():
    global BIN, RUNNER
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--runner", default="")
    args, rest = parser.parse_known_args()
    BIN = pathlib.Path(args.bin).resolve()
    RUNNER = shlex.split(args.runner)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
