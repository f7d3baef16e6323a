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


class LarkRunner(unittest.TestCase):
    """A temporary folder per test and lark run in it; no tests of its own."""

    def setUp(self):
        self.tmp = pathlib.Path(tempfile.mkdtemp(prefix="lark-engine-"))
        self.dump = self.tmp / "dump.txt"
        self.archive = self.tmp / "a.zip"

    def tearDown(self):
        import shutil
        shutil.rmtree(self.tmp, ignore_errors=True)

    def run_lark(self, *args, script="", result=0, stdin=None, real=False, cwd=None):
        """Runs lark with the fake engines, or with the real ones beside it when `real`."""
        argv = cli.RUNNER + [cli.LARK] + [cli.lark_path(a) if isinstance(a, pathlib.PurePath) else a for a in args]
        env = dict(os.environ, WINEDEBUG="-all")
        if not real:
            env.update(LARK_ENGINES=cli.lark_path(ENGINES), FAKE_ENGINE_DUMP=cli.lark_path(self.dump),
                       FAKE_ENGINE_SCRIPT=script, FAKE_ENGINE_RESULT=str(result))
        if not cli.WINDOWS and cli.I386_EMULATED:
            env.setdefault("ASAN_OPTIONS", "detect_leaks=0")
        done = subprocess.run(argv, input=stdin, stdin=None if stdin is not None else subprocess.DEVNULL,
                              capture_output=True, env=env, timeout=600, cwd=cwd)
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


class LarkEngine(LarkRunner):
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
        for flat, over, names, specs in ((False, False, [], ["*.*"]),
                                         (True, False, ["dir/b.txt", "a.txt"], ["dir\\b.txt", "a.txt"]),
                                         (False, True, [], ["*.*"])):
            with self.subTest(flat=flat, overwrite=over):
                self.dump.unlink(missing_ok=True)
                args = ["extract", self.archive, out] + (["-f"] if flat else []) + (["-o"] if over else []) + names
                res, dumps = self.run_lark(*args, result=2)
                self.assertEqual(res.code, 0, res.err)
                self.assertEqual(res.out, cli.message("FilesExtracted").replace("%d", "2") + "\n")
                d = dumps[0]
                self.assertEqual(d.export, "UnzDllExec")
                self.assertEqual(d.words[UNZ_BY_AGE], 0 if over else TRUE)
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
        res, _ = self.run_lark("--help")
        for option in ("-r ROOTDIR ", "-p PASSWORD ", "-f ", "-o ", "--trace FILE "):
            self.assertIn("\n  " + option, res.err, "one line saying what %s means" % option.strip())

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
        (self.tmp / "src" / "hollow").mkdir()
        res, _ = self.run_lark("add", self.archive, "-p", "secret", "-r", self.tmp / "src", real=True)
        # Three files, counted; an entry for each of the three folders, the empty one included, not counted.
        self.assertEqual(res.out, cli.message("FilesAdded").replace("%d", "3") + "\n", res.err)
        done = cli.run_tool("unzip", "-P", "secret", "-t", str(self.archive), check=False)
        self.assertEqual(done.returncode, 0, done.stdout.decode(errors="replace"))
        out = self.tmp / "out"
        out.mkdir()
        res, _ = self.run_lark("extract", self.archive, out, "-p", "secret", real=True)
        self.assertEqual(res.out, cli.message("FilesExtracted").replace("%d", "3") + "\n", res.err)
        for name, data in files.items():
            self.assertEqual((out / name).read_bytes(), data, name)
        self.assertTrue((out / "hollow").is_dir(), "the empty folder comes back")
        res, _ = self.run_lark("delete", self.archive, "sub/*.bin", real=True)
        self.assertEqual(res.out, cli.message("FilesDeleted").replace("%d", "1") + "\n", res.err)
        with zipfile.ZipFile(self.archive) as z:
            self.assertEqual(sorted(z.namelist()), ["a.txt", "hollow/", "sub/", "sub/deeper/", "sub/deeper/c.txt"])

    def test_names_reach_the_engine_in_utf8(self):
        name = self.write("\u4e2d\u6587 caf\u00e9.txt")
        _, dumps = self.run_lark("add", self.archive, name)
        # The dump is read as latin-1: one character per byte of what the engine was handed.
        self.assertEqual(dumps[0].specs[0][ZIP_SPEC], cli.system_path(name).encode("utf-8").decode("latin-1"))

    def test_an_archive_named_in_any_script_lists_its_names_in_utf8(self):
        # The wide command line brings the archive's name in whole; a pipe gets the names as UTF-8.
        archive = self.tmp / "\u4e2d\u6587.zip"
        with zipfile.ZipFile(archive, "w") as z:
            z.writestr("\u03b1\u03b2\u03b3 \u4e2d\u6587 \U0001f600.txt", "x")
        res, _ = self.run_lark("list", archive)
        self.assertEqual(res.code, 0, res.err)
        self.assertIn("entry\t\u03b1\u03b2\u03b3 \u4e2d\u6587 \U0001f600.txt\t", res.out)


