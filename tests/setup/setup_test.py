#!/usr/bin/env python3
"""scripts/setup's handling of a failing package registry, with stand-ins for apt and dpkg on PATH.

usage: setup_test.py [unittest args]. No network: every package tool the script calls is a stand-in
that logs its arguments and fails as each case says.
"""

import os
import pathlib
import subprocess
import tempfile
import unittest

SETUP = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "setup"

# Each stand-in logs "NAME ARGS" and fails while a counter file for it says so.
STAND_IN = """#!/bin/sh
echo "$(basename "$0") $*" >> "$STUBS/log"
case "$(basename "$0") $1" in
  "dpkg-query "*) exit 1 ;;
  "dpkg --print-foreign-architectures") echo i386; exit 0 ;;
  "dpkg --print-architecture") echo amd64; exit 0 ;;
  "apt-cache depends") echo "zlib1g-dev:i386"; echo "  Depends: zlib1g:i386"; exit 0 ;;
  "apt-cache policy") echo "  Candidate: 1:1.2.13"; exit 0 ;;
esac
key="$(basename "$0")-$1"
if [ -f "$STUBS/fail-$key" ]; then
  left=$(cat "$STUBS/fail-$key")
  if [ "$left" -gt 0 ]; then
    echo $((left - 1)) > "$STUBS/fail-$key"
    echo "E: stand-in failure of $key" >&2
    exit 100
  fi
fi
exit 0
"""


class SetupRegistryFailures(unittest.TestCase):
    def run_setup(self, failures):
        with tempfile.TemporaryDirectory() as stubs:
            stubs = pathlib.Path(stubs)
            for tool in ("apt-get", "apt-cache", "dpkg", "dpkg-query", "sudo"):
                (stubs / tool).write_text(STAND_IN if tool != "sudo" else '#!/bin/sh\nexec "$@"\n')
                (stubs / tool).chmod(0o755)
            for key, count in failures.items():
                (stubs / ("fail-" + key)).write_text(str(count))
            env = dict(os.environ, PATH="%s:%s" % (stubs, os.environ["PATH"]), STUBS=str(stubs), SETUP_RETRY_PAUSE="0")
            done = subprocess.run(["bash", str(SETUP), "--packages-only"], env=env, capture_output=True, text=True,
                                  timeout=60)
            log = (stubs / "log").read_text().splitlines()
        return done, [line for line in log if line.startswith("apt-get ")]

    def test_failures_of_the_registry(self):
        cases = [
            # name, failures, exit code, apt-get calls (update/install), words on standard error
            ("first update fails", {"apt-get-update": 1}, 0, ["update", "update", "install"], ["try 1 of 3"]),
            ("every update fails", {"apt-get-update": 9}, 0, ["update"] * 3 + ["install"], ["warning: going on"]),
            ("twins do not match", {"apt-get-install": 1}, 0, ["update", "install", "install"], ["held broken"]),
            ("nothing helps", {"apt-get-install": 2}, 100, ["update", "install", "install"], ["run", "again"]),
        ]
        for name, failures, code, calls, words in cases:
            with self.subTest(name):
                done, log = self.run_setup(failures)
                self.assertEqual(done.returncode, code, done.stderr)
                self.assertEqual([line.split()[1] for line in log], calls, log)
                for word in words:
                    self.assertIn(word, done.stderr)
                if name == "twins do not match":
                    # Both architectures of the library, at the version the 32-bit index offers.
                    self.assertIn("zlib1g:i386=1:1.2.13", log[-1])
                    self.assertIn("--allow-downgrades", log[-1])


if __name__ == "__main__":
    unittest.main(verbosity=2)
