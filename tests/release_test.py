#!/usr/bin/python3
"""Packs the release twice and checks it: two archives holding korvane.exe,
README.txt, CHANGELOG.txt and LICENSE.txt, the programs byte for byte the
builds, the texts with CR LF line ends, the changelog's newest section the
version, SHA256SUMS as sha256sum checks it, and the same bytes both times.
Then scripts/release, for a version that the changelog lacks, must stop
before it builds anything.

    release_test.py X86_EXE X64_EXE VERSION
"""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
    print(("ok   " if condition else "FAIL ") + what)


def check_release_stops_without_a_section():
    """scripts/release in a copy of the tree's top whose version the changelog
    lacks; its test command, were it reached, would leave a mark."""
    top = tempfile.mkdtemp()
    os.makedirs(os.path.join(top, "scripts"))
    shutil.copy(os.path.join(TOP, "scripts/release"), os.path.join(top, "scripts"))
    shutil.copy(os.path.join(TOP, "CHANGELOG.md"), top)
    cmake = open(os.path.join(TOP, "CMakeLists.txt")).read()
    open(os.path.join(top, "CMakeLists.txt"), "w").write(
        re.sub(r"(project\(korvane VERSION )[0-9.]+", r"\g<1>0.0.9", cmake))
    with open(os.path.join(top, "scripts/test"), "w") as test:
        test.write("#!/bin/sh\ntouch built\n")
    os.chmod(os.path.join(top, "scripts/test"), 0o755)
    done = subprocess.run(["sh", os.path.join(top, "scripts/release")], capture_output=True,
                          text=True)
    check(done.returncode != 0 and "CHANGELOG.md" in done.stderr and "0.0.9" in done.stderr,
          "release without a changelog section fails, naming CHANGELOG.md: %r" % done.stderr)
    check(not os.path.exists(os.path.join(top, "built")) and
          not os.path.exists(os.path.join(top, "dist")), "... before it builds anything")


def main():
    x86, x64, version = sys.argv[1:4]
    runs = [tempfile.mkdtemp(), tempfile.mkdtemp()]
    for out in runs:
        subprocess.run([TOP + "/scripts/pack-release", out, x86, x64, version], check=True)
        time.sleep(2.1)  # a zip keeps times to two seconds: the runs must differ there
    names = ["korvane-%s-windows-%s.zip" % (version, m) for m in ("x86", "x64")]
    check(sorted(os.listdir(runs[0])) == sorted(names + ["SHA256SUMS"]),
          "dist holds the two archives and SHA256SUMS")
    for name in sorted(os.listdir(runs[0])):
        same = open(os.path.join(runs[0], name), "rb").read() == \
            open(os.path.join(runs[1], name), "rb").read()
        check(same, "two runs give the same bytes: " + name)
    verified = subprocess.run(["sha256sum", "--strict", "-c", "SHA256SUMS"], cwd=runs[0])
    check(verified.returncode == 0, "sha256sum -c SHA256SUMS passes")
    license_text = open(os.path.join(TOP, "LICENSE"), "rb").read()
    changes = open(os.path.join(TOP, "CHANGELOG.md"), "rb").read()
    newest = re.search(rb"^## \[([^]]*)\] - \d{4}-\d\d-\d\d$", changes, flags=re.M)
    check(newest is not None and newest.group(1).decode() == version,
          "the changelog's newest section is version " + version)
    for name, exe in zip(names, (x86, x64)):
        with zipfile.ZipFile(os.path.join(runs[0], name)) as archive:
            check(archive.namelist() == ["korvane.exe", "README.txt", "CHANGELOG.txt",
                                         "LICENSE.txt"],
                  name + " holds korvane.exe, README.txt, CHANGELOG.txt and LICENSE.txt")
            program = archive.read("korvane.exe")
            check(program == open(exe, "rb").read(), name + ": korvane.exe is the build")
            for text in ("README.txt", "CHANGELOG.txt", "LICENSE.txt"):
                data = archive.read(text)
                check(data.count(b"\n") == data.count(b"\r\n") > 0, name + ": CR LF in " + text)
            check(archive.read("LICENSE.txt").replace(b"\r\n", b"\n") == license_text,
                  name + ": LICENSE.txt is the license")
            check(archive.read("CHANGELOG.txt").replace(b"\r\n", b"\n") == changes,
                  name + ": CHANGELOG.txt is the changelog")
            readme = archive.read("README.txt").decode("utf-8")
            for part in ("korvane " + version, "korvane /?", "DOWNLOADS", "for /f",
                         "Exit status", hashlib.sha256(program).hexdigest()):
                check(part in readme, name + ": README.txt has " + part)
    check_release_stops_without_a_section()
    print("%d checks failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
