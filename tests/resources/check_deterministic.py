#!/usr/bin/python3
"""Runs the picture script twice into fresh folders and checks that both runs
wrote the same files with the same bytes, and that they match the pictures of
the build.

Usage: check_deterministic.py make_pictures.py BUILT_PICTURE_DIR"""

import filecmp
import os
import subprocess
import sys
import tempfile

EXPECTED = {
    "form1-skin.jpg", "form1-close.jpg", "form1-minimise.jpg", "form1-banner.jpg",
    "icon.png", "icon.ico", "tarvelin-radio.png", "form2-credits.jpg", "form2-close.jpg",
    "form1-skin@2x.jpg", "form1-close@2x.jpg", "form1-minimise@2x.jpg", "form1-banner@2x.jpg",
    "form2-credits@2x.jpg", "form2-close@2x.jpg",
}


def run(script, out):
    subprocess.run([sys.executable, script, out], check=True, timeout=100)
    names = set(os.listdir(out))
    if names != EXPECTED:
        sys.exit("unexpected output files: %s" % sorted(names ^ EXPECTED))


def main():
    script, built = sys.argv[1], sys.argv[2]
    failures = []
    with tempfile.TemporaryDirectory() as first, tempfile.TemporaryDirectory() as second:
        run(script, first)
        run(script, second)
        for name in sorted(EXPECTED):
            a = os.path.join(first, name)
            if not filecmp.cmp(a, os.path.join(second, name), shallow=False):
                failures.append("%s differs between two runs" % name)
            if not filecmp.cmp(a, os.path.join(built, name), shallow=False):
                failures.append("%s differs from the built picture" % name)
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
