#!/usr/bin/env python3
"""Makes the archives the engine tests extract, with Info-ZIP zip, Python's zipfile and 7-Zip as makers.

Usage: make_peer_archives.py OUTDIR. Writes OUTDIR/src (the files, byte for byte what every
archive holds) and one archive per kind beside it; the engine tests read them from there.
"""
import io
import os
import random
import shutil
import struct
import subprocess
import sys
import zipfile

PASSWORD = "secret"
PIPED = b"from a pipe\n"


def source_files():
    rng = random.Random(4)
    text = "".join("line %d of a text that deflates well\r\n" % i for i in range(3000)).encode()
    return {
        "a.txt": text,
        "sub/b.bin": bytes(rng.getrandbits(8) for _ in range(70000)),
        "sub/deeper/c.txt": b"small\n",
        "empty.txt": b"",
        "README": b"no extension\n",
    }


def write_sources(root, files):
    for name, data in files.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)


def info_zip(out, src, names, *options, stream=False):
    if stream:
        # Written to a pipe, zip cannot seek back: every entry gets a data descriptor.
        data = subprocess.run(["zip", "-q", "-X", *options, "-", *names], cwd=src, check=True,
                              stdout=subprocess.PIPE).stdout
        with open(out, "wb") as f:
            f.write(data)
    else:
        subprocess.run(["zip", "-q", "-X", *options, out, *names], cwd=src, check=True)


def info_zip_pipe(out, data):
    """Data from a pipe to a pipe: the entry "-" has a ZIP64 extra field in its local header and
    8-byte sizes in its data descriptor."""
    zipped = subprocess.run(["zip", "-q", "-X", "-", "-"], input=data, check=True, stdout=subprocess.PIPE).stdout
    with open(out, "wb") as f:
        f.write(zipped)


class Unseekable(io.RawIOBase):
    """A write-only stream without seek, so zipfile writes data descriptors."""

    def __init__(self):
        self.data = bytearray()

    def writable(self):
        return True

    def write(self, b):
        self.data += b
        return len(b)


def python_zip(out, files, method, stream=False, force_zip64=False):
    """With `force_zip64` every local header has the ZIP64 extra field, and streamed entries get
    data descriptors with 8-byte sizes."""
    sink = Unseekable() if stream else open(out, "wb")
    with zipfile.ZipFile(sink, "w", compression=method) as z:
        for name, data in files.items():
            info = zipfile.ZipInfo(name, date_time=(2020, 5, 17, 10, 30, 42))
            info.compress_type = method
            info.comment = ("comment of " + name).encode()
            if force_zip64:
                with z.open(info, "w", force_zip64=True) as entry:
                    entry.write(data)
            else:
                z.writestr(info, data)
        z.comment = b"python archive comment"
    if stream:
        with open(out, "wb") as f:
            f.write(sink.data)
    else:
        sink.close()


AES_STRENGTHS = ["AES128", "AES192", "AES256"]


def seven_zip_aes(out, src, names, strength, deflated):
    method = ["-mm=Deflate", "-mx=9"] if deflated else ["-mx=0"]
    subprocess.run(["7zz", "a", "-tzip", "-bd", "-bso0", "-p" + PASSWORD, "-mem=" + strength, *method, out, *names],
                   cwd=src, check=True)


def flip_in_entry(out, name, offset):
    """Flips one byte `offset` bytes into the stored data of the entry `name`."""
    raw = bytearray(open(out, "rb").read())
    info = zipfile.ZipFile(out).getinfo(name)
    at = info.header_offset
    data_at = at + 30 + int.from_bytes(raw[at + 26:at + 28], "little") + int.from_bytes(raw[at + 28:at + 30], "little")
    raw[data_at + offset] ^= 0x01
    open(out, "wb").write(bytes(raw))


def garbage_locator_zip(out, files):
    """The last entry's extra field (a block of an unknown ID) ends in the image of a ZIP64 locator
    that points at no record; nothing in the end record is saturated, so peers read the archive as
    ordinary."""
    locator = struct.pack("<IIQI", 0x07064B50, 0, 12345, 1)
    with zipfile.ZipFile(out, "w", compression=zipfile.ZIP_DEFLATED) as z:
        names = sorted(files)
        for name in names:
            info = zipfile.ZipInfo(name, date_time=(2020, 5, 17, 10, 30, 42))
            if name == names[-1]:
                info.extra = struct.pack("<HH", 0xCAFE, len(locator)) + locator
            z.writestr(info, files[name], compress_type=zipfile.ZIP_DEFLATED)


def contradicting_zip(out, source):
    """ZIP64 end records in front of the end record whose directory offset is not the end record's."""
    data = open(source, "rb").read()
    end = data.rfind(b"PK\x05\x06")
    entries, size, offset = struct.unpack_from("<HII", data, end + 10)
    record = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, entries, entries, size, offset + (1 << 32))
    locator = struct.pack("<IIQI", 0x07064B50, 0, end, 1)
    open(out, "wb").write(data[:end] + record + locator + data[end:])


