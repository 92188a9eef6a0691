#!/usr/bin/python3
"""Packs the release twice, signed by a throwaway certificate and with
manifests, and once plain, and checks it: two archives holding korvane.exe,
README.txt, CHANGELOG.txt and LICENSE.txt, the signed programs verifying
against the throwaway CA and the plain ones byte for byte the builds, the
texts with CR LF line ends, the changelog's newest section the version,
SHA256SUMS as sha256sum checks it, the manifests naming the archives, and
the same bytes both times; scripts/verify-release passes on the archives
and fails on a changed byte. The checks archive, unpacked into a fresh
Wine prefix, passes check.cmd with every test and changes nothing; /all
passes too and puts back what it moved; a damaged or missing build, a
test program without its summary, and no build at all fail it;
GTEST_REPEAT changes no count; /restore puts back an interrupted /all,
which a plain run leaves as it is; on ARM64 the build number decides
whether win64 runs (check_kit's table); no path stands bare in a block. Then scripts/release, for a version that the
changelog lacks or with a wrong password, must stop before it builds
anything.

    release_test.py X86_EXE X64_EXE VERSION
"""
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import yaml
import zipfile
from xml.etree import ElementTree

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
    print(("ok   " if condition else "FAIL ") + what)


def make_signer():
    """A throwaway CA, an RSA code-signing certificate it issued, as a PFX,
    and the PFX's password in a file."""
    folder = tempfile.mkdtemp()
    path = lambda name: os.path.join(folder, name)
    open(path("password"), "w").write("throwaway pass %d\n" % os.getpid())
    open(path("ext"), "w").write("keyUsage=critical,digitalSignature\n"
                                 "extendedKeyUsage=codeSigning\n")
    for command in (
            ["req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", path("ca.key"), "-out",
             path("ca.pem"), "-days", "2", "-subj", "/CN=korvane test CA"],
            ["req", "-newkey", "rsa:2048", "-nodes", "-keyout", path("signer.key"), "-out",
             path("signer.csr"), "-subj", "/CN=korvane test signer"],
            ["x509", "-req", "-in", path("signer.csr"), "-CA", path("ca.pem"), "-CAkey",
             path("ca.key"), "-CAcreateserial", "-days", "2", "-extfile", path("ext"), "-out",
             path("signer.pem")],
            ["pkcs12", "-export", "-inkey", path("signer.key"), "-in", path("signer.pem"),
             "-certfile", path("ca.pem"), "-out", path("signer.pfx"), "-passout",
             "file:" + path("password")]):
        subprocess.run(["openssl"] + command, check=True, capture_output=True)
    return folder


def check_release_stops(what, variables, words):
    """scripts/release in a copy of the tree's top, whose test command, were
    it reached, would leave a mark."""
    top = tempfile.mkdtemp()
    os.makedirs(os.path.join(top, "scripts"))
    for script in ("release", "pack-release"):
        shutil.copy(os.path.join(TOP, "scripts", script), os.path.join(top, "scripts"))
    shutil.copy(os.path.join(TOP, "CHANGELOG.md"), top)
    cmake = open(os.path.join(TOP, "CMakeLists.txt")).read()
    if "version" in variables:
        cmake = re.sub(r"(project\(korvane VERSION )[0-9.]+", r"\g<1>0.0.9", cmake)
    open(os.path.join(top, "CMakeLists.txt"), "w").write(cmake)
    with open(os.path.join(top, "scripts/test"), "w") as test:
        test.write("#!/bin/sh\ntouch built\n")
    os.chmod(os.path.join(top, "scripts/test"), 0o755)
    environment = dict(os.environ, **{k: v for k, v in variables.items() if k != "version"})
    done = subprocess.run(["sh", os.path.join(top, "scripts/release")], capture_output=True,
                          text=True, env=environment)
    check(done.returncode != 0 and all(word in done.stderr for word in words),
          "release %s fails, naming %s: %r" % (what, ", ".join(words), done.stderr))
    check(not os.path.exists(os.path.join(top, "built")) and
          not os.path.exists(os.path.join(top, "dist")), "... before it builds anything")
    return done.stdout + done.stderr


