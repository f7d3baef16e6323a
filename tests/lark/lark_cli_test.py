#!/usr/bin/env python3
# End-to-end tests of the lark console front end, judged by peer ZIP tools (zipfile, Info-ZIP zip/unzip).
"""Runs lark on archives made by Python's zipfile and Info-ZIP and checks what it prints and writes.

usage: lark_cli_test.py --lark PATH [--runner "wine"] [--windows [--full]] [--messages Messages.cpp] [unittest args]

--windows: lark is the Windows build: paths are handed over as Z:\\..., output is read in UTF-8.
           Where Wine itself runs under an emulator, starting one program takes about a minute, so
           the Windows run keeps one case of each kind; --full runs every case there too.
"""

import argparse
import datetime
import os
import pathlib
import re
import shlex
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib
import zipfile

HERE = pathlib.Path(__file__).resolve().parent
DEFAULT_MESSAGES = HERE.parent.parent / "archive" / "Messages.cpp"

# Set from the command line in main().
LARK = None
RUNNER = []
WINDOWS = False
# Every case runs; false for the Windows build unless --full, which then keeps representative cases.
FULL = True

# Reports of the sanitizers of the host build: none may ever appear.
SANITIZER_MARKS = ("ERROR: AddressSanitizer", "runtime error", "ERROR: LeakSanitizer")

# Fixed time stamp of every entry we write, so runs are deterministic.
FIXED_TIME = (2021, 6, 15, 13, 45, 58)

# Signatures and fixed sizes of the records the tests patch.
CENTRAL_SIGNATURE = b"PK\x01\x02"
END_SIGNATURE = b"PK\x05\x06"
ZIP64_END_SIGNATURE = b"PK\x06\x06"
ZIP64_LOCATOR_SIGNATURE = b"PK\x06\x07"
CENTRAL_SIZE = 46
ZIP64_END_SIZE = 56
ZIP64_LOCATOR_SIZE = 20
# Offsets inside a central directory header.
CD_VERSION_NEEDED = 6
CD_FLAGS = 8
CD_TIME = 12
CD_NAME_LENGTH = 28
CD_EXTRA_LENGTH = 30
CD_LOCAL_OFFSET = 42
# Offsets inside the end record.
END_THIS_DISK = 4
END_TOTAL_ENTRIES = 10
END_DIR_SIZE = 12
END_COMMENT_LENGTH = 20

STUB_SIZE = 40000
# Windows limits a whole command line to 32767 characters, so the longest comments only fit on the host.
LONGEST_COMMENT = 65535


# ---------------------------------------------------------------------------------------------
# The message table of the program, read from its source so that no text is typed twice.

def load_messages(path):
    """Returns {identifier: printf text} from the `case Msg::X: return "...";` lines of Messages.cpp."""
    source = pathlib.Path(path).read_text(encoding="utf-8")
    messages = {}
    for match in re.finditer(r"case Msg::(\w+):\s*return\s*((?:\"(?:[^\"\\]|\\.)*\"\s*)+);", source):
        literals = re.findall(r"\"((?:[^\"\\]|\\.)*)\"", match.group(2))
        text = "".join(literals)
        messages[match.group(1)] = text.replace('\\"', '"').replace("\\n", "\n").replace("\\\\", "\\")
    return messages


MESSAGES = {}


def message(identifier, argument=None):
    text = MESSAGES[identifier]
    return text if argument is None else text.replace("%s", argument, 1)


# ---------------------------------------------------------------------------------------------
# Running lark.

def console_encoding():
    """What lark writes into a pipe: UTF-8 in both builds (a console window gets wide text instead)."""
    return "utf-8"


def lark_path(path):
    """A host path as lark is given it: a Wine drive path on Windows, the host path otherwise."""
    path = os.path.abspath(str(path))
    return "Z:" + path.replace("/", "\\") if WINDOWS else path


def system_path(path):
    """A host path as the program names it in its messages (drive letter and backslashes)."""
    path = os.path.abspath(str(path))
    return ("Z:" if WINDOWS else "C:") + path.replace("/", "\\")


def i386_emulated():
    """True when the kernel hands 32-bit x86 programs to an emulator (binfmt_misc), as on 64-bit-only kernels."""
    for entry in pathlib.Path("/proc/sys/fs/binfmt_misc").glob("*"):
        try:
            text = entry.read_text()
        except OSError:
            continue
        if text.startswith("enabled") and "magic 7f454c4601010100000000000000000002000300" in text:
            return True
    return False


I386_EMULATED = i386_emulated()


def sample(cases, count=1):
    """The whole table; under Wine without --full, its first `count` cases, which stand for the rest."""
    return cases if FULL else cases[:count]


def host_only(test):
    """Cases that cover the core rather than the build: the host build runs them, Wine only with --full."""
    def run(self):
        if not FULL:
            self.skipTest("a program start costs up to a minute where Wine itself is emulated; --full runs it")
        test(self)
    run.__name__, run.__doc__ = test.__name__, test.__doc__
    return run


class Result:
    def __init__(self, code, out, err):
        self.code, self.out, self.err = code, out, err

    def lines(self):
        return self.out.split("\n")


def without_emulator_notes(err):
    """Drops what Wine itself prints (such as notes on volume labels of its Z: drive), keeping the program's text."""
    if not WINDOWS:
        return err
    return "".join(line for line in err.splitlines(keepends=True) if not line.startswith("wine: "))


def run_lark(*args, answers=None, cwd=None):
    """Runs lark; pathlib.Path arguments are passed as paths, strings as text. `answers` (bytes) is
    standard input for its questions; without it input is empty."""
    argv = RUNNER + [LARK] + [lark_path(a) if isinstance(a, pathlib.PurePath) else a for a in args]
    env = dict(os.environ, WINEDEBUG="-all")
    if not WINDOWS and I386_EMULATED and "ASAN_OPTIONS" not in env:
        # LeakSanitizer's end-of-run check hangs under a user-mode emulator; the other checks still run.
        env["ASAN_OPTIONS"] = "detect_leaks=0"
    stdin = {"input": answers} if answers is not None else {"stdin": subprocess.DEVNULL}
    done = subprocess.run(argv, capture_output=True, env=env, timeout=600, cwd=cwd, **stdin)
    decode = lambda data: data.decode(console_encoding(), errors="replace").replace("\r\n", "\n")
    result = Result(done.returncode, decode(done.stdout), without_emulator_notes(decode(done.stderr)))
    for mark in SANITIZER_MARKS:
        if mark in result.err:
            raise AssertionError("sanitizer report from lark %r:\n%s" % (args, result.err))
    return result


def run_tool(*argv, check=True, cwd=None, input=None):
    done = subprocess.run(list(argv), capture_output=True, cwd=cwd, input=input)
    if check and done.returncode != 0:
        raise AssertionError("%s failed (%d): %s" % (argv, done.returncode, done.stderr.decode(errors="replace")))
    return done


