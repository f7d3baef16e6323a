#!/usr/bin/env python3
"""Peers as judges of the comments the window wrote: `unzip -z` and Python's zipfile.

Usage: check_comments.py OUTDIR. For every OUTDIR/X.comments the window test left X.zip; the first
line of X.comments is the archive comment, each further line "name<TAB>comment" one entry's comment.
"""
import os
import subprocess
import sys
import zipfile


def check(archive, expected_path):
    lines = open(expected_path, encoding="latin-1").read().split("\n")
    zip_comment = lines[0]
    file_comments = dict(line.split("\t", 1) for line in lines[1:] if line)
    shown = subprocess.run(["unzip", "-z", archive], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           text=True, encoding="latin-1")
    if shown.returncode != 0 or zip_comment not in shown.stdout.splitlines():
        return "unzip -z shows %r" % shown.stdout
    with zipfile.ZipFile(archive) as z:
        if z.comment.decode("latin-1") != zip_comment:
            return "zipfile reads the archive comment %r" % z.comment
        got = {info.filename: info.comment.decode("latin-1") for info in z.infolist()}
    if got != file_comments:
        return "file comments %r, expected %r" % (got, file_comments)
    return None


def main():
    out = sys.argv[1]
    names = sorted(n for n in os.listdir(out) if n.endswith(".comments")) if os.path.isdir(out) else []
    if not names:
        print("no comments to judge in", out)
        return 1
    failed = 0
    for name in names:
        stem = os.path.join(out, name[: -len(".comments")])
        problem = check(stem + ".zip", stem + ".comments")
        print("%s: %s" % (os.path.basename(stem), problem or "ok"))
        failed += problem is not None
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