def check_verify_release(folder, x86, x64):
    """Passes on the archives; fails on one whose signed korvane.exe has a
    byte changed past its headers."""
    verify = [TOP + "/scripts/verify-release", folder, "--built", x86, x64]
    done = subprocess.run(verify, capture_output=True, text=True)
    check(done.returncode == 0 and done.stdout.count(": ok\n") == 6,
          "verify-release passes on the signed archives and their manifests: %r" % done.stdout)
    install = os.path.join(folder, "choco", "tools", "chocolateyInstall.ps1")
    script = open(install).read()
    open(install, "w").write(script.replace("checksum64     = '", "checksum64     = '0"))
    done = subprocess.run(verify, capture_output=True, text=True)
    check(done.returncode != 0 and "chocolateyInstall.ps1: names no archive" in done.stdout,
          "verify-release fails on a wrong checksum in Chocolatey's script: %r" % done.stdout)
    open(install, "w").write(script)
    name = sorted(n for n in os.listdir(folder) if n.endswith("x64.zip"))[0]
    with zipfile.ZipFile(os.path.join(folder, name)) as archive:
        members = [(info, archive.read(info)) for info in archive.infolist()]
    changed = bytearray(members[0][1])
    changed[0x1000] ^= 1
    with zipfile.ZipFile(os.path.join(folder, name), "w") as archive:
        for info, data in members:
            archive.writestr(info, bytes(changed) if info.filename == "korvane.exe" else data)
    done = subprocess.run(verify, capture_output=True, text=True)
    check(done.returncode != 0 and "%s: korvane.exe differs" % name in done.stdout,
          "verify-release fails on a changed byte: %r" % done.stdout)


MOVING = ["CodePages.TheDelimiterFollowsADoubleByteCharacter", "MissingFolders.*",
          "MovedFolders.*"]


def wine(prefix, home, command, cwd=None):
    """A Windows command in that prefix, with its own empty home, so that the
    links Wine makes there lead nowhere else; ended, and the test failed,
    after ten minutes."""
    environment = dict(os.environ, WINEPREFIX=prefix, HOME=home)
    environment.pop("KORVANE_EXE", None)
    return subprocess.run([TOP + "/cmake/wine-run", "--x86_64"] + command, cwd=cwd, env=environment,
                          capture_output=True, text=True, errors="replace", timeout=600)


def settle(prefix):
    """Until Wine has ended in the prefix, and so written its registry."""
    subprocess.run(["wineserver", "-w"], env=dict(os.environ, WINEPREFIX=prefix), timeout=600)


def new_prefix():
    """Now and then wineboot crashes in a new prefix, and the prefix then
    waits for ever on Wine's debugger: it is let go, and another made."""
    for _ in range(3):
        folder = tempfile.mkdtemp()
        prefix, home = os.path.join(folder, "prefix"), os.path.join(folder, "home")
        os.makedirs(home)
        environment = dict(os.environ, WINEPREFIX=prefix, HOME=home)
        try:
            subprocess.run([TOP + "/cmake/wine-run", "--x86_64", "wineboot", "--init"],
                           env=environment, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=180)
            subprocess.run(["wineserver", "-w"], env=environment, timeout=180)
            return prefix, home
        except subprocess.TimeoutExpired:
            subprocess.run(["wineserver", "-k"], env=environment)
            print("wineboot did not finish in a new prefix: once more")
    raise SystemExit("wineboot made no prefix")


def registry(prefix):
    """Each key's values, as the prefix's files hold them, without the times
    Wine writes whenever it saves, and the date its display driver stamps at
    every start."""
    keys = {}
    for name in ("system.reg", "user.reg", "userdef.reg"):
        key = None
        for line in open(os.path.join(prefix, name), encoding="utf-8", errors="replace"):
            if line.startswith("["):
                key = keys.setdefault((name, line[:line.rindex("]") + 1]), [])
            elif key is not None and line.strip() and not line.startswith(("#time=",
                                                                             '"DriverDateData"')):
                key.append(line)
    return {key: sorted(values) for key, values in keys.items()}