def peer_refusals(path, program=False):
    """What unzip -t, 7-Zip's test and zipfile's testzip find wrong with an archive; a program's stub
    may draw warnings, an archive must draw none."""
    refusals = []
    unzip = run_tool("unzip", "-t", str(path), check=False)
    text = unzip.stdout.decode(errors="replace") + unzip.stderr.decode(errors="replace")
    if unzip.returncode not in ((0, 1) if program else (0,)) or "No errors detected" not in text:
        refusals.append("unzip: " + text)
    seven = run_tool("7zz", "t", str(path), check=False)
    text = seven.stdout.decode(errors="replace") + seven.stderr.decode(errors="replace")
    if seven.returncode != 0 or "Everything is Ok" not in text or (not program and "WARNING" in text):
        refusals.append("7zz: " + text)
    try:
        with zipfile.ZipFile(path) as archive:
            bad = archive.testzip()
            if bad is not None:
                refusals.append("zipfile: %s is damaged" % bad)
    except zipfile.BadZipFile as error:
        refusals.append("zipfile: %s" % error)
    return refusals


def unzip_test(path):
    """Info-ZIP's verdict on an archive; data in front of it is only a warning (exit code 1)."""
    done = run_tool("unzip", "-t", str(path), check=False)
    text = done.stdout.decode(errors="replace") + done.stderr.decode(errors="replace")
    return done.returncode in (0, 1) and "No errors detected" in text, text


# ---------------------------------------------------------------------------------------------
# What lark should print, derived from zipfile's reading of the same archive.

def escape(text):
    return text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")


def uses_oem_text(info):
    """Names and comments of archives made on MS-DOS, OS/2 and NTFS with version 5.0 are OEM text."""
    return info.create_system in (0, 6) or (info.create_system == 11 and info.create_version == 50)


def decode_stored(raw, oem):
    return raw.decode("cp437" if oem else "cp1252")


def stored_name(info):
    """The name's bytes as stored; zipfile decodes names without the UTF-8 flag as cp437."""
    return info.orig_filename.encode("utf-8" if info.flag_bits & 0x800 else "cp437")


def format_date(date_time):
    try:
        return datetime.datetime(*date_time).strftime("%Y-%m-%d %H:%M:%S")
    except ValueError:
        return ""


def expected_listing(path):
    with zipfile.ZipFile(path) as archive:
        infos = archive.infolist()
        oem = bool(infos) and uses_oem_text(infos[0])
        lines = ["comment\t" + escape(decode_stored(archive.comment, oem)),
                 "sfxoffset\t%d" % (min(i.header_offset for i in infos) if infos else 0)]
        for info in infos:
            utf8 = bool(info.flag_bits & 0x800)
            name = (info.orig_filename if utf8 else decode_stored(stored_name(info), oem)).replace("/", "\\")
            comment = info.comment.decode("utf-8") if utf8 else decode_stored(info.comment, oem)
            lines.append("\t".join([
                "entry", escape(name), str(info.file_size), str(info.compress_size), format_date(info.date_time),
                "%08x" % info.CRC, escape(comment), "E" if info.flag_bits & 1 else "-"]))
    return lines + [""]


def snapshot(path):
    """What peers see of an archive: comments, names, data; offsets counted from the archive's start."""
    with zipfile.ZipFile(path) as archive:
        infos = archive.infolist()
        first = min((i.header_offset for i in infos), default=0)
        entries = [(i.orig_filename, i.comment, i.CRC, i.header_offset - first,
                    None if i.flag_bits & 1 or i.is_dir() else archive.read(i)) for i in infos]
        return archive.comment, entries


# ---------------------------------------------------------------------------------------------
# Archive makers: every archive comes from zipfile or Info-ZIP; a few records are patched afterwards.

class RawNameInfo(zipfile.ZipInfo):
    """An entry whose name is stored in a given single-byte code page without the UTF-8 flag."""

    def __init__(self, name, codepage, host):
        super().__init__(name, FIXED_TIME)
        self.codepage = codepage
        self.create_system = host

    def _encodeFilenameFlags(self):
        return self.filename.encode(self.codepage), self.flag_bits & ~0x800


def write_zip(path, entries, comment=b""):
    """entries: (ZipInfo or name, data, comment bytes, compress type)."""
    with zipfile.ZipFile(path, "w") as archive:
        for info, data, entry_comment, method in entries:
            if isinstance(info, str):
                info = zipfile.ZipInfo(info, FIXED_TIME)
                info.create_system = 3
            info.compress_type = method
            info.comment = entry_comment
            archive.writestr(info, data)
        archive.comment = comment
    return path


def sample_data(size, seed=1):
    return bytes((i * 31 + seed * 7 + (i >> 5)) % 251 for i in range(size))


def make_mixed(path):
    folder = zipfile.ZipInfo("docs/", FIXED_TIME)
    folder.external_attr = 0x10
    return write_zip(path, [
        ("readme.txt", b"plain stored text\n", b"first", zipfile.ZIP_STORED),
        (folder, b"", b"", zipfile.ZIP_STORED),
        ("docs/manual/part one.txt", b"words " * 500, b"a\ttab, a\nbreak and a \\ backslash", zipfile.ZIP_DEFLATED),
        ("docs/empty.dat", b"", b"", zipfile.ZIP_DEFLATED),
        ("bin/data.bin", sample_data(5000), b"binary", zipfile.ZIP_DEFLATED),
    ], comment=b"Archive comment\twith tab\nand line \\ end")


def make_dos(path, host=0, version=20):
    infos = []
    for name in ("DOCS/\u00c4RGER.TXT", "\u00dcBER/GR\u00d6SSE.DAT", "caf\u00e9 \u00f1o\u00f1o.txt"):
        info = RawNameInfo(name, "cp437", host)
        info.create_version = version
        infos.append(info)
    return write_zip(path, [
        (infos[0], b"x" * 100, "Gr\u00fc\u00dfe".encode("cp437"), zipfile.ZIP_DEFLATED),
        (infos[1], b"y" * 10, b"", zipfile.ZIP_STORED),
        (infos[2], b"z" * 50, "\u00e9t\u00e9".encode("cp437"), zipfile.ZIP_DEFLATED),
    ], comment="D\u00e9j\u00e0 vu".encode("cp437"))


def make_unix_latin(path):
    # Made on a Unix host with a single-byte name: used as stored, no OEM conversion.
    return write_zip(path, [
        (RawNameInfo("caf\u00e9.txt", "cp1252", 3), b"coffee", "cr\u00e8me".encode("cp1252"), zipfile.ZIP_STORED),
    ], comment="na\u00efve".encode("cp1252"))


