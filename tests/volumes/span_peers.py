#!/usr/bin/env python3
# Peer archives for the spanning tests, and the peers' judgement of what merging gave back.
"""usage: span_peers.py make DIR | span_peers.py check ORIGINAL MERGED

make: writes DIR/zipfile.zip (Python's zipfile, stored and deflated entries, comments),
DIR/streamed.zip (zipfile writing to a stream it cannot seek, so every entry has a data
descriptor), DIR/infozip.zip (Info-ZIP zip of a folder tree, whose local extra fields differ
from the central ones) and DIR/split/ (the same tree as an Info-ZIP split set with ZIP64 records
and fields, `zip -s 256k -fz`). Every archive is a few MB and the same on every run.

check: MERGED must pass `unzip -t` and zipfile's own test, list the same names and comment as
ORIGINAL with every entry's bytes identical, and carry no data descriptor: every local header has
flag bit 3 clear and the CRC-32 and sizes of its central record.
"""

import io
import os
import random
import struct
import subprocess
import sys
import zipfile

FIXED_TIME = (2020, 2, 29, 23, 59, 58)


def contents(seed):
    """Files of the archives: incompressible noise, compressible text and an empty file."""
    rng = random.Random(seed)
    files = [("docs/", b"")]
    files.append(("docs/readme.txt", b"spanned and merged\n" * 2000))
    for i in range(5):
        files.append(("data/noise%d.bin" % i, rng.randbytes(450000 + 1234 * i)))
    files.append(("data/empty.dat", b""))
    files.append(("text/words.txt", " ".join(rng.choice(["lark", "spool", "disk", "span"]) for _ in range(80000)).encode()))
    return files


def write_entries(archive):
    for index, (name, data) in enumerate(contents(7)):
        info = zipfile.ZipInfo(name, FIXED_TIME)
        info.compress_type = zipfile.ZIP_STORED if name.endswith(".bin") or name.endswith("/") else zipfile.ZIP_DEFLATED
        info.comment = b"entry %d" % index if index % 3 == 0 else b""
        archive.writestr(info, data)
    archive.comment = b"a set made from a peer's archive"


class Unseekable(io.RawIOBase):
    """A sink zipfile cannot seek in, so it follows each entry's data with a descriptor."""

    def __init__(self):
        self.bytes = bytearray()

    def writable(self):
        return True

    def write(self, data):
        self.bytes += data
        return len(data)


def make(folder):
    os.makedirs(folder, exist_ok=True)
    with zipfile.ZipFile(os.path.join(folder, "zipfile.zip"), "w") as archive:
        write_entries(archive)

    sink = Unseekable()
    with zipfile.ZipFile(sink, "w") as archive:
        write_entries(archive)
    with open(os.path.join(folder, "streamed.zip"), "wb") as out:
        out.write(sink.bytes)
    with zipfile.ZipFile(os.path.join(folder, "streamed.zip")) as archive:
        assert all(info.flag_bits & 0x08 for info in archive.infolist() if not info.is_dir()), "no data descriptors"

    tree = os.path.join(folder, "tree")
    for name, data in contents(11):
        path = os.path.join(tree, name)
        if name.endswith("/"):
            os.makedirs(path, exist_ok=True)
            continue
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(data)
        os.utime(path, (1600000000, 1600000000))
    subprocess.run(["zip", "-q", "-r", os.path.abspath(os.path.join(folder, "infozip.zip")), "."], cwd=tree, check=True)
    # The same tree as a split ZIP64 set: set.z01, set.z02 ... and set.zip, the last disk.
    split = os.path.abspath(os.path.join(folder, "split", "set.zip"))
    os.makedirs(os.path.dirname(split), exist_ok=True)
    subprocess.run(["zip", "-q", "-r", "-s", "256k", "-fz", split, "."], cwd=tree, check=True)


def zip64_sizes(extra, size, packed):
    """A local header's sizes, from its ZIP64 block (ID 1) where the 32-bit field is saturated."""
    at = 0
    while at + 4 <= len(extra):
        block, length = struct.unpack("<HH", extra[at:at + 4])
        values = extra[at + 4:at + 4 + length]
        if block == 1:
            if size == 0xFFFFFFFF and len(values) >= 8:
                size, values = struct.unpack("<Q", values[:8])[0], values[8:]
            if packed == 0xFFFFFFFF and len(values) >= 8:
                packed = struct.unpack("<Q", values[:8])[0]
            break
        at += 4 + length
    return size, packed


def local_header_problems(path):
    problems = []
    with open(path, "rb") as raw, zipfile.ZipFile(path) as archive:
        for info in archive.infolist():
            raw.seek(info.header_offset)
            fields = struct.unpack("<IHHHHHIIIHH", raw.read(30))
            signature, flags, crc, packed, size = fields[0], fields[2], fields[6], fields[7], fields[8]
            raw.seek(fields[9], os.SEEK_CUR)
            size, packed = zip64_sizes(raw.read(fields[10]), size, packed)
            if signature != 0x04034B50:
                problems.append("%s: no local header at %d" % (info.filename, info.header_offset))
            elif flags & 0x08 or (crc, packed, size) != (info.CRC, info.compress_size, info.file_size):
                problems.append("%s: local header flags %#x, crc %#x, sizes %d/%d" % (info.filename, flags, crc, packed, size))
    return problems


def check(original, merged):
    problems = []
    tested = subprocess.run(["unzip", "-t", "-q", merged], capture_output=True, text=True)
    if tested.returncode != 0:
        problems.append("unzip -t: %s%s" % (tested.stdout, tested.stderr))
    with zipfile.ZipFile(original) as want, zipfile.ZipFile(merged) as got:
        bad = got.testzip()
        if bad is not None:
            problems.append("zipfile: %s fails its test" % bad)
        if want.namelist() != got.namelist():
            problems.append("names differ: %s / %s" % (want.namelist(), got.namelist()))
        if want.comment != got.comment:
            problems.append("archive comments differ")
        for name in want.namelist():
            if name in got.namelist() and want.read(name) != got.read(name):
                problems.append("%s: bytes differ" % name)
    problems += local_header_problems(merged)
    for problem in problems:
        print(problem)
    return 1 if problems else 0


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "make":
        make(sys.argv[2])
        return 0
    if len(sys.argv) == 4 and sys.argv[1] == "check":
        return check(sys.argv[2], sys.argv[3])
    sys.exit(__doc__)


if __name__ == "__main__":
    sys.exit(main())