def users(prefix):
    """The users tree but Temp, and what stands at the top of the drive."""
    top = os.path.join(prefix, "drive_c")
    seen = set(os.listdir(top))
    for folder, folders, files in os.walk(os.path.join(top, "users")):
        folders[:] = [f for f in folders if f.lower() != "temp"]
        seen.update(os.path.relpath(os.path.join(folder, f), top) for f in folders + files)
    return seen


def tests_of(kit, prefix, home, machine, everything):
    """How many tests check.cmd runs of that build: its test programs' own
    lists, the moving ones only with /all."""
    count = 0
    for program, filter in (("unit_tests", "*"), ("program_tests", "-" + ":".join(MOVING)),
                            ("program_tests", ":".join(MOVING) if everything else "-*")):
        listed = wine(prefix, home, [os.path.join(kit, machine, program + ".exe"),
                                     "--gtest_list_tests", "--gtest_filter=" + filter]).stdout
        count += sum(1 for line in listed.splitlines() if line.startswith("  "))
    return count


def remove(*names):
    return lambda kit, drive: [os.remove(os.path.join(kit, n)) for n in names]


def copy(source, target):
    return lambda kit, drive: shutil.copy(os.path.join(kit, source), os.path.join(kit, target))


def damage_keyword_table(kit, drive):
    for machine in ("win32", "win64"):
        program = os.path.join(kit, machine, "korvane.exe")
        if os.path.exists(program):
            data = open(program, "rb").read()
            open(program, "wb").write(data.replace(b"PERSONAL\0", b"PERSONAX\0", 1))


def own_folder(kit, drive):
    """A file of the user's, in a folder inside one that /all's moving tests
    make: it must outlive the run."""
    os.makedirs(os.path.join(drive, "OneDrive - Fabrikam", "Mine"), exist_ok=True)
    open(os.path.join(drive, "OneDrive - Fabrikam", "Mine", "own.txt"), "w").write("mine")


def build_number(number):
    """Windows' build number in the prefix, for a row; put back after it."""
    def change(kit, drive):
        prefix = os.path.dirname(drive)
        home = os.path.join(os.path.dirname(prefix), "home")
        key = r"HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion"
        was = re.search(r"CurrentBuildNumber\s+REG_SZ\s+(\S+)", wine(
            prefix, home, ["reg", "query", key, "/v", "CurrentBuildNumber"]).stdout)
        wine(prefix, home, ["reg", "add", key, "/v", "CurrentBuildNumber", "/d", number, "/f"])
        return lambda: wine(prefix, home, ["reg", "add", key, "/v", "CurrentBuildNumber", "/d",
                                           was.group(1), "/f"])
    return change


def prefix_processes(prefix):
    """The pids of the processes that run in the prefix: Wine hands its
    WINEPREFIX to each."""
    mark = ("WINEPREFIX=" + prefix).encode()
    pids = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            if mark in open("/proc/%s/environ" % pid, "rb").read().split(b"\0"):
                pids.append(int(pid))
        except OSError:
            pass
    return pids