def make_utf8(path):
    # zipfile marks every name beyond ASCII as UTF-8 (flag bit 11); the flag wins over the MS-DOS host.
    infos = []
    for name in ("plain.txt", "Caf\u00e9/\u00d1and\u00fa.txt", "\u4e2d\u6587.txt", "\U0001f600.txt"):
        info = zipfile.ZipInfo(name, FIXED_TIME)
        info.create_system = 0
        infos.append(info)
    return write_zip(path, [
        (infos[0], b"ascii", b"", zipfile.ZIP_STORED),
        (infos[1], b"accented", "cr\u00e8me".encode("utf-8"), zipfile.ZIP_DEFLATED),
        (infos[2], b"cjk", "\u8aaa\u660e".encode("utf-8"), zipfile.ZIP_STORED),
        (infos[3], b"emoji", b"", zipfile.ZIP_STORED),
    ])


def make_empty(path):
    return write_zip(path, [])


def make_many(path, count):
    with zipfile.ZipFile(path, "w") as archive:
        for i in range(count):
            archive.writestr(zipfile.ZipInfo("f%05d" % i, FIXED_TIME), b"")
    return path


def make_info_zip_tree(path, workdir):
    tree = pathlib.Path(workdir) / "tree"
    (tree / "src" / "deep").mkdir(parents=True)
    (tree / "empty folder").mkdir()
    (tree / "src" / "main.c").write_bytes(b"int main(void) { return 0; }\n" * 40)
    (tree / "src" / "deep" / "blob.bin").write_bytes(sample_data(3000, seed=3))
    (tree / "notes.txt").write_bytes(b"notes\n")
    for item in [tree, *tree.rglob("*")]:
        os.utime(item, (1623764758, 1623764758))
    run_tool("zip", "-q", "-r", str(path), "tree", cwd=workdir)
    run_tool("zip", "-q", "-z", str(path), input=b"Info-ZIP comment\nsecond line\n")
    return path


def make_info_zip_many(path, workdir, count):
    folder = pathlib.Path(workdir) / "many"
    folder.mkdir()
    names = ["n%05d.txt" % i for i in range(count)]
    for name in names:
        (folder / name).touch()
    run_tool("zip", "-q", "-X", str(path), "-@", cwd=folder, input="\n".join(names).encode())
    return path


# Central directory patching: the tests fake what the makers cannot write.

def end_record_position(data):
    position = data.rfind(END_SIGNATURE)
    assert position >= 0, "no end record"
    return position


def directory_end(data):
    """Where the central directory ends: at the end record, or at the ZIP64 end record in front of it."""
    end = end_record_position(data)
    zip64_end = end - ZIP64_LOCATOR_SIZE - ZIP64_END_SIZE
    if data[end - ZIP64_LOCATOR_SIZE:end - ZIP64_LOCATOR_SIZE + 4] == ZIP64_LOCATOR_SIGNATURE and \
            data[zip64_end:zip64_end + 4] == ZIP64_END_SIGNATURE:
        return zip64_end
    return end


def central_header_positions(data):
    end = directory_end(data)
    size = struct.unpack_from("<I", data, end_record_position(data) + END_DIR_SIZE)[0]
    position = end - size
    positions = []
    while position < end:
        assert data[position:position + 4] == CENTRAL_SIGNATURE
        positions.append(position)
        lengths = struct.unpack_from("<HHH", data, position + CD_NAME_LENGTH)
        position += CENTRAL_SIZE + sum(lengths)
    return positions


def patch(path, changes):
    """changes: (absolute position, struct format, value)."""
    data = bytearray(pathlib.Path(path).read_bytes())
    for position, fmt, value in changes:
        struct.pack_into(fmt, data, position, value)
    pathlib.Path(path).write_bytes(bytes(data))
    return path


def patch_central(path, index, field, fmt, value):
    data = pathlib.Path(path).read_bytes()
    return patch(path, [(central_header_positions(data)[index] + field, fmt, value)])


def patch_end(path, field, fmt, value):
    data = pathlib.Path(path).read_bytes()
    return patch(path, [(end_record_position(data) + field, fmt, value)])


def make_fake_encrypted(path):
    make_mixed(path)
    return patch_central(path, 2, CD_FLAGS, "<H", 0x0001)


def make_bad_dates(path):
    make_mixed(path)
    invalid_month = (41 << 9) | (13 << 5) | 1
    patch_central(path, 0, CD_TIME, "<I", 0)
    return patch_central(path, 4, CD_TIME, "<I", invalid_month << 16)


def make_long_comment(path):
    return write_zip(path, [("a.txt", b"a", b"", zipfile.ZIP_STORED)],
                     comment=bytes(0x41 + i % 26 for i in range(LONGEST_COMMENT)))


def make_redundant_zip64(path):
    """Inserts ZIP64 end records that only repeat the ordinary end record, as writers do at the limits."""
    make_mixed(path)
    data = pathlib.Path(path).read_bytes()
    end = end_record_position(data)
    entries = struct.unpack_from("<H", data, end + END_TOTAL_ENTRIES)[0]
    size, offset = struct.unpack_from("<II", data, end + END_DIR_SIZE)
    zip64_end = ZIP64_END_SIGNATURE + struct.pack("<QHHIIQQQQ", ZIP64_END_SIZE - 12, 45, 45, 0, 0, entries, entries,
                                                  size, offset)
    locator = ZIP64_LOCATOR_SIGNATURE + struct.pack("<IQI", 0, end, 1)
    pathlib.Path(path).write_bytes(data[:end] + zip64_end + locator + data[end:])
    return path