def many_zip(out, count):
    """More entries than the end record counts: zipfile writes ZIP64 end records for them."""
    with zipfile.ZipFile(out, "w") as z:
        for i in range(count):
            z.writestr(zipfile.ZipInfo("f%05d" % i, date_time=(2020, 1, 1, 0, 0, 0)), b"%d" % i)


def hostile_zip(out):
    names = ["../evil.txt", "/abs.txt", "C:evil.txt", "C:/abs2.txt", "sub/../../evil2.txt", "..\\evil3.txt",
             "\\lead.txt", "CON", "nul.txt", "aux/x.txt", "com1.log", "LPT9", "sub/ .. /x.txt", "a|b.txt",
             "good.txt"]
    with zipfile.ZipFile(out, "w") as z:
        for name in names:
            info = zipfile.ZipInfo("placeholder", date_time=(2020, 1, 1, 0, 0, 0))
            info.filename = name  # as written, without zipfile's own clean-up of the name
            z.writestr(info, b"hostile " + name.encode())


def corrupt_zip(out):
    data = b"0123456789" * 100
    with zipfile.ZipFile(out, "w", compression=zipfile.ZIP_STORED) as z:
        z.writestr(zipfile.ZipInfo("broken.txt", date_time=(2020, 1, 1, 0, 0, 0)), data)
        z.writestr(zipfile.ZipInfo("fine.txt", date_time=(2020, 1, 1, 0, 0, 0)), b"fine")
    raw = bytearray(open(out, "rb").read())
    at = raw.find(data) + 500
    raw[at] ^= 0x55
    open(out, "wb").write(bytes(raw))


def unsupported_zip(out):
    with zipfile.ZipFile(out, "w") as z:
        z.writestr(zipfile.ZipInfo("bz.txt", date_time=(2020, 1, 1, 0, 0, 0)), b"bzip2 data " * 50,
                   compress_type=zipfile.ZIP_BZIP2)
        z.writestr(zipfile.ZipInfo("plain.txt", date_time=(2020, 1, 1, 0, 0, 0)), b"plain")


def utf8_zip(out):
    # zipfile marks the accented name as UTF-8 (flag bit 11) although it says MS-DOS made it.
    with zipfile.ZipFile(out, "w") as z:
        info = zipfile.ZipInfo("Caf\u00e9/\u00d1and\u00fa.txt", date_time=(2020, 1, 1, 0, 0, 0))
        info.create_system = 0
        z.writestr(info, b"accented")


def main():
    out = os.path.abspath(sys.argv[1])
    shutil.rmtree(out, ignore_errors=True)
    src = os.path.join(out, "src")
    os.makedirs(src)
    files = source_files()
    write_sources(src, files)
    names = sorted(files)
    info_zip(os.path.join(out, "info-stored.zip"), src, names, "-0")
    info_zip(os.path.join(out, "info-deflated.zip"), src, names, "-9")
    info_zip(os.path.join(out, "info-stream.zip"), src, names, "-6", stream=True)
    info_zip(os.path.join(out, "info-encrypted.zip"), src, names, "-P", PASSWORD)
    info_zip(os.path.join(out, "info-encrypted-stream.zip"), src, names, "-P", PASSWORD, stream=True)
    python_zip(os.path.join(out, "py-stored.zip"), files, zipfile.ZIP_STORED)
    python_zip(os.path.join(out, "py-deflated.zip"), files, zipfile.ZIP_DEFLATED)
    python_zip(os.path.join(out, "py-stream.zip"), files, zipfile.ZIP_DEFLATED, stream=True)
    info_zip_pipe(os.path.join(out, "info-pipe.zip"), PIPED)
    # ZIP64 archives within the old limits, and one past the 16-bit entry count.
    python_zip(os.path.join(out, "py-zip64.zip"), files, zipfile.ZIP_DEFLATED, force_zip64=True)
    python_zip(os.path.join(out, "py-zip64-stream.zip"), files, zipfile.ZIP_DEFLATED, stream=True, force_zip64=True)
    info_zip(os.path.join(out, "info-zip64.zip"), src, names, "-fz")
    garbage_locator_zip(os.path.join(out, "garbage-locator.zip"), files)
    contradicting_zip(os.path.join(out, "contradicting.zip"), os.path.join(out, "py-deflated.zip"))
    many_zip(os.path.join(out, "many-70000.zip"), 70000)
    hostile_zip(os.path.join(out, "hostile.zip"))
    corrupt_zip(os.path.join(out, "corrupt.zip"))
    unsupported_zip(os.path.join(out, "unsupported.zip"))
    utf8_zip(os.path.join(out, "utf8.zip"))
    for strength in AES_STRENGTHS:
        for deflated in (False, True):
            kind = "deflated" if deflated else "stored"
            seven_zip_aes(os.path.join(out, "7z-%s-%s.zip" % (strength.lower(), kind)), src, names, strength, deflated)
    damaged = os.path.join(out, "7z-aes-damaged.zip")
    seven_zip_aes(damaged, src, names, "AES256", True)
    flip_in_entry(damaged, "a.txt", 1000)


if __name__ == "__main__":
    main()
