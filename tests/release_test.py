#!/usr/bin/python3
"""Packs the release twice and checks it: two archives holding korvane.exe,
README.txt and LICENSE.txt, the programs byte for byte the builds, the texts
with CR LF line ends, SHA256SUMS as sha256sum checks it, and the same bytes
both times.

    release_test.py X86_EXE X64_EXE VERSION
"""
import hashlib
import os
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
    for name, exe in zip(names, (x86, x64)):
        with zipfile.ZipFile(os.path.join(runs[0], name)) as archive:
            check(archive.namelist() == ["korvane.exe", "README.txt", "LICENSE.txt"],
                  name + " holds korvane.exe, README.txt and LICENSE.txt")
            program = archive.read("korvane.exe")
            check(program == open(exe, "rb").read(), name + ": korvane.exe is the build")
            for text in ("README.txt", "LICENSE.txt"):
                data = archive.read(text)
                check(data.count(b"\n") == data.count(b"\r\n") > 0, name + ": CR LF in " + text)
            check(archive.read("LICENSE.txt").replace(b"\r\n", b"\n") == license_text,
                  name + ": LICENSE.txt is the license")
            readme = archive.read("README.txt").decode("utf-8")
            for part in ("korvane " + version, "korvane /?", "DOWNLOADS", "for /f",
                         "Exit status", hashlib.sha256(program).hexdigest()):
                check(part in readme, name + ": README.txt has " + part)
    print("%d checks failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