def make_force_zip64(path):
    """ZIP64 extra fields in the local headers, as zipfile writes them when asked to."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in [("a.txt", b"alpha\n" * 50), ("dir/b.bin", sample_data(3000, seed=5))]:
            with archive.open(zipfile.ZipInfo(name, FIXED_TIME), "w", force_zip64=True) as entry:
                entry.write(data)
    return path


def make_info_zip_streamed(path):
    """zip -fz from a pipe: ZIP64 extra fields, 8-byte descriptor sizes and ZIP64 end records."""
    run_tool("zip", "-q", "-fz", str(path), "-", input=b"streamed\n" * 100)
    return path


def make_garbage_locator(path):
    """The last entry's extra field (a block of an unknown ID) ends in a ZIP64 locator's image that
    points at no record: nothing in the end record needs ZIP64, so other readers take the archive as
    ordinary."""
    with zipfile.ZipFile(path, "w") as archive:
        archive.writestr(zipfile.ZipInfo("a.txt", FIXED_TIME), b"alpha")
        last = zipfile.ZipInfo("b.txt", FIXED_TIME)
        last.extra = struct.pack("<HH", 0xCAFE, 20) + ZIP64_LOCATOR_SIGNATURE + struct.pack("<IQI", 0, 12345, 1)
        archive.writestr(last, b"beta")
    return path


def make_huge_sizes(path):
    """One entry that says it is 5 GiB (compressed to 4 GiB and a byte), its sizes in the ZIP64 extra
    field, the directory behind ZIP64 end records: what a listing shows needs no data."""
    size, packed, name = 5 << 30, (4 << 30) + 1, b"big.bin"
    local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 45, 0, 8, 0x6000, 0x5421, 0x12345678, 0xFFFFFFFF, 0xFFFFFFFF,
                        len(name), 20) + name + struct.pack("<HHQQ", 1, 16, size, packed)
    extra = struct.pack("<HHQQ", 1, 16, size, packed)
    central = struct.pack("<IBBHHHHHIIIHHHHHII", 0x02014B50, 45, 0, 45, 0, 8, 0x6000, 0x5421, 0x12345678,
                          0xFFFFFFFF, 0xFFFFFFFF, len(name), len(extra), 0, 0, 0, 0x20, 0) + name + extra
    directory_at = len(local)
    zip64_end = ZIP64_END_SIGNATURE + struct.pack("<QHHIIQQQQ", ZIP64_END_SIZE - 12, 45, 45, 0, 0, 1, 1,
                                                  len(central), directory_at)
    locator = ZIP64_LOCATOR_SIGNATURE + struct.pack("<IQI", 0, directory_at + len(central), 1)
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0)
    pathlib.Path(path).write_bytes(local + central + zip64_end + locator + end)
    return path


def make_saturated_zip64(path, stub=b""):
    """make_mixed as a writer past the 32-bit limits stores it: each entry's offset in a ZIP64 extra
    field, the end record's counts, size and offset saturated and held by a ZIP64 end record. With a
    stub, which goes in front, the offsets count from the start of the program."""
    data = make_mixed(path).read_bytes()
    headers = central_header_positions(data)
    end = end_record_position(data)
    shift = len(stub)
    central = b""
    for at in headers:
        header = bytearray(data[at:at + CENTRAL_SIZE])
        name_length, extra_length, comment_length = struct.unpack_from("<HHH", header, CD_NAME_LENGTH)
        offset = struct.unpack_from("<I", header, CD_LOCAL_OFFSET)[0] + shift
        struct.pack_into("<H", header, CD_VERSION_NEEDED, 45)
        struct.pack_into("<H", header, CD_EXTRA_LENGTH, extra_length + 12)
        struct.pack_into("<I", header, CD_LOCAL_OFFSET, 0xFFFFFFFF)
        name_end = at + CENTRAL_SIZE + name_length
        central += bytes(header) + data[at + CENTRAL_SIZE:name_end] + struct.pack("<HHQ", 1, 8, offset) + \
            data[name_end:name_end + extra_length + comment_length]
    entries = len(headers)
    zip64_end = ZIP64_END_SIGNATURE + struct.pack("<QHHIIQQQQ", ZIP64_END_SIZE - 12, 45, 45, 0, 0, entries, entries,
                                                  len(central), headers[0] + shift)
    locator = ZIP64_LOCATOR_SIGNATURE + struct.pack("<IQI", 0, headers[0] + len(central) + shift, 1)
    saturated = END_SIGNATURE + struct.pack("<HHHHII", 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF)
    pathlib.Path(path).write_bytes(stub + data[:headers[0]] + central + zip64_end + locator + saturated +
                                   data[end + END_COMMENT_LENGTH:])
    return path


def make_stub(path):
    pathlib.Path(path).write_bytes(b"MZ" + sample_data(STUB_SIZE - 2, seed=9))
    return path


def make_sfx_plain(path, workdir):
    """A stub followed by an unchanged archive: the stored offsets count from the archive's start."""
    archive = make_mixed(pathlib.Path(workdir) / "for-sfx.zip")
    stub = make_stub(pathlib.Path(workdir) / "stub.bin")
    pathlib.Path(path).write_bytes(stub.read_bytes() + archive.read_bytes())
    return path


def make_sfx_adjusted(path, workdir):
    """The same with offsets counting from the start of the program, as zip -A leaves them."""
    make_sfx_plain(path, workdir)
    run_tool("zip", "-q", "-A", str(path))
    return path


# ---------------------------------------------------------------------------------------------
# The tests.

class TempDirTest(unittest.TestCase):
    def setUp(self):
        self.dir = pathlib.Path(tempfile.mkdtemp(prefix="lark-cli-"))
        self.addCleanup(shutil.rmtree, self.dir, True)

    def path(self, name):
        return self.dir / name

    def assertListsLikeZipfile(self, archive):
        result = run_lark("list", archive)
        self.assertEqual((result.code, result.err), (0, ""))
        self.assertEqual(result.lines(), expected_listing(archive))
        return result


class ListTest(TempDirTest):
    """lark list prints what zipfile reads from archives that peers made."""

    CASES = [
        ("stub in front, offsets from the program (zip -A)", lambda d: make_sfx_adjusted(d / "adjusted.exe", d)),
        ("zipfile: stored, deflated, folders, comments", lambda d: make_mixed(d / "mixed.zip")),
        ("zipfile: no entries", lambda d: make_empty(d / "empty.zip")),
        ("zipfile: MS-DOS host, cp437 names and comments", lambda d: make_dos(d / "dos.zip")),
        ("zipfile: OS/2 host, cp437", lambda d: make_dos(d / "os2.zip", host=6)),
        ("zipfile: NTFS host version 5.0, cp437", lambda d: make_dos(d / "ntfs50.zip", host=11, version=50)),
        ("zipfile: Unix host, single-byte names as stored", lambda d: make_unix_latin(d / "unix.zip")),
        ("zipfile: UTF-8 flagged names on an MS-DOS host", lambda d: make_utf8(d / "utf8.zip")),
        ("zipfile: encrypted flag on one entry", lambda d: make_fake_encrypted(d / "encrypted.zip")),
        ("zipfile: zero and invalid DOS dates", lambda d: make_bad_dates(d / "dates.zip")),
        ("zipfile: 65535-byte archive comment", lambda d: make_long_comment(d / "long-comment.zip")),
        ("zipfile: redundant ZIP64 end records", lambda d: make_redundant_zip64(d / "zip64.zip")),
        ("zipfile: force_zip64", lambda d: make_force_zip64(d / "force.zip")),
        ("Info-ZIP: zip -fz from a pipe", lambda d: make_info_zip_streamed(d / "fz.zip")),
        ("a locator's image in the last comment", lambda d: make_garbage_locator(d / "garbage.zip")),
        ("ZIP64: sizes of 4 GiB and more", lambda d: make_huge_sizes(d / "huge.zip")),
        ("Info-ZIP: zip -r tree with zip -z comment", lambda d: make_info_zip_tree(d / "tree.zip", d)),
        ("stub in front, offsets from the archive", lambda d: make_sfx_plain(d / "plain.exe", d)),
    ]

    def test_listing_equals_zipfile(self):
        for label, make in sample(self.CASES):
            with self.subTest(label):
                self.assertListsLikeZipfile(make(self.dir))

    @host_only
    def test_65535_entries(self):
        makers = [("zipfile", 65535, lambda d: make_many(d / "py.zip", 65535)),
                  ("Info-ZIP", 65535, lambda d: make_info_zip_many(d / "iz.zip", d, 65535)),
                  ("zipfile, ZIP64 records", 70000, lambda d: make_many(d / "py70000.zip", 70000))]
        for label, count, make in makers:
            with self.subTest(label):
                result = self.assertListsLikeZipfile(make(self.dir))
                self.assertEqual(len(result.lines()), count + 3)

    def test_names_and_comments_are_escaped(self):
        result = run_lark("list", make_mixed(self.path("mixed.zip")))
        self.assertEqual(result.lines()[0], "comment\tArchive comment\\twith tab\\nand line \\\\ end")
        self.assertIn("entry\tdocs\\\\manual\\\\part one.txt\t3000\t", result.out)
        self.assertIn("\ta\\ttab, a\\nbreak and a \\\\ backslash\t-\n", result.out)

    def test_dos_names_are_converted_from_the_oem_code_page(self):
        result = run_lark("list", make_dos(self.path("dos.zip")))
        self.assertEqual(result.lines()[0], "comment\tD\u00e9j\u00e0 vu")
        self.assertIn("entry\tDOCS\\\\\u00c4RGER.TXT\t100\t", result.out)
        self.assertIn("\tGr\u00fc\u00dfe\t-\n", result.out)

    @host_only
    def test_invalid_dates_give_an_empty_field(self):
        lines = run_lark("list", make_bad_dates(self.path("dates.zip"))).lines()
        self.assertEqual(lines[2].split("\t")[4], "")
        self.assertEqual(lines[6].split("\t")[4], "")
        self.assertEqual(lines[3].split("\t")[4], "2021-06-15 13:45:58")


