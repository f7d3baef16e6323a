#!/usr/bin/env python3
"""Peers as judges of the archives ZipDll wrote during the engine tests.

Usage: check_engine_archives.py OUTDIR. For every OUTDIR/X.zip the tests left an X.files folder
with what it must hold. Each archive must pass `unzip -t` and `7z t` (7-Zip, where installed) and
read back through Python's zipfile to exactly those files, and `unzip -Z1` and `7z l` must list
the same file names; names holding "-pw-" are encrypted with the password "pw". Names starting
"aes-" hold AES entries, which only 7-Zip of the peers reads: it tests them and extracts them to
exactly those files.
"""
import os
import shutil
import subprocess
import sys
import zipfile

PASSWORD = "pw"


def expected_files(folder):
    found = {}
    for root, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            found[os.path.relpath(path, folder).replace(os.sep, "/")] = open(path, "rb").read()
    return found


def check_aes(archive, folder):
    seven = shutil.which("7zz") or shutil.which("7z")
    if not seven:
        return None
    result = subprocess.run([seven, "t", "-p" + PASSWORD, archive], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True)
    if result.returncode != 0:
        return "7z t failed: " + result.stdout.strip()[-400:]
    # A traditional entry would pass the test too: the archive must hold AES entries.
    listing = subprocess.run([seven, "l", "-slt", archive], stdout=subprocess.PIPE, text=True).stdout
    if "Method = AES" not in listing:
        return "7z finds no AES entry"
    out = archive[:-4] + ".7z-out"
    shutil.rmtree(out, ignore_errors=True)
    subprocess.run([seven, "x", "-y", "-p" + PASSWORD, "-o" + out, archive], stdout=subprocess.DEVNULL, check=True)
    got, want = expected_files(out), expected_files(folder)
    shutil.rmtree(out, ignore_errors=True)
    return None if got == want else "7z x gave %s, expected %s" % (sorted(got), sorted(want))


# The peers write names in the locale's encoding: UTF-8, so that every script comes through.
UTF8_LOCALE = dict(os.environ, LC_ALL="C.UTF-8", LANG="C.UTF-8")


def decoded(line, fallback):
    try:
        return line.decode("utf-8")
    except UnicodeDecodeError:
        return line.decode(fallback)


def listed_by_unzip(archive):
    result = subprocess.run(["unzip", "-Z1", archive], stdout=subprocess.PIPE, env=UTF8_LOCALE)
    # unzip gives a name stored in the OEM page in ISO 8859-1, whatever the locale.
    names = [decoded(line, "latin-1") for line in result.stdout.splitlines()]
    return sorted(name for name in names if not name.endswith("/"))


def listed_by_7zip(seven, archive):
    result = subprocess.run([seven, "l", "-slt", "-ba", archive], stdout=subprocess.PIPE, env=UTF8_LOCALE)
    names, path = [], None
    # 7-Zip on Linux gives a name stored in the OEM page as stored.
    for line in (decoded(line, "cp437") for line in result.stdout.splitlines()):
        if line.startswith("Path = "):
            path = line[len("Path = "):].replace("\\", "/")
        elif line.startswith("Folder = ") and path is not None:
            if line != "Folder = +":
                names.append(path)
            path = None
    return sorted(names)


def check(archive, folder):
    if os.path.basename(archive).startswith("aes-"):
        return check_aes(archive, folder)
    encrypted = "-pw-" in os.path.basename(archive)
    command = ["unzip", "-t", "-qq"] + (["-P", PASSWORD] if encrypted else []) + [archive]
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if result.returncode != 0:
        return "unzip -t failed: " + result.stdout.strip()
    seven = shutil.which("7zz") or shutil.which("7z")
    if seven:
        result = subprocess.run([seven, "t", "-p" + PASSWORD, archive], stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, text=True)
        if result.returncode != 0:
            return "7z t failed: " + result.stdout.strip()[-400:]
    want = expected_files(folder)
    with zipfile.ZipFile(archive) as z:
        if encrypted:
            z.setpassword(PASSWORD.encode())
        bad = z.testzip()
        if bad:
            return "zipfile: bad CRC in " + bad
        folders = [info for info in z.infolist() if info.is_dir()]
        if any(z.read(info) for info in folders):
            return "a folder entry holds data"
        got = {info.filename: z.read(info) for info in z.infolist() if not info.is_dir()}
    if set(got) != set(want):
        return "entries %s, expected %s" % (sorted(got), sorted(want))
    listings = [("unzip -Z1", listed_by_unzip(archive))]
    if seven:
        listings.append(("7z l", listed_by_7zip(seven, archive)))
    for peer, names in listings:
        if names != sorted(want):
            return "%s lists %s, expected %s" % (peer, names, sorted(want))
    for name, data in want.items():
        if got[name] != data:
            return "content of %s differs" % name
    return None


def main():
    out = sys.argv[1]
    archives = sorted(n for n in os.listdir(out) if n.endswith(".zip")) if os.path.isdir(out) else []
    failed = 0
    if not (shutil.which("7zz") or shutil.which("7z")):
        print("7-Zip is not installed: its test is left out")
    for name in archives:
        archive = os.path.join(out, name)
        problem = check(archive, archive[:-4] + ".files")
        print("%s: %s" % (name, problem or "ok"))
        failed += problem is not None
    if not archives:
        print("no archives to check: the engine tests wrote none")
        return 1
    print("%d passed, %d failed" % (len(archives) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