def interrupt(prefix, home, kit, drive):
    """check.cmd /all ended as a cancelled job ends it, once its copies are
    kept, and the moves a test makes then: Documents to a share, a second
    OneDrive account, its Downloads made. A program that started while the
    server was being killed can outlive it: each left is ended by pid."""
    environment = dict(os.environ, WINEPREFIX=prefix, HOME=home)
    run = subprocess.Popen([TOP + "/cmake/wine-run", "--x86_64", "cmd", "/c", "check.cmd", "/all"],
                           cwd=kit, env=environment, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
    users = os.path.join(drive, "users")
    for _ in range(1200):
        if any(os.path.exists(os.path.join(users, user, temp, "korvane-checks-backup", "ready"))
               for user in os.listdir(users) for temp in ("Temp", "AppData/Local/Temp")):
            break
        time.sleep(0.1)
    subprocess.run(["wineserver", "-k"], env=environment)
    run.wait()
    for _ in range(100):
        if not prefix_processes(prefix):
            break
        time.sleep(0.1)
    for pid in prefix_processes(prefix):
        try:
            os.kill(pid, 9)
        except OSError:
            pass
    for _ in range(100):
        if not prefix_processes(prefix):
            break
        time.sleep(0.1)
    check(not prefix_processes(prefix), "... and no process of the prefix outlives the kill")
    shell = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders"
    wine(prefix, home, ["reg", "add", shell, "/v", "Personal", "/t", "REG_EXPAND_SZ", "/d",
                        r"\\server.invalid\share\Documents", "/f"])
    wine(prefix, home, ["reg", "add", r"HKCU\Software\Microsoft\OneDrive\Accounts\Business2", "/v",
                        "UserFolder", "/d", r"C:\OneDrive - Fabrikam", "/f"])
    os.makedirs(os.path.join(drive, "OneDrive - Fabrikam", "Downloads"), exist_ok=True)


def check_kit(archive, machines):
    """The checks archive unpacked and run, each row in a kit of its own.
    The whole kit runs in two fresh prefixes: every test of every build
    this machine runs passes, and the registry and the users tree are as
    before; /all, unpacked under a Cyrillic folder name, passes, puts back
    what it moved and keeps what it did not make; a damaged keyword table
    fails. Rows that need only the kit's layout share the second prefix,
    with unit_tests.exe standing for program_tests.exe too: each gives its
    status and last line, and, where it runs no fault, the counts of the
    builds it runs."""
    whole = tempfile.mkdtemp()
    zipfile.ZipFile(archive).extractall(whole)
    skip = {} if "win32" in machines else {"KORVANE_CHECKS_SKIP": "win32"}
    not_run = "" if "win32" in machines else "; not run: win32"
    some = r"\d+ passed, [1-9]\d* failed, \d+ skipped(; not run: win32)?"
    rows = [
        # what, the whole kit or the cut one, its folder, what is done to it,
        # the words, the environment, whether it passes, and the last line:
        # a count of the builds run (with or without /all) or a pattern
        ("every test of every build passes", True, "kit", None, [], {}, True, "plain"),
        ("/all under a Cyrillic folder name passes, keeping the user's own", True,
         "Дмитрий", own_folder, ["/all"], {}, True, "all"),
        ("a damaged keyword table fails", True, "kit", damage_keyword_table, [], {}, False,
         some),
        ("a missing win64 build fails", False, "cut", remove("win64/korvane.exe"), [], {},
         False, some),
        ("no build at all fails", False, "cut",
         remove("win32/korvane.exe", "win64/korvane.exe"), [], {}, False, some),
        ("GTEST_REPEAT=2 changes no count", False, "cut", None, [], {"GTEST_REPEAT": "2"}, True,
         "plain"),
        ("a test program that prints nothing and ends with 0 fails", False, "cut",
         copy("win64/korvane.exe", "win64/unit_tests.exe"), [], {}, False, some),
        ("Windows 11 on ARM64 runs both builds", False, "cut", build_number("22631"), [],
         {"PROCESSOR_ARCHITEW6432": "ARM64"}, True, "plain"),
        ("Windows 10 on ARM64 runs win32 alone", False, "cut", build_number("19045"), [],
         {"PROCESSOR_ARCHITEW6432": "ARM64"}, "win32" in machines, "win32 alone"),
        ("an interrupted /all is put back by /restore", False, "cut", "interrupt", ["/restore"],
         {}, True, "put back"),
        ("after an interrupted /all, a plain run changes nothing and runs nothing", False, "cut",
         "interrupted", [], {}, False, r"nothing was run: check\.cmd /restore puts them back.*"),
    ]
    prefix = home = None
    for what, whole_kit, folder, change, words, variables, passes, last_line in rows:
        kit = os.path.join(tempfile.mkdtemp(), folder)
        shutil.copytree(whole, kit)
        if not whole_kit:
            for machine in ("win32", "win64"):
                shutil.copy(os.path.join(kit, machine, "unit_tests.exe"),
                            os.path.join(kit, machine, "program_tests.exe"))
        if whole_kit and change != damage_keyword_table:
            prefix, home = new_prefix()
            # Wine's shell writes a few machine values the first time a
            # folder is asked for; that is before the checks, not theirs.
            for machine in machines:
                wine(prefix, home, [os.path.join(kit, machine, "korvane.exe"), "/known"])
        drive = os.path.join(prefix, "drive_c")
        undo = None
        if change not in (None, "interrupt", "interrupted"):
            undo = change(kit, drive)
        if last_line == "win32 alone":
            last_line = ("%d passed, 0 failed, 0 skipped%s" % (
                tests_of(kit, prefix, home, "win32", False), not_run) if "win32" in machines
                else r"0 passed, 1 failed, 0 skipped; not run: win32")
        if last_line in ("plain", "all"):
            last_line = "%d passed, 0 failed, 0 skipped%s" % (sum(
                tests_of(kit, prefix, home, m, last_line == "all") for m in machines), not_run)
        if change == "interrupted":
            interrupt(prefix, home, kit, drive)
        settle(prefix)
        before = (registry(prefix), users(prefix))
        if change == "interrupt":
            interrupt(prefix, home, kit, drive)
        done = subprocess.run([TOP + "/cmake/wine-run", "--x86_64", "cmd", "/c", "check.cmd"] +
                              words, cwd=kit, capture_output=True, text=True, errors="replace",
                              env=dict(os.environ, WINEPREFIX=prefix, HOME=home, **skip,
                                       **variables), timeout=1200)
        settle(prefix)
        if callable(undo):
            undo()
            settle(prefix)
        last = (done.stdout.strip().splitlines() or [""])[-1]
        check((done.returncode == 0) == passes and re.fullmatch(last_line, last) is not None,
              "check.cmd %s: %s: status %d, %r, %r" % (" ".join(words), what, done.returncode,
                                                        done.stdout[-3000:], done.stderr[-500:]))
        if "ARM64" in what:
            check(("win64: this Windows cannot run it" in done.stdout) == ("Windows 10" in what),
                  "... and names win64 as not run where this Windows cannot run it")
        if change in (None, own_folder, "interrupt", "interrupted"):
            after = (registry(prefix), users(prefix))
            changed = [k for k in set(before[0]) | set(after[0])
                       if before[0].get(k) != after[0].get(k)]
            check(not changed, "... and leaves the registry as it was: %r" % changed[:5])
            check(before[1] == after[1], "... and the users tree: %r" % (before[1] ^ after[1]))
        if change == own_folder:
            check(os.path.exists(os.path.join(drive, "OneDrive - Fabrikam", "Mine", "own.txt")),
                  "... and the user's own folder and file")
    return prefix, home


def check_block_paths():
    """Windows' cmd expands %VAR% when it reads a whole ( ... ) block, and a
    ")" in the path then ends the block; Wine's cmd does not, so the script
    itself is read: inside a block, each path variable stands in quotes."""
    depth, bare = 0, []
    script = os.path.join(TOP, "res", "checks", "check.cmd")
    for number, line in enumerate(open(script, encoding="utf-8"), 1):
        if re.match(r"\s*rem\b", line, flags=re.I):
            continue
        for piece in re.findall(r'"[^"]*"|\^.|%(?:TEMP|LOGS|BACKUP|KIT|USERPROFILE|APPDATA)%|.',
                                line, flags=re.I):
            depth += {"(": 1, ")": -1}.get(piece, 0) if depth >= 0 else 0
            if depth > 0 and len(piece) > 2 and piece[0] == piece[-1] == "%":
                bare.append("%d: %s" % (number, line.strip()))
    check(not bare, "check.cmd has no path variable outside quotes in a block: %r" % bare)


def mode_words(text, indent):
    """The option and mode words of the usage lines, those at this indent
    that begin with korvane: only what follows each korvane up to a wider
    gap, the description after it left out."""
    words = set()
    for line in text.splitlines():
        if line.startswith(" " * indent + "korvane") and not line[indent:indent + 1].isspace():
            for command in re.findall(r"korvane((?: \S+)*)", line):
                words |= set(re.findall(r'/[a-z?]+|--[a-z]+|\{GUID\}|shell:|csidl:', command))
    return words


def check_links():
    """Every link between the README, the changelog and the pages in docs/
    names a file that is there, and a heading of it, as GitHub makes its
    anchors."""
    pages = ["README.md", "CHANGELOG.md"] + ["docs/" + name for name in os.listdir(
        os.path.join(TOP, "docs")) if name.endswith(".md")]
    anchor = lambda heading: re.sub(r"[^\w\- ]", "", heading.strip().lower()).replace(" ", "-")
    broken = []
    for page in pages:
        text = open(os.path.join(TOP, page), encoding="utf-8").read()
        for target in re.findall(r"\]\(([^)\s]+)\)", text):
            if re.match(r"[a-z]+:", target):
                continue
            path, _, name = target.partition("#")
            file = os.path.normpath(os.path.join(TOP, os.path.dirname(page), path or
                                                 os.path.basename(page)))
            headings = [anchor(h) for h in re.findall(r"^#+ (.*)$", open(
                file, encoding="utf-8").read(), flags=re.M)] if file.endswith(".md") and \
                os.path.exists(file) else []
            if not os.path.exists(file) or (name and name not in headings):
                broken.append("%s: %s" % (page, target))
    check(not broken and len(pages) >= 5, "the links between the pages hold: %r" % broken)


def check_usage_words(exe, prefix, home):
    """The manual's Usage block, README.txt's usage and korvane's help name
    the same modes and options."""
    readme = open(os.path.join(TOP, "docs", "usage.md"), encoding="utf-8").read()
    usage = readme[readme.index("## Usage"):readme.index("### Lookup")]
    text = open(os.path.join(TOP, "res", "README.txt"), encoding="utf-8").read()
    text = text[text.index("Usage\n-----"):text.index("Keywords\n--------")]
    shown = wine(prefix, home, [exe, "/?"]).stdout
    help_words = mode_words(shown, 0)
    check(mode_words(usage, 4) == mode_words(text, 4) == help_words and len(help_words) >= 13,
          "docs/usage.md, README.txt and the help name the same modes: %r, %r, %r" %
          (mode_words(usage, 4), mode_words(text, 4), help_words))


def check_manifests(folder, version):
    sums = dict(reversed(line.split()) for line in open(os.path.join(folder, "SHA256SUMS")))
    url = "https://example.org/korvane/v%s/" % version
    winget = os.path.join(folder, "winget")
    installer = yaml.safe_load(open(os.path.join(winget, "Korvane.Korvane.installer.yaml")))
    found = {i["Architecture"]: (i["InstallerUrl"], i["InstallerSha256"].lower())
             for i in installer["Installers"]}
    scoop = json.load(open(os.path.join(folder, "scoop", "korvane.json")))
    for winget_name, scoop_name, machine in (("x86", "32bit", "x86"), ("x64", "64bit", "x64")):
        name = "korvane-%s-windows-%s.zip" % (version, machine)
        check(found.get(winget_name) == (url + name, sums[name]),
              "winget names %s and its hash" % name)
        entry = scoop["architecture"][scoop_name]
        check((entry["url"], entry["hash"]) == (url + name, sums[name]),
              "Scoop names %s and its hash" % name)
    for part in ("", ".locale.en-US"):
        manifest = yaml.safe_load(open(os.path.join(winget, "Korvane.Korvane%s.yaml" % part)))
        check(manifest["PackageVersion"] == version and manifest["ManifestVersion"] == "1.6.0",
              "winget's%s manifest is version %s" % (part, version))
    check(scoop["version"] == version and scoop["bin"] == "korvane.exe",
          "Scoop's manifest is version " + version)
    package = ElementTree.parse(os.path.join(folder, "choco", "korvane.nuspec")).getroot()
    space = "{http://schemas.microsoft.com/packaging/2015/06/nuspec.xsd}"
    fields = {child.tag.replace(space, ""): child.text for child in package.find(space + "metadata")}
    check(fields.get("id") == "korvane" and fields.get("version") == version and
          all(fields.get(name) for name in ("title", "authors", "projectUrl", "licenseUrl",
                                            "summary", "description", "releaseNotes")) and
          set(fields.get("tags", "").split()) == {"shell-folders", "known-folders", "cli",
                                                  "intune"},
          "Chocolatey's package file is version %s with its fields: %r" % (version, fields))
    script = open(os.path.join(folder, "choco", "tools", "chocolateyInstall.ps1")).read()
    for name, machine in (("url", "x86"), ("url64bit", "x64")):
        archive = "korvane-%s-windows-%s.zip" % (version, machine)
        digest = "checksum64" if machine == "x64" else "checksum"
        check(re.search(r"\b%s\s*= '%s'" % (name, re.escape(url + archive)), script) and
              re.search(r"\b%s\s*= '%s'" % (digest, sums[archive]), script) and
              "Install-ChocolateyZipPackage" in script,
              "Chocolatey's script names %s and its checksum" % archive)


def main():
    x86, x64, version = sys.argv[1:4]
    signer = make_signer()
    plain = {k: v for k, v in os.environ.items() if not k.startswith("KORVANE_")}
    signed = dict(plain, KORVANE_SIGN_PFX=os.path.join(signer, "signer.pfx"),
                  KORVANE_SIGN_PASSWORD_FILE=os.path.join(signer, "password"),
                  KORVANE_RELEASE_URL="https://example.org/korvane/v{version}/")
    runs = [tempfile.mkdtemp(), tempfile.mkdtemp(), tempfile.mkdtemp()]
    for out, environment in zip(runs, (signed, signed, plain)):
        done = subprocess.run([TOP + "/scripts/pack-release", out, x86, x64, version],
                              env=environment, capture_output=True, text=True)
        check(done.returncode == 0, "pack-release packs: %r" % done.stderr)
        time.sleep(2.1)  # a zip keeps times to two seconds: the runs must differ there
    check("unsigned" in done.stdout, "a plain release says that it is unsigned")
    names = ["korvane-%s-windows-%s.zip" % (version, m) for m in ("x86", "x64")]
    kit = "korvane-%s-checks.zip" % version
    check(sorted(os.listdir(runs[2])) == sorted(names + [kit, "SHA256SUMS"]),
          "a plain release holds the two archives, the checks archive and SHA256SUMS alone")
    check(sorted(os.listdir(runs[0])) == sorted(names + [kit, "SHA256SUMS", "choco", "scoop", "winget"]),
          "a signed one the manifests too")
    with zipfile.ZipFile(os.path.join(runs[0], kit)) as archive:
        for member in archive.namelist():
            if member.endswith("_tests.exe"):
                open(os.path.join(signer, "test.exe"), "wb").write(archive.read(member))
                done = subprocess.run(["osslsigncode", "verify", "-ignore-crl", "-CAfile",
                                       os.path.join(signer, "ca.pem"), "-in",
                                       os.path.join(signer, "test.exe")], capture_output=True)
                check(done.returncode == 0, kit + ": %s verifies against the CA" % member)
    with zipfile.ZipFile(os.path.join(runs[2], kit)) as archive:
        check(archive.read("win32/korvane.exe") == open(x86, "rb").read() and
              archive.read("win64/korvane.exe") == open(x64, "rb").read(),
              kit + ": each korvane.exe is its build")
    # Where Wine here runs no 32-bit program, the kit is told to skip that
    # build, as on a machine that cannot run it.
    machines = ["win32", "win64"] if subprocess.run([TOP + "/cmake/wine-run",
                                                     "--i386-runs"]).returncode == 0 else ["win64"]
    check_block_paths()
    check_links()
    prefix, home = check_kit(os.path.join(runs[2], kit), machines)
    check_usage_words(x64, prefix, home)
    for folder, _, files in os.walk(runs[0]):
        for name in files:
            path = os.path.join(folder, name)
            same = open(path, "rb").read() == \
                open(path.replace(runs[0], runs[1]), "rb").read()
            check(same, "two runs give the same bytes: " + name)
    verified = subprocess.run(["sha256sum", "--strict", "-c", "SHA256SUMS"], cwd=runs[0])
    check(verified.returncode == 0, "sha256sum -c SHA256SUMS passes")
    license_text = open(os.path.join(TOP, "LICENSE"), "rb").read()
    changes = open(os.path.join(TOP, "CHANGELOG.md"), "rb").read()
    newest = re.search(rb"^## \[([^]]*)\] - \d{4}-\d\d-\d\d$", changes, flags=re.M)
    check(newest is not None and newest.group(1).decode() == version,
          "the changelog's newest section is version " + version)
    head = subprocess.run(["git", "-C", TOP, "rev-parse", "HEAD"], capture_output=True,
                          text=True).stdout.strip()
    for name, exe in zip(names, (x86, x64)):
        with zipfile.ZipFile(os.path.join(runs[2], name)) as archive:
            check(archive.read("korvane.exe") == open(exe, "rb").read(),
                  name + ": a plain korvane.exe is the build")
        with zipfile.ZipFile(os.path.join(runs[0], name)) as archive:
            check(archive.namelist() == ["korvane.exe", "README.txt", "CHANGELOG.txt",
                                         "LICENSE.txt"],
                  name + " holds korvane.exe, README.txt, CHANGELOG.txt and LICENSE.txt")
            program = archive.read("korvane.exe")
            open(os.path.join(signer, "korvane.exe"), "wb").write(program)
            done = subprocess.run(["osslsigncode", "verify", "-ignore-crl", "-CAfile",
                                   os.path.join(signer, "ca.pem"), "-in",
                                   os.path.join(signer, "korvane.exe")], capture_output=True)
            check(done.returncode == 0, name + ": korvane.exe verifies against the signer's CA")
            for text in ("README.txt", "CHANGELOG.txt", "LICENSE.txt"):
                data = archive.read(text)
                check(data.count(b"\n") == data.count(b"\r\n") > 0, name + ": CR LF in " + text)
            check(archive.read("LICENSE.txt").replace(b"\r\n", b"\n") == license_text,
                  name + ": LICENSE.txt is the license")
            check(archive.read("CHANGELOG.txt").replace(b"\r\n", b"\n") == changes,
                  name + ": CHANGELOG.txt is the changelog")
            readme = archive.read("README.txt").decode("utf-8")
            for part in ("korvane " + version, "korvane /?", "DOWNLOADS", "for /f",
                         "Exit status", hashlib.sha256(program).hexdigest(), "commit " + head):
                check(part in readme, name + ": README.txt has " + part)
    check_manifests(runs[0], version)
    check_verify_release(runs[0], x86, x64)
    check_release_stops("without a changelog section", {"version": "0.0.9"},
                        ["CHANGELOG.md", "0.0.9"])
    wrong = os.path.join(signer, "wrong")
    open(wrong, "w").write("not the password\n")
    said = check_release_stops("with a wrong password", dict(
        signed, KORVANE_SIGN_PASSWORD_FILE=wrong), ["KORVANE_SIGN_PASSWORD_FILE"])
    check("not the password" not in said, "... and never prints the password")
    print("%d checks failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