class CommentEditTest(TempDirTest):
    """Comment edits leave archives that unzip and zipfile accept, with the new comments."""

    ARCHIVES = {
        "mixed": lambda d: make_mixed(d / "mixed.zip"),
        "no archive comment": lambda d: write_zip(d / "bare.zip", [
            ("one.txt", b"1" * 40, b"12345", zipfile.ZIP_STORED),
            ("two.txt", b"2" * 4000, b"", zipfile.ZIP_DEFLATED)]),
        "dos": lambda d: make_dos(d / "dos.zip"),
        "info-zip": lambda d: make_info_zip_tree(d / "tree.zip", d),
        "sfx": lambda d: make_sfx_plain(d / "prog.exe", d),
        "sfx zip -A": lambda d: make_sfx_adjusted(d / "adjusted.exe", d),
        "zip64": lambda d: make_redundant_zip64(d / "zip64.zip"),
        "utf8": lambda d: make_utf8(d / "utf8.zip"),
    }

    # (archive, command, entry index or None, new text)
    CASES = [
        ("no archive comment", "comment", None, "a brand new archive comment"),
        ("mixed", "comment", None, "short"),
        ("mixed", "comment", None, ""),
        ("mixed", "comment", None, "Archive comment\twith tab\nand line \\ end"),  # unchanged
        ("mixed", "comment", None, "Archive-comment-with-tab-and-line-\\-end"),    # same length
        ("mixed", "comment", None, "Gr\u00fc\u00dfe aus K\u00f6ln"),
        ("dos", "comment", None, "\u00c4rger \u00fcber \u00e9t\u00e9"),
        ("info-zip", "comment", None, "replaced\nInfo-ZIP comment"),
        ("sfx", "comment", None, "comment of a program"),
        ("sfx zip -A", "comment", None, ""),
        ("no archive comment", "file-comment", 0, "12345678"),            # grow
        ("no archive comment", "file-comment", 0, "123"),                 # shrink
        ("no archive comment", "file-comment", 0, ""),                    # clear
        ("no archive comment", "file-comment", 0, "abcde"),               # same length
        ("no archive comment", "file-comment", 0, "12345"),               # unchanged
        ("no archive comment", "file-comment", 1, ""),                    # none before, none after
        ("no archive comment", "file-comment", 1, "last entry"),
        ("mixed", "file-comment", 0, "first, now longer than before"),
        ("mixed", "file-comment", 2, ""),
        ("mixed", "file-comment", 3, "middle\tentry"),
        ("mixed", "file-comment", 4, "BINARY"),
        ("dos", "file-comment", 1, "Gr\u00fc\u00dfe"),
        ("dos", "file-comment", 2, "ETE"),
        ("info-zip", "file-comment", 3, "a comment on an Info-ZIP entry"),
        ("sfx", "file-comment", 1, "folder of a program"),
        ("sfx zip -A", "file-comment", 4, ""),
        ("zip64", "comment", None, "ZIP64 records stay behind the directory"),
        ("zip64", "file-comment", 2, "longer, so the ZIP64 records move"),
        ("zip64", "file-comment", 0, ""),
        ("utf8", "file-comment", 1, "cr\u00e8me br\u00fbl\u00e9e"),  # UTF-8 entry: longer than typed
        ("utf8", "file-comment", 0, "\u00e9t\u00e9"),                 # MS-DOS entry: OEM text
    ]

    # Under Wine: text in the ANSI code page from the command line, and a file comment inside a program.
    WINE_CASES = [case for case in CASES if case[3] in ("Gr\u00fc\u00dfe aus K\u00f6ln", "folder of a program")]

    def test_edits_keep_the_archive_valid(self):
        for label, command, index, text in self.CASES if FULL else self.WINE_CASES:
            with self.subTest(archive=label, command=command, index=index, text=text):
                work = pathlib.Path(tempfile.mkdtemp(dir=self.dir))
                self.check_edit(self.ARCHIVES[label](work), command, index, text)

    def check_edit(self, archive, command, index, text):
        before_bytes = archive.read_bytes()
        before_comment, before_entries = snapshot(archive)
        with zipfile.ZipFile(archive) as z:
            infos = z.infolist()
            oem = uses_oem_text(infos[0])
            utf8 = command == "file-comment" and bool(infos[index].flag_bits & 0x800)
        stored = text.encode("utf-8" if utf8 else "cp437" if oem else "cp1252")
        old = before_comment if command == "comment" else before_entries[index][1]

        args = [command, archive] + ([str(index)] if index is not None else []) + [text]
        result = run_lark(*args)
        self.assertEqual((result.code, result.err), (0, ""))

        after_bytes = archive.read_bytes()
        self.assertEqual(len(after_bytes), len(before_bytes) + len(stored) - len(old))
        if stored == old:
            self.assertEqual(after_bytes, before_bytes, "an unchanged comment must leave the file as it was")
        directory_start = central_header_positions(before_bytes)[0]
        self.assertEqual(after_bytes[:directory_start], before_bytes[:directory_start], "data moved")

        valid, report = unzip_test(archive)
        self.assertTrue(valid, report)
        after_comment, after_entries = snapshot(archive)
        expected_entries = list(before_entries)
        if command == "comment":
            self.assertEqual(after_comment, stored)
        else:
            self.assertEqual(after_comment, before_comment)
            name, _, crc, offset, data = before_entries[index]
            expected_entries[index] = (name, stored, crc, offset, data)
        self.assertEqual(after_entries, expected_entries)
        if FULL:
            self.assertListsLikeZipfile(archive)

    def test_longest_comments(self):
        if WINDOWS:
            self.skipTest("a Windows command line holds at most 32767 characters")
        archive = make_mixed(self.path("mixed.zip"))
        longest = "".join(chr(0x61 + i % 26) for i in range(LONGEST_COMMENT))
        for command, index in (("comment", []), ("file-comment", ["1"])):
            with self.subTest(command):
                self.assertEqual(run_lark(command, archive, *index, longest).code, 0)
                self.assertTrue(unzip_test(archive)[0])
                self.assertListsLikeZipfile(archive)
                before = archive.read_bytes()
                result = run_lark(command, archive, *index, longest + "z")
                self.assertEqual((result.code, result.err), (1, message("CommentTooLong") + "\n"))
                self.assertEqual(archive.read_bytes(), before)

    @host_only
    def test_edits_in_sequence(self):
        archive = make_mixed(self.path("mixed.zip"))
        steps = [("comment", "one"), ("file-comment", "4", "x" * 300), ("comment", ""),
                 ("file-comment", "0", ""), ("file-comment", "4", "y"), ("comment", "two\\three")]
        for step in steps:
            self.assertEqual(run_lark(step[0], archive, *step[1:]).code, 0, step)
            self.assertTrue(unzip_test(archive)[0], step)
        comment, entries = snapshot(archive)
        self.assertEqual(comment, b"two\\three")
        self.assertEqual([e[1] for e in entries], [b"", b"", b"a\ttab, a\nbreak and a \\ backslash", b"", b"y"])


