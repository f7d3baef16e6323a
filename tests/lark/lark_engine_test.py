#!/usr/bin/env python3
# End-to-end tests of lark's add, extract and delete against the fake engine libraries.
"""Runs lark add/extract/delete with the fake engines and checks the records they received,
the answers lark gave to their questions on the console, and what lark printed.

usage: lark_engine_test.py --lark PATH --engines FOLDER [--runner "wine"] [--windows] [--messages Messages.cpp]
"""

import argparse
import os
import pathlib
import shlex
import subprocess
import sys
import tempfile
import unittest
import zipfile

import lark_cli_test as cli

ENGINES = None

TRUE = 0xFFFFFFFF
# Offsets of the command records, as the engine header names them.
ZIP_PASSWORD, ZIP_PASSWORD_FLAG, ZIP_JUNK_FOLDERS, ZIP_RECURSE = 0x14, 0x1C, 0x2C, 0x4C
ZIP_ADDING, ZIP_DELETING, ZIP_REPLACE, ZIP_SPEC_COUNT, ZIP_FILE_NAME = 0x50, 0x5C, 0x60, 0x78, 0x7C
ZIP_SPEC, ZIP_SPEC_ROOT = 0x00, 0x24
UNZ_PASSWORD, UNZ_BY_AGE, UNZ_FOLDERS, UNZ_SPEC_COUNT, UNZ_FILE_NAME, UNZ_DESTINATION = 0x18, 0x30, 0x38, 0x40, 0x44, 0x6C
UNZ_SPEC = 0x00


class Dump:
    """What the fake engine wrote about one call: record words, the texts they named, its replies."""

    def __init__(self, lines):
        self.export = lines[0].split(" ", 1)[1]
        self.words, self.texts, self.specs, self.replies, self.cwd = {}, {}, {}, [], None
        for line in lines[1:]:
            kind, rest = line.split(" ", 1)
            if kind == "word":
                offset, value = rest.split(" ")
                self.words[int(offset, 16)] = int(value, 16)
            elif kind == "text":
                offset, text = (rest.split(" ", 1) + [""])[:2]
                self.texts[int(offset, 16)] = text
            elif kind == "spec":
                index, offset, text = (rest.split(" ", 2) + [""])[:3]
                self.specs.setdefault(int(index), {})[int(offset, 16)] = text
            elif kind == "reply":
                result, flag, number, text = (rest.split(" ", 3) + [""])[:4]
                self.replies.append((int(result), int(flag), int(number), text))
            elif kind == "cwd":
                self.cwd = rest


def read_dumps(path):
    if not path.exists():
        return []
    text = path.read_bytes().decode("latin-1")
    dumps, current = [], []
    for line in text.split("\n"):
        if line.startswith("exec "):
            if current:
                dumps.append(Dump(current))
            current = [line]
        elif line and current:
            current.append(line)
    if current:
        dumps.append(Dump(current))
    return dumps


