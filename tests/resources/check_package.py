#!/usr/bin/python3
"""Builds the Debian package with CPack and checks its control fields and
contents. Skips (exit 77) when the build has no CPack configuration.

Usage: check_package.py CPACK BUILD_DIR WORK_DIR VERSION
VERSION is the program's version text, which the package's version must be."""

import glob
import os
import shutil
import subprocess
import sys

SKIP = 77
EXPECTED_FILES = [
    "./usr/bin/tarvelin-radio",
    "./usr/share/applications/tarvelin-radio.desktop",
    "./usr/share/metainfo/com.example.tarvelin.radio.metainfo.xml",
    "./usr/share/icons/hicolor/128x128/apps/tarvelin-radio.png",
]


def field(deb, name):
    return subprocess.run(["dpkg-deb", "-f", deb, name], check=True, capture_output=True,
                          text=True).stdout.strip()


def main():
    cpack, build, work, version = sys.argv[1:5]
    config = os.path.join(build, "CPackConfig.cmake")
    if not os.path.exists(config):
        print("SKIP: no CPack configuration in", build)
        return SKIP
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    subprocess.run([cpack, "-G", "DEB", "--config", config, "-B", work], check=True,
                   timeout=500)
    debs = glob.glob(os.path.join(work, "*.deb"))
    if len(debs) != 1:
        print("FAIL: expected one package, found", debs)
        return 1
    deb = debs[0]
    failures = []
    if field(deb, "Package") != "tarvelin-radio":
        failures.append("package name is %r" % field(deb, "Package"))
    if field(deb, "Version") != version:
        failures.append("version is %r" % field(deb, "Version"))
    depends = [d.strip().split(" ")[0] for d in field(deb, "Depends").split(",")]
    for wanted in ("fonts-comic-neue", "fonts-beng", "libc6"):
        if wanted not in depends:
            failures.append("Depends lacks %s: %s" % (wanted, depends))
    if not any(d.startswith("libqt6") for d in depends):
        failures.append("Depends lacks the Qt libraries: %s" % depends)
    contents = subprocess.run(["dpkg-deb", "-c", deb], check=True, capture_output=True,
                              text=True).stdout
    listed = {line.split()[-1] for line in contents.splitlines() if line.strip()}
    for path in EXPECTED_FILES:
        if path not in listed:
            failures.append("package lacks " + path)
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