class SfxTest(TempDirTest):
    """lark sfx joins a stub and an archive; lark strip takes the stub off again."""

    def test_sfx_then_strip_round_trip(self):
        for label, make in sample([("plain", make_mixed), ("ZIP64 end records", make_redundant_zip64)]):
            with self.subTest(label):
                work = pathlib.Path(tempfile.mkdtemp(dir=self.dir))
                self.check_round_trip(make(work / "a.zip"), make_stub(work / "stub.bin"), work)

    def check_round_trip(self, archive, stub, work):
        program = work / "a.exe"
        self.assertEqual(run_lark("sfx", stub, archive, program).code, 0)
        self.assertEqual(program.read_bytes(), stub.read_bytes() + archive.read_bytes())

        listing = self.assertListsLikeZipfile(program).lines()
        self.assertEqual(listing[1], "sfxoffset\t%d" % STUB_SIZE)
        self.assertEqual(listing[2:], expected_listing(archive)[2:])

        stripped = work / "back.zip"
        result = run_lark("strip", program, stripped)
        self.assertEqual((result.code, result.err), (0, ""))
        self.assertEqual(stripped.read_bytes(), archive.read_bytes())

    def test_strip_lowers_offsets_that_count_the_stub(self):
        original = make_mixed(self.path("original.zip"))
        program = make_sfx_adjusted(self.path("adjusted.exe"), self.dir)
        stripped = self.path("stripped.zip")
        self.assertEqual(run_lark("strip", program, stripped).code, 0)
        valid, report = unzip_test(stripped)
        self.assertTrue(valid, report)
        self.assertEqual(len(stripped.read_bytes()), len(program.read_bytes()) - STUB_SIZE)
        self.assertEqual(snapshot(stripped), snapshot(original))
        with zipfile.ZipFile(stripped) as z:
            self.assertEqual(z.infolist()[0].header_offset, 0)


    @host_only
    def test_zip64_conversions_are_read_by_peers(self):
        """Zip to Exe, Exe to Zip (offsets counting the stub or not) and a comment edit on archives
        past the 32-bit limits: Info-ZIP's streamed ZIP64 archive, and one with every offset in a
        ZIP64 extra field."""
        stub = make_stub(self.path("stub.bin"))
        comment = "longer, so the ZIP64 records move"
        for label, make in [("zip -fz", make_info_zip_streamed), ("offsets in ZIP64 fields", make_saturated_zip64)]:
            with self.subTest(label):
                work = pathlib.Path(tempfile.mkdtemp(dir=self.dir))
                archive = make(work / "a.zip")
                original = archive.read_bytes()
                programs = [work / "a.exe"]
                self.assertEqual(run_lark("sfx", stub, archive, programs[0]).code, 0)
                if make is make_saturated_zip64:
                    programs.append(make(work / "counted.exe", stub.read_bytes()))
                for program in programs:
                    stripped = work / (program.stem + "-stripped.zip")
                    self.assertEqual(run_lark("strip", program, stripped).code, 0, program.name)
                    self.assertEqual(stripped.read_bytes(), original, program.name)
                    self.assertEqual(peer_refusals(program, program=True), [])
                    self.assertEqual(peer_refusals(stripped), [])
                self.assertEqual(run_lark("file-comment", archive, "0", comment).code, 0)
                self.assertEqual(peer_refusals(archive), [])
                with zipfile.ZipFile(archive) as z:
                    self.assertEqual(z.infolist()[0].comment, comment.encode())