class LarkEngine(unittest.TestCase):
    def setUp(self):
        self.tmp = pathlib.Path(tempfile.mkdtemp(prefix="lark-engine-"))
        self.dump = self.tmp / "dump.txt"
        self.archive = self.tmp / "a.zip"

    def tearDown(self):
        import shutil
        shutil.rmtree(self.tmp, ignore_errors=True)

    def run_lark(self, *args, script="", result=0, stdin=None, real=False):
        """Runs lark with the fake engines, or with the real ones beside it when `real`."""
        argv = cli.RUNNER + [cli.LARK] + [cli.lark_path(a) if isinstance(a, pathlib.PurePath) else a for a in args]
        env = dict(os.environ, WINEDEBUG="-all")
        if not real:
            env.update(LARK_ENGINES=cli.lark_path(ENGINES), FAKE_ENGINE_DUMP=cli.lark_path(self.dump),
                       FAKE_ENGINE_SCRIPT=script, FAKE_ENGINE_RESULT=str(result))
        if not cli.WINDOWS and cli.I386_EMULATED:
            env.setdefault("ASAN_OPTIONS", "detect_leaks=0")
        done = subprocess.run(argv, input=stdin, stdin=None if stdin is not None else subprocess.DEVNULL,
                              capture_output=True, env=env, timeout=600)
        decode = lambda data: data.decode(cli.console_encoding(), errors="replace").replace("\r\n", "\n")
        res = cli.Result(done.returncode, decode(done.stdout), cli.without_emulator_notes(decode(done.stderr)))
        for mark in cli.SANITIZER_MARKS:
            self.assertNotIn(mark, res.err)
        return res, read_dumps(self.dump)

    def make_archive(self):
        with zipfile.ZipFile(self.archive, "w") as z:
            z.writestr("a.txt", "alpha")
            z.writestr("dir/b.txt", "bravo")

    def write(self, name, data=b"x"):
        path = self.tmp / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        return path

    def test_add_chosen_files_with_an_option_between_them(self):
        one, two = self.write("one.txt"), self.write("two.txt")
        res, dumps = self.run_lark("add", self.archive, one, "-p", "secret", two, result=2)
        self.assertEqual(res.code, 0, res.err)
        self.assertEqual(res.out, cli.message("FilesAdded").replace("%d", "2") + "\n")
        self.assertEqual(len(dumps), 1)
        d = dumps[0]
        self.assertEqual(d.export, "ZipDllExec")
        self.assertEqual(d.words[ZIP_ADDING], TRUE)
        self.assertEqual(d.words[ZIP_REPLACE], TRUE)
        self.assertEqual(d.words[ZIP_RECURSE] & 0xFFFF, 0)
        self.assertEqual(d.words[ZIP_JUNK_FOLDERS], TRUE)
        self.assertEqual(d.words[ZIP_PASSWORD_FLAG], TRUE)
        self.assertEqual(d.texts[ZIP_PASSWORD], "secret")
        self.assertEqual(d.words[ZIP_SPEC_COUNT], 2)
        self.assertEqual(d.texts[ZIP_FILE_NAME], cli.system_path(self.archive))
        self.assertEqual([d.specs[i][ZIP_SPEC] for i in range(2)], [cli.system_path(one), cli.system_path(two)])
        self.assertEqual(d.specs[0][ZIP_SPEC_ROOT], "")

    def test_add_a_folder_tree_takes_every_file_below_the_root(self):
        root = self.tmp / "root"
        self.write("root/sub/c.txt")
        res, dumps = self.run_lark("add", "-r", root, self.archive, result=1)
        self.assertEqual(res.code, 0, res.err)
        self.assertEqual(res.out, cli.message("FilesAdded").replace("%d", "1") + "\n")
        d = dumps[0]
        self.assertEqual(d.words[ZIP_RECURSE] & 0xFFFF, 0xFFFF)
        self.assertEqual(d.words[ZIP_JUNK_FOLDERS], 0)
        self.assertEqual(d.words[ZIP_REPLACE], 0)
        self.assertEqual(d.specs[0][ZIP_SPEC], "*.*")
        self.assertEqual(d.specs[0][ZIP_SPEC_ROOT], cli.system_path(root) + "\\")
        self.assertEqual(d.cwd.lower().rstrip("\\/"), cli.lark_path(root).lower() if cli.WINDOWS else str(root))

    def test_add_a_folder_tree_with_patterns(self):
        res, dumps = self.run_lark("add", self.archive, "sub/*.c", "-r", self.tmp, "*.h", result=2)
        self.assertEqual(res.code, 0, res.err)
        self.assertEqual([dumps[0].specs[i][ZIP_SPEC] for i in range(2)], ["sub\\*.c", "*.h"])

    def test_extract_with_and_without_folder_names(self):
        self.make_archive()
        out = self.tmp / "out"
        out.mkdir()
        for flat, names, specs in ((False, [], ["*.*"]), (True, ["dir/b.txt", "a.txt"], ["dir\\b.txt", "a.txt"])):
            with self.subTest(flat=flat):
                self.dump.unlink(missing_ok=True)
                args = ["extract", self.archive, out] + (["-f"] if flat else []) + names
                res, dumps = self.run_lark(*args, result=2)
                self.assertEqual(res.code, 0, res.err)
                self.assertEqual(res.out, cli.message("FilesExtracted").replace("%d", "2") + "\n")
                d = dumps[0]
                self.assertEqual(d.export, "UnzDllExec")
                self.assertEqual(d.words[UNZ_BY_AGE], TRUE)
                self.assertEqual(d.words[UNZ_FOLDERS], 0 if flat else TRUE)
                self.assertEqual(d.texts[UNZ_DESTINATION], cli.system_path(out) + "\\")
                self.assertEqual([d.specs[i][UNZ_SPEC] for i in range(len(specs))], specs)
                self.assertNotIn(UNZ_PASSWORD, d.texts)

    def test_extract_reports_the_errors_the_engine_counted(self):
        self.make_archive()
        res, _ = self.run_lark("extract", self.archive, self.tmp, script="6 0 10|11 0 5|11 0 3", result=1)
        self.assertEqual(res.code, 1)
        first = cli.message("FilesExtracted").replace("%d", "1")
        self.assertEqual(res.out, cli.message("ExtractErrors").replace("%s", first).replace("%d", "1") + "\n")

    def test_delete(self):
        self.make_archive()
        res, dumps = self.run_lark("delete", self.archive, "dir/b.txt")
        self.assertEqual(res.code, 0, res.err)
        self.assertEqual(res.out, cli.message("FilesDeleted").replace("%d", "0") + "\n")
        d = dumps[0]
        self.assertEqual(d.words[ZIP_DELETING], TRUE)
        self.assertEqual(d.words[ZIP_ADDING], 0)
        self.assertEqual(d.specs[0][ZIP_SPEC], "dir\\b.txt")

    def test_questions_are_answered_on_the_console(self):
        self.make_archive()
        cases = (
            ("password typed", "8 0 3 a.txt", b"typed\n", (0, 1, 2, "typed")),
            ("password, input closed", "8 0 3 a.txt", None, (-1, 0, 0, "a.txt")),
            ("crc yes", "9 5 0 a.txt", b"y\n", (0, 1, 0, "a.txt")),
            ("crc, input closed", "9 5 0 a.txt", None, (0, 0, 0, "a.txt")),
        )
        for name, script, stdin, reply in cases:
            with self.subTest(name):
                self.dump.unlink(missing_ok=True)
                res, dumps = self.run_lark("extract", self.archive, self.tmp, script=script, stdin=stdin)
                self.assertEqual(dumps[0].replies, [reply], res.err)
        self.assertIn(cli.message("CrcError", "a.txt").split("\n")[0], res.err)

    def test_bad_arguments_show_the_usage(self):
        for args in (["add"], ["add", "a.zip"], ["add", "a.zip", "-x", "f"], ["extract", "a.zip"],
                     ["delete", "a.zip"], ["add", "a.zip", "f", "-p"]):
            with self.subTest(args=args):
                res, dumps = self.run_lark(*args)
                self.assertEqual(res.code, 2)
                self.assertIn("usage:", res.err)
                self.assertEqual(dumps, [])

    def test_progress_shows_on_a_terminal_only(self):
        if cli.WINDOWS:
            self.skipTest("a pseudo-terminal is a host thing")
        import pty
        self.make_archive()
        script = "6 0 100|1 0 50 first.txt|2 0 50|1 0 50 second.txt|2 0 50|3 0 0"
        env = dict(os.environ, LARK_ENGINES=str(ENGINES), FAKE_ENGINE_SCRIPT=script, FAKE_ENGINE_RESULT="2")
        if cli.I386_EMULATED:
            env.setdefault("ASAN_OPTIONS", "detect_leaks=0")
        master, slave = pty.openpty()
        done = subprocess.run(cli.RUNNER + [cli.LARK, "extract", str(self.archive), str(self.tmp)],
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=slave, env=env, timeout=600)
        os.close(slave)
        shown = b""
        try:
            while True:
                chunk = os.read(master, 4096)
                if not chunk:
                    break
                shown += chunk
        except OSError:
            pass
        os.close(master)
        self.assertEqual(done.returncode, 0)
        self.assertIn(b"second.txt", shown)
        self.assertIn(b"100% second.txt", shown)
        res, _ = self.run_lark("extract", self.archive, self.tmp, script=script, result=2)
        self.assertEqual(res.err, "", "no progress into a pipe")

    def test_round_trip_through_the_real_engines(self):
        """The real engines beside lark: what add writes passes unzip, extract gives the files back."""
        if not (pathlib.Path(cli.LARK).parent / "ZipDll.dll").exists():
            self.skipTest("the engine libraries are not built beside lark")
        files = {"a.txt": b"alpha\n" * 100, "sub/b.bin": bytes(range(256)) * 40, "sub/deeper/c.txt": b"c"}
        for name, data in files.items():
            self.write("src/" + name, data)
        res, _ = self.run_lark("add", self.archive, "-p", "secret", "-r", self.tmp / "src", real=True)
        self.assertEqual(res.out, cli.message("FilesAdded").replace("%d", "3") + "\n", res.err)
        done = cli.run_tool("unzip", "-P", "secret", "-t", str(self.archive), check=False)
        self.assertEqual(done.returncode, 0, done.stdout.decode(errors="replace"))
        out = self.tmp / "out"
        out.mkdir()
        res, _ = self.run_lark("extract", self.archive, out, "-p", "secret", real=True)
        self.assertEqual(res.out, cli.message("FilesExtracted").replace("%d", "3") + "\n", res.err)
        for name, data in files.items():
            self.assertEqual((out / name).read_bytes(), data, name)
        res, _ = self.run_lark("delete", self.archive, "sub/*.bin", real=True)
        self.assertEqual(res.out, cli.message("FilesDeleted").replace("%d", "1") + "\n", res.err)
        with zipfile.ZipFile(self.archive) as z:
            self.assertEqual(sorted(z.namelist()), ["a.txt", "sub/deeper/c.txt"])

    def test_host_names_reach_the_engine_in_the_ansi_code_page(self):
        if cli.WINDOWS:
            self.skipTest("the host build converts names from UTF-8")
        cafe = self.write("caf\u00e9.txt")
        _, dumps = self.run_lark("add", self.archive, cafe)
        self.assertEqual(dumps[0].specs[0][ZIP_SPEC], cli.system_path(cafe))  # latin-1 decoding of cp1252 bytes


def main():
    global ENGINES
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--lark", required=True)
    parser.add_argument("--engines", required=True)
    parser.add_argument("--runner", default="")
    parser.add_argument("--windows", action="store_true")
    parser.add_argument("--messages", default=str(cli.DEFAULT_MESSAGES))
    options, rest = parser.parse_known_args()
    cli.LARK = options.lark
    cli.RUNNER = shlex.split(options.runner)
    cli.WINDOWS = options.windows
    cli.MESSAGES = cli.load_messages(options.messages)
    ENGINES = pathlib.Path(options.engines)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