class LarkTellsTheTruth(LarkRunner):
    """The real engines: no exit 0 without the work done, every file not processed named on standard error."""

    def setUp(self):
        super().setUp()
        if not (pathlib.Path(cli.LARK).parent / "ZipDll.dll").exists():
            self.skipTest("the engine libraries are not built beside lark")

    def make_zip(self, entries, path=None):
        path = path or self.archive
        with zipfile.ZipFile(path, "w") as z:
            for name, data in entries:
                z.writestr(zipfile.ZipInfo(name, date_time=cli.FIXED_TIME), data)
        return path

    def test_each_failure_exits_1_and_names_what_was_not_done(self):
        present = self.write("present.txt", b"here")
        self.write("folder/inside.txt")
        missing = self.tmp / "missing.txt"
        not_matched = lambda name: cli.message("NotProcessed").replace("%s", name, 1).replace("%s", cli.message("ReasonNotMatched"))
        cases = (
            # name, arguments, archive made before (entries or None), text on standard error, archive left behind
            ("add of a missing file", ["add", self.archive, missing], None, not_matched(cli.system_path(missing)), False),
            ("add of one present and one missing file", ["add", self.archive, present, missing], None,
             not_matched(cli.system_path(missing)), True),
            ("add -r of a missing folder", ["add", self.archive, "-r", self.tmp / "nowhere"], None,
             cli.message("AddRootMissing", cli.system_path(self.tmp / "nowhere")), False),
            ("add of a folder without -r", ["add", self.archive, self.tmp / "folder"], None,
             cli.message("FolderNeedsRecurse", cli.system_path(self.tmp / "folder")), False),
            ("extract into a missing folder", ["extract", self.archive, self.tmp / "nowhere"], [("a.txt", "a")],
             cli.message("ExtractDirMissing", cli.system_path(self.tmp / "nowhere")).split("\n")[0], True),
            ("extract of a name that matches nothing", ["extract", self.archive, self.tmp, "nope.txt"], [("a.txt", "a")],
             not_matched("nope.txt"), True),
            ("delete of a name that matches nothing", ["delete", self.archive, "a.txt", "nope.txt"],
             [("a.txt", "a"), ("b.txt", "b")], not_matched("nope.txt"), True),
            ("extract of one name twice", ["extract", self.archive, self.tmp / "out"], [("dup.txt", "1"), ("dup.txt", "2")],
             "dup.txt: " + cli.message("ReasonWriteError"), True),
        )
        for name, args, entries, said, kept in cases:
            with self.subTest(name):
                self.archive.unlink(missing_ok=True)
                (self.tmp / "out").mkdir(exist_ok=True)
                if entries is not None:
                    import warnings
                    with warnings.catch_warnings():
                        warnings.simplefilter("ignore")  # zipfile warns of the duplicate name
                        self.make_zip(entries)
                res, _ = self.run_lark(*args, real=True)
                self.assertEqual(res.code, 1, res.out + res.err)
                self.assertIn(said, res.err)
                self.assertEqual(self.archive.exists(), kept, "no empty archive left by an add that added nothing")

    def test_a_read_only_archive_is_not_replaced(self):
        self.make_zip([("a.txt", "a")])
        before = self.archive.read_bytes()
        os.chmod(self.archive, 0o444)
        try:
            for args in (["add", self.archive, self.write("b.txt")], ["delete", self.archive, "a.txt"]):
                with self.subTest(args[0]):
                    res, _ = self.run_lark(*args, real=True)
                    self.assertEqual(res.code, 1, res.out + res.err)
                    self.assertIn(cli.system_path(self.archive) + ": " + cli.message("ReasonWriteError"), res.err)
                    self.assertEqual(self.archive.read_bytes(), before)
        finally:
            os.chmod(self.archive, 0o644)

    def test_relative_paths_and_the_trace(self):
        self.make_zip([("sub/a.txt", "alpha")])
        (self.tmp / "out").mkdir()
        res, _ = self.run_lark("extract", "a.zip", "out", "--trace", "t.log", real=True, cwd=self.tmp)
        self.assertEqual(res.code, 0, res.err)
        self.assertEqual((self.tmp / "out" / "sub" / "a.txt").read_bytes(), b"alpha")
        res, _ = self.run_lark("add", "a.zip", "out/sub/a.txt", "--trace", "t.log", real=True, cwd=self.tmp)
        self.assertEqual(res.code, 0, res.err)
        self.assertIn("Adding", (self.tmp / "t.log").read_text(errors="replace"))

    def test_a_killed_run_leaves_no_temporary_archive_for_good(self):
        self.make_zip([("a.txt", "a")])
        orphan = self.write("lkz~99999999-0001.tmp", b"left by a killed add")
        foreign = self.write("lkz0001.tmp", b"not ours to judge")
        res, _ = self.run_lark("add", self.archive, self.write("b.txt"), real=True)
        self.assertEqual(res.code, 0, res.err)
        self.assertFalse(orphan.exists())
        self.assertTrue(foreign.exists())

    def test_a_nul_in_a_stored_name_is_listed_escaped(self):
        self.make_zip([("a_b.txt", "x")])
        data = bytearray(self.archive.read_bytes())
        for at in (i for i in range(len(data)) if data[i:i + 7] == b"a_b.txt"):
            data[at + 1] = 0
        self.archive.write_bytes(bytes(data))
        res, _ = self.run_lark("list", self.archive, real=True)
        self.assertIn("entry\ta\\0b.txt\t", res.out)


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