class RefusalTest(TempDirTest):
    """Bad input: exit code 1, the program's message, and no file changed or left behind."""

    def check_refusal(self, args, expected_message=None, untouched=(), absent=()):
        before = {p: p.read_bytes() for p in untouched}
        result = run_lark(*args)
        self.assertEqual(result.code, 1, result.out + result.err)
        self.assertNotEqual(result.err.strip(), "")
        if expected_message is not None:
            self.assertEqual(result.err, expected_message + "\n")
        for path, data in before.items():
            self.assertEqual(path.read_bytes(), data, "%s changed" % path)
        for path in absent:
            self.assertFalse(path.exists(), "%s was created" % path)

    def test_existing_targets_are_not_overwritten(self):
        archive = make_mixed(self.path("a.zip"))
        stub = make_stub(self.path("stub.bin"))
        program = make_sfx_plain(self.path("p.exe"), self.dir)
        taken = self.path("taken.bin")
        taken.write_bytes(b"keep me")
        for args in sample([("sfx", stub, archive, taken), ("strip", program, taken)]):
            with self.subTest(args[0]):
                self.check_refusal(args, message("AlreadyExists", system_path(taken)),
                                   untouched=(taken, archive, stub, program))

    def test_not_an_archive(self):
        text = self.path("notes.txt")
        text.write_bytes(b"This is a plain text file, not an archive.\n" * 20)
        empty = self.path("empty.zip")
        empty.write_bytes(b"")
        out = self.path("out.zip")
        cases = [(("strip", text, out), message("NotValidSfx", system_path(text)))]
        for path in (text, empty):
            for args in (("list", path), ("comment", path, "x"), ("file-comment", path, "0", "x")):
                cases.append((args, message("NotValidZip", system_path(path))))
        for args, expected in sample(cases, 2):
            with self.subTest(args):
                self.check_refusal(args, expected, untouched=(text, empty), absent=(out,))

    def test_missing_files(self):
        missing = self.path("missing.zip")
        elsewhere = self.path("no such folder") / "a.zip"
        archive = make_mixed(self.path("a.zip"))
        out = self.path("out.exe")
        cases = [("list", missing), ("comment", missing, "x"), ("file-comment", missing, "0", "x"),
                 ("list", elsewhere), ("strip", missing, out), ("sfx", missing, archive, out),
                 ("sfx", archive, missing, out)]
        for args in sample(cases):
            with self.subTest(args):
                self.check_refusal(args, untouched=(archive,), absent=(missing, elsewhere, out))

    @host_only
    def test_plain_archive_has_no_stub_to_strip(self):
        archive = make_mixed(self.path("a.zip"))
        out = self.path("out.zip")
        self.check_refusal(("strip", archive, out), message("StripFailed"), untouched=(archive,), absent=(out,))

    def test_bad_entry_index(self):
        archive = make_mixed(self.path("a.zip"))
        for index in sample(("-1", "5", "99999")):
            with self.subTest(index):
                self.check_refusal(("file-comment", archive, index, "x"), message("IndexRangeError"),
                                   untouched=(archive,))
        for index in sample(("one", "", "1x"), 0):
            with self.subTest(index):
                self.check_refusal(("file-comment", archive, index, "x"), untouched=(archive,))

    def test_damaged_directories(self):
        """Each damage is refused with its message; the archive is never touched."""

        def cut_in_directory(path):
            data = path.read_bytes()
            path.write_bytes(data[:central_header_positions(data)[1] + 10])

        def directory_cut_end_kept(path):
            data = path.read_bytes()
            end = end_record_position(data)
            path.write_bytes(data[:central_header_positions(data)[1] + 10] + data[end:])

        def name_past_the_end(path):
            patch_central(path, 4, CD_NAME_LENGTH, "<H", 0xFFFF)

        def more_entries_than_records(path):
            patch_end(path, END_TOTAL_ENTRIES, "<H", 6)

        def directory_larger_than_file(path):
            patch_end(path, END_DIR_SIZE, "<I", 0x7FFF0000)

        def disk_number_too_high(path):
            patch_end(path, END_THIS_DISK, "<H", 1001)

        not_valid, bad_header = "NotValidZip", "ErrorReadingCentral"
        cases = [
            (directory_cut_end_kept, bad_header),
            (cut_in_directory, not_valid),
            (name_past_the_end, bad_header),
            (more_entries_than_records, bad_header),
            (directory_larger_than_file, bad_header),
            (disk_number_too_high, not_valid),
            (lambda p: patch_end(p, END_DIR_SIZE, "<I", 0xFFFFFFFF), "Zip64Damaged"),
        ]
        for damage, identifier in sample(cases):
            name = getattr(damage, "__name__", "")
            with self.subTest(name if name != "<lambda>" else identifier):
                archive = self.path("damaged.zip")
                if archive.exists():
                    archive.unlink()
                make_mixed(archive)
                damage(archive)
                text = MESSAGES[identifier]
                expected = message(identifier, system_path(archive)) if "%s" in text else text
                self.check_refusal(("list", archive), expected, untouched=(archive,))

    def test_cancelled_disk_question_is_a_failure(self):
        """An end record naming an earlier disk brings the question for it; input ends, so it is cancelled."""
        archive = make_mixed(self.path("disk2.zip"))
        patch_end(archive, END_THIS_DISK, "<H", 1)
        data = archive.read_bytes()
        expected = message("DiskPromptCancelled", system_path(archive))
        destination = self.path("out")
        destination.mkdir()
        for args in sample([("list", archive), ("extract", archive, destination), ("comment", archive, "new"),
                            ("file-comment", archive, "0", "new"), ("delete", archive, "a.txt")]):
            with self.subTest(args[0]):
                result = run_lark(*args)
                self.assertEqual(result.code, 1, result.out + result.err)
                self.assertIn(expected, result.err)
                self.assertNotIn("extracted", result.out)
                self.assertEqual(archive.read_bytes(), data)
        self.assertEqual(list(destination.iterdir()), [])

    @host_only
    def test_every_truncation_is_handled(self):
        """Cut off anywhere in its directory, an archive is either listed or refused, never misread."""
        archive = write_zip(self.path("small.zip"), [
            ("a.txt", b"aaaa", b"c1", zipfile.ZIP_STORED), ("b/", b"", b"", zipfile.ZIP_STORED),
            ("b/c.txt", b"c" * 100, b"", zipfile.ZIP_DEFLATED)], comment=b"end")
        data = archive.read_bytes()
        cut = self.path("cut.zip")
        step = 5 if WINDOWS else 1
        for length in range(central_header_positions(data)[0], len(data), step):
            cut.write_bytes(data[:length])
            result = run_lark("list", cut)
            if result.code == 0:
                self.assertEqual(result.lines()[2:], expected_listing(archive)[2:], "cut at %d" % length)
            else:
                self.assertEqual(result.code, 1, "cut at %d: %s" % (length, result.err))
                self.assertNotEqual(result.err.strip(), "")
            self.assertEqual(cut.read_bytes(), data[:length])

    @host_only
    def test_short_comment_is_dropped_but_entries_are_listed(self):
        archive = make_mixed(self.path("a.zip"))
        patch_end(archive, END_COMMENT_LENGTH, "<H", 500)
        result = run_lark("list", archive)
        self.assertEqual((result.code, result.lines()[0]), (0, "comment\t"))
        self.assertEqual(result.lines()[2:], expected_listing(make_mixed(self.path("b.zip")))[2:])


