#!/usr/bin/env python3
"""A fresh mutation campaign against lark: N mutated archives through list, extract, delete and add.

usage: mutation_campaign.py --lark PATH [--count N] [--seed S] [--runner "wine"] [--keep DIR] [--hostile DIR]

Each input is a seed archive (built here with zipfile) with a few random changes: flipped bytes,
header fields set to boundary values, cut short, a slice repeated. Every command must end with exit
code 0 or 1, within its time, without a sanitizer report, without writing outside its destination,
without writing more than the archive's declared sizes, and an extract that exits 0 must have
written every file the listing shows. Prints the totals; --keep saves the inputs that broke a rule
or made the engine refuse something (the replay corpus is picked from those); --hostile writes the
hand-made hostile archives (bomb, overlap, duplicates, streamed ZIP64) and exits.
"""

import argparse
import io
import os
import pathlib
import random
import shlex
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zipfile
import zlib

SANITIZER_MARKS = ("ERROR: AddressSanitizer", "runtime error", "ERROR: LeakSanitizer")
FIXED_TIME = (2021, 6, 15, 13, 45, 58)
BOUNDARY_VALUES = (0, 1, 0x7F, 0xFF, 0xFFFF, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF)
SIGNATURES = (b"PK\x03\x04", b"PK\x01\x02", b"PK\x05\x06")
WRITE_LIMIT = 64 << 20  # more than every seed declares, by far


def zip_bytes(entries, method=zipfile.ZIP_DEFLATED):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", method) as z:
        for name, data in entries:
            z.writestr(zipfile.ZipInfo(name, date_time=FIXED_TIME), data, compress_type=method)
    return out.getvalue()


def bomb():
    """One entry declaring 10 bytes that inflates to 32 MiB."""
    data = bytearray(zip_bytes([("bomb.bin", b"\0" * (32 << 20))]))
    central = data.find(b"PK\x01\x02")
    struct.pack_into("<I", data, 22, 10)
    struct.pack_into("<I", data, central + 24, 10)
    return bytes(data)


def overlap(count=50):
    """`count` directory entries sharing one local record of 64 KiB of zeros."""
    body = zip_bytes([("a.bin", b"\0" * 65536)])
    central_at = body.find(b"PK\x01\x02")
    end_at = body.find(b"PK\x05\x06")
    local, central = body[:central_at], body[central_at:end_at]
    name_length = struct.unpack_from("<H", central, 28)[0]
    entries = b""
    for i in range(count):
        name = ("%05d.bin" % i).encode()
        entries += central[:28] + struct.pack("<H", len(name)) + central[30:46] + name + central[46 + name_length:]
    end = struct.pack("<4sHHHHIIH", b"PK\x05\x06", 0, 0, count, count, len(entries), len(local), 0)
    return local + entries + end


def duplicates():
    import warnings
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        return zip_bytes([("dup.txt", b"one"), ("dup.txt", b"two"), ("Case.txt", b"a"), ("CASE.TXT", b"b")])


def streamed_zip64(workdir):
    """Info-ZIP reading from a pipe, when it is installed."""
    if not shutil.which("zip"):
        return None
    out = pathlib.Path(workdir) / "pipe.zip"
    subprocess.run(["zip", "-q", str(out), "-"], input=b"from a pipe\n" * 100, check=True)
    return out.read_bytes()


def seeds():
    texts = [("a.txt", b"alpha\n" * 40), ("dir/b.txt", b"bravo" * 300), ("dir/sub/c.bin", bytes(range(256)) * 8)]
    return [zip_bytes(texts), zip_bytes(texts, zipfile.ZIP_STORED), zip_bytes([("only.txt", b"x" * 5000)]),
            duplicates(), bomb(), overlap(8)]


def mutate(data, rng):
    data = bytearray(data)
    for _ in range(rng.randint(1, 4)):
        kind = rng.randrange(5)
        if kind == 0 and data:
            for _ in range(rng.randint(1, 8)):
                data[rng.randrange(len(data))] = rng.randrange(256)
        elif kind == 1:
            starts = [i for s in SIGNATURES for i in range(len(data)) if data.startswith(s, i)]
            if starts:
                at = rng.choice(starts) + rng.randrange(4, 30)
                if at + 4 <= len(data):
                    struct.pack_into("<I", data, at, rng.choice(BOUNDARY_VALUES))
        elif kind == 2 and len(data) > 1:
            del data[rng.randrange(1, len(data)):]
        elif kind == 3 and data:
            start = rng.randrange(len(data))
            piece = data[start:start + rng.randint(1, 200)]
            at = rng.randrange(len(data))
            data[at:at] = piece
        elif kind == 4:
            name = data.find(b"dir/")
            if name >= 0:
                data[name:name + 3] = b"../"[:3]
    return bytes(data)


def files_below(folder):
    return {p for p in pathlib.Path(folder).rglob("*")}


