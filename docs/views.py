#!/usr/bin/python3
"""Runs the 32-bit and the 64-bit korvane.exe against the same Wine prefix for
every keyword, and writes the keywords whose answers differ into the README,
between its <!-- views --> marks. Where this machine cannot run 32-bit
programs, the table has the 64-bit answers only, and says so.

    docs/views.py
"""
import os
import re
import subprocess
import tempfile

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILDS = (("win32", "i686", "32-bit build"), ("win64", "x86_64", "64-bit build"))


def sh(*command):
    return subprocess.run(command, cwd=TOP, check=True, capture_output=True).stdout


def keywords():
    table = open(os.path.join(TOP, "src/folders/folders.cpp")).read()
    # A row's keyword opens it, whether the row takes one line or several.
    return re.findall(r'^\s*\{"([A-Z_0-9]+)",', table, flags=re.M)


def answers(preset, arch):
    sh("cmake", "--preset", preset)
    sh("cmake", "--build", "--preset", preset, "--target", "korvane")
    exe = "build/%s/korvane.exe" % preset
    seen = {}
    for k in keywords():
        # To a file: a pipe would wait for the Wine services that inherit it.
        with tempfile.TemporaryFile() as out:
            subprocess.run(["cmake/wine-run", "--" + arch, exe, k], cwd=TOP, check=True, stdout=out)
            out.seek(0)
            seen[k] = out.read().decode("utf-8", "replace")
    return seen


def shown(path):
    return "`%s`" % path if path else "nothing"


def main():
    sh("scripts/setup")
    i386 = subprocess.run([TOP + "/cmake/wine-run", "--i386-runs"], cwd=TOP).returncode == 0
    runs = [b for b in BUILDS if i386 or b[0] == "win64"]
    seen = {name: answers(preset, arch) for preset, arch, name in runs}
    wine = sh("cmake/wine-run", "--x86_64", "--version").decode().strip()
    if i386:
        lines = ["Both builds run here, against one prefix (%s):" % wine, "",
                 "| Keyword | 32-bit build | 64-bit build |", "|---|---|---|"]
        one, other = seen["32-bit build"], seen["64-bit build"]
        for k in keywords():
            if one[k] != other[k]:
                lines.append("| %s | %s | %s |" % (k, shown(one[k]), shown(other[k])))
        if len(lines) == 4:
            lines.append("| (none) | | |")
    else:
        lines = ["This machine cannot run 32-bit programs, so only the 64-bit build ran "
                 "here (%s); the keywords whose answers differ between the two could not be "
                 "found. Its answers:" % wine, "", "| Keyword | 64-bit build |", "|---|---|"]
        for k, path in seen["64-bit build"].items():
            lines.append("| %s | %s |" % (k, shown(path)))
    table = "\n".join(lines) + "\n"
    path = os.path.join(TOP, "README.md")
    readme = open(path).read()
    readme = re.sub(r"(<!-- views -->\n).*?(<!-- /views -->)",
                    lambda m: m.group(1) + table + m.group(2), readme, flags=re.S)
    open(path, "w").write(readme)
    print(table)


if __name__ == "__main__":
    main()