class TestCommandTest(TempDirTest):
    """lark test decodes every entry as extraction does, names each one that is not sound, writes nothing."""

    def make_archive(self):
        path = self.path("mixed.zip")
        text = b"".join(b"line %d of something that deflates\n" % i for i in range(400))
        with zipfile.ZipFile(path, "w") as z:
            for name, method in (("sound.txt", zipfile.ZIP_DEFLATED), ("inflate-broken.txt", zipfile.ZIP_DEFLATED),
                                 ("crc-broken.txt", zipfile.ZIP_STORED)):
                z.writestr(zipfile.ZipInfo(name, date_time=FIXED_TIME), text, compress_type=method)
        raw = bytearray(path.read_bytes())
        with zipfile.ZipFile(path) as z:
            for name in ("inflate-broken.txt", "crc-broken.txt"):
                info = z.getinfo(name)
                data_at = info.header_offset + 30 + len(name)
                raw[data_at + 40] ^= 0xFF
        path.write_bytes(bytes(raw))
        # An entry under another password, added by Info-ZIP.
        other = self.path("other")
        other.mkdir()
        (other / "other-password.txt").write_bytes(text)
        run_tool("zip", "-q", "-P", "another", str(path), "other-password.txt", cwd=str(other))
        shutil.rmtree(other)
        return path

    def assertNothingWritten(self, before):
        self.assertEqual(sorted(p.name for p in self.dir.rglob("*")), before)

    def test_sound_and_damaged_archives(self):
        sound = self.path("sound.zip")
        run_tool("7zz", "a", "-tzip", "-bd", "-bso0", "-psecret", "-mem=AES256", str(sound), str(HERE / "lark_cli_test.py"))
        mixed = self.make_archive()
        work = self.path("work")
        work.mkdir()
        before = sorted(p.name for p in self.dir.rglob("*"))

        result = run_lark("test", sound, "-p", "secret", cwd=str(work))
        self.assertEqual((result.code, result.out), (0, MESSAGES["FilesTestedOk"].replace("%d", "1") + "\n"), result.err)

        # The wrong password gets an empty answer, then Yes to go on with the others.
        result = run_lark("test", mixed, "-p", "wrong", answers=b"\ny\n", cwd=str(work))
        self.assertEqual(result.code, 1)
        self.assertEqual(result.out, MESSAGES["FilesTestedDamaged"].replace("%d", "4", 1).replace("%d", "3", 1) + "\n")
        named = set(re.findall(r"([\w-]+\.txt): ", result.err))
        self.assertEqual(named, {"inflate-broken.txt", "crc-broken.txt", "other-password.txt"}, result.err)
        self.assertNothingWritten(before)


class AesAddTest(TempDirTest):
    """lark add --aes writes AES-256 entries that 7-Zip and our own extraction read back."""

    def test_round_trip(self):
        src = self.path("src")
        src.mkdir()
        files = {"small.txt": b"under twenty", "text.txt": b"deflates well\n" * 5000, "empty.txt": b""}
        for name, data in files.items():
            (src / name).write_bytes(data)
        archive = self.path("aes.zip")
        result = run_lark("add", archive, "-r", src, "-p", "secret", "--aes", "*.*")
        self.assertEqual(result.code, 0, result.err)
        with zipfile.ZipFile(archive) as z:
            self.assertEqual({info.compress_type for info in z.infolist()}, {99}, "every entry AES")
        run_tool("7zz", "t", "-psecret", str(archive))
        for tool in ("7zz", "lark"):
            out = self.path("out-" + tool)
            out.mkdir()
            if tool == "7zz":
                run_tool("7zz", "x", "-psecret", "-o" + str(out), str(archive))
            else:
                self.assertEqual(run_lark("extract", archive, out, "-p", "secret").code, 0)
            self.assertEqual({p.name: p.read_bytes() for p in out.iterdir()}, files, tool)
        self.assertEqual(run_lark("add", archive, "-r", src, "--aes", "*.*").code, 2, "--aes needs -p")


def make_big_stored(path, size):
    """One stored entry of `size` zero bytes behind a small one, written sparse: a hole where the
    data is, the sizes in ZIP64 extra fields, the directory behind ZIP64 end records."""
    crc, chunk, left = 0, bytes(64 << 20), size
    while left:
        crc = zlib.crc32(chunk[:min(left, len(chunk))], crc)
        left -= min(left, len(chunk))
    small, name = b"small\n", b"zeros.bin"
    first = struct.pack("<IHHHHHIIIHH", 0x04034B50, 10, 0, 0, 0x6000, 0x5421, zlib.crc32(small), len(small),
                        len(small), 9, 0) + b"small.txt" + small
    extra = struct.pack("<HHQQ", 1, 16, size, size)
    local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 45, 0, 0, 0x6000, 0x5421, crc, 0xFFFFFFFF, 0xFFFFFFFF,
                        len(name), len(extra)) + name + extra
    central = struct.pack("<IBBHHHHHIIIHHHHHII", 0x02014B50, 45, 0, 10, 0, 0, 0x6000, 0x5421, zlib.crc32(small),
                          len(small), len(small), 9, 0, 0, 0, 0, 0x20, 0) + b"small.txt"
    central_extra = struct.pack("<HHQQ", 1, 16, size, size)
    central += struct.pack("<IBBHHHHHIIIHHHHHII", 0x02014B50, 45, 0, 45, 0, 0, 0x6000, 0x5421, crc, 0xFFFFFFFF,
                           0xFFFFFFFF, len(name), len(central_extra), 0, 0, 0, 0x20, len(first)) + name + central_extra
    directory_at = len(first) + len(local) + size
    zip64_end = ZIP64_END_SIGNATURE + struct.pack("<QHHIIQQQQ", ZIP64_END_SIZE - 12, 45, 45, 0, 0, 2, 2,
                                                  len(central), directory_at)
    locator = ZIP64_LOCATOR_SIGNATURE + struct.pack("<IQI", 0, directory_at + len(central), 1)
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 2, 2, len(central), 0xFFFFFFFF, 0)
    with open(path, "wb") as f:
        f.write(first + local)
        f.seek(size, os.SEEK_CUR)
        f.write(central + zip64_end + locator + end)
    return path, crc


@unittest.skipUnless(os.environ.get("LARK_BIG_TEST"), "opt-in: LARK_BIG_TEST=1 (4.3 GB read, extracted and written)")
class BigEntryTest(TempDirTest):
    """An entry of 4.3 GB (stored zeros, the archive sparse): listed, tested and extracted."""

    def test_entry_past_4_gib(self):
        size = 4300 * 1000 * 1000
        archive, crc = make_big_stored(self.path("big.zip"), size)
        self.assertListsLikeZipfile(archive)
        self.assertEqual(run_lark("test", archive).code, 0)
        out = self.path("out")
        out.mkdir()
        self.assertEqual(run_lark("extract", archive, out).code, 0)
        self.assertEqual((out / "zeros.bin").stat().st_size, size)
        self.assertEqual((out / "small.txt").read_bytes(), b"small\n")


def main():
    global LARK, RUNNER, WINDOWS, FULL, MESSAGES
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--lark", required=True)
    parser.add_argument("--runner", default="", help="command that runs the program, e.g. wine")
    parser.add_argument("--windows", action="store_true")
    parser.add_argument("--full", action="store_true", help="every case under Wine too")
    parser.add_argument("--messages", default=str(DEFAULT_MESSAGES))
    options, rest = parser.parse_known_args()
    LARK = options.lark
    RUNNER = shlex.split(options.runner)
    WINDOWS = options.windows
    FULL = options.full or not WINDOWS
    MESSAGES = load_messages(options.messages)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