class Campaign:
    def __init__(self, options):
        self.lark = options.lark
        self.runner = shlex.split(options.runner)
        self.windows = bool(self.runner)
        self.timeout = options.timeout
        self.keep = pathlib.Path(options.keep) if options.keep else None
        self.totals = {"inputs": 0, "runs": 0, "exit 0": 0, "exit 1": 0, "crashes": 0, "sanitizer reports": 0,
                       "hangs": 0, "written outside": 0, "over declared size": 0, "exit 0 with files missing": 0}

    def path(self, p):
        p = os.path.abspath(str(p))
        return "Z:" + p.replace("/", "\\") if self.windows else p

    def run(self, *args):
        argv = self.runner + [self.lark] + [self.path(a) if isinstance(a, pathlib.PurePath) else a for a in args]
        env = dict(os.environ, WINEDEBUG="-all")
        env.setdefault("ASAN_OPTIONS", "detect_leaks=0")
        self.totals["runs"] += 1
        try:
            done = subprocess.run(argv, stdin=subprocess.DEVNULL, capture_output=True, env=env, timeout=self.timeout)
        except subprocess.TimeoutExpired:
            self.totals["hangs"] += 1
            return None
        err = done.stderr.decode(errors="replace")
        if any(mark in err for mark in SANITIZER_MARKS):
            self.totals["sanitizer reports"] += 1
            return None
        if done.returncode not in (0, 1):
            self.totals["crashes"] += 1
            return None
        self.totals["exit %d" % done.returncode] += 1
        return done

    def one(self, data, work, index):
        """Runs the four commands on one input; True when a rule broke or something was refused."""
        before = dict(self.totals)
        archive = work / "in.zip"
        archive.write_bytes(data)
        listed = self.run("list", archive)
        names = []
        if listed and listed.returncode == 0:
            for line in listed.stdout.decode("utf-8", errors="replace").splitlines():
                if line.startswith("entry\t"):
                    names.append(line.split("\t")[1])
        jail = work / "jail"
        out = jail / "out"
        out.mkdir(parents=True)
        outside_before = files_below(jail) - files_below(out)
        extracted = self.run("extract", archive, out)
        if files_below(jail) - files_below(out) != outside_before:
            self.totals["written outside"] += 1
        written = [p for p in out.rglob("*") if p.is_file()]
        if sum(p.stat().st_size for p in written) > WRITE_LIMIT:
            self.totals["over declared size"] += 1
        files_listed = [n for n in names if not n.endswith("\\")]
        if extracted and extracted.returncode == 0 and len(written) < len(set(n.lower() for n in files_listed)):
            self.totals["exit 0 with files missing"] += 1
        refused = extracted is not None and extracted.returncode == 1
        copy = work / "copy.zip"
        shutil.copyfile(archive, copy)
        self.run("delete", copy, "*.txt")
        shutil.copyfile(archive, copy)
        extra = work / "added.txt"
        extra.write_bytes(b"added")
        self.run("add", copy, extra)
        shutil.rmtree(jail, ignore_errors=True)
        broke = any(self.totals[k] != before[k] for k in ("crashes", "sanitizer reports", "hangs", "written outside",
                                                           "over declared size", "exit 0 with files missing"))
        return broke or refused


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--lark")
    parser.add_argument("--count", type=int, default=200)
    parser.add_argument("--seed", type=int, default=int(time.time()))
    parser.add_argument("--runner", default="")
    parser.add_argument("--timeout", type=float, default=60)
    parser.add_argument("--keep")
    parser.add_argument("--hostile")
    options = parser.parse_args()
    if options.hostile:
        folder = pathlib.Path(options.hostile)
        folder.mkdir(parents=True, exist_ok=True)
        (folder / "hostile-bomb.zip").write_bytes(bomb())
        (folder / "hostile-overlap.zip").write_bytes(overlap())
        (folder / "hostile-duplicates.zip").write_bytes(duplicates())
        with tempfile.TemporaryDirectory() as work:
            streamed = streamed_zip64(work)
            if streamed:
                (folder / "hostile-streamed-zip64.zip").write_bytes(streamed)
        return 0
    if not options.lark:
        parser.error("--lark is required for a campaign")
    campaign = Campaign(options)
    rng = random.Random(options.seed)
    pool = seeds()
    started = time.time()
    if campaign.keep:
        campaign.keep.mkdir(parents=True, exist_ok=True)
    kept = 0
    for index in range(options.count):
        data = mutate(rng.choice(pool), rng)
        campaign.totals["inputs"] += 1
        with tempfile.TemporaryDirectory(prefix="lark-campaign-") as work:
            if campaign.one(data, pathlib.Path(work), index) and campaign.keep:
                (campaign.keep / ("mutant-%d-%05d.zip" % (options.seed, index))).write_bytes(data)
                kept += 1
    print("mutation campaign: seed %d, %.1f s" % (options.seed, time.time() - started))
    for key, value in campaign.totals.items():
        print("  %-28s %d" % (key, value))
    if campaign.keep:
        print("  %-28s %d (in %s)" % ("kept", kept, campaign.keep))
    failures = sum(campaign.totals[k] for k in ("crashes", "sanitizer reports", "hangs", "written outside",
                                                 "over declared size", "exit 0 with files missing"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
