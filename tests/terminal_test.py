#!/usr/bin/env python3
"""Runs korvane in a real terminal (a tmux pane) and reads the screen with
its colours, as a person would see it.

    terminal_test.py [--events HELPER] GREY PROGRAM [ARG...]
    terminal_test.py --code-page CODEC EMULATOR... PROGRAM

GREY is the SGR code the terminal shows for colour 7 (Wine maps it to the
default, 39; the host build writes 37). Every wait is bounded, so a hung
program fails the test.

The listing's wait is ended by Enter and by Ctrl-C, and the console keeps
the user's colours either way: under Wine through HELPER
(console_event_win32.cpp), a program in the same console that sets them and
sends the event, since a Ctrl-C typed into the pane ends Wine as well; on
the host by a Ctrl-C typed into the pane.

With --code-page, in a Wine prefix of a locale of its own whose console code
page is CODEC, the temporary directory is moved to a folder named in three
scripts: on screen the path shows exactly, and redirected in the console it
comes in that code page, with "?" for what it lacks.
"""
import json
import os
import re
import subprocess
import sys
import tempfile
import time

SOCKET = "korvane-test-%d" % os.getpid()
LIGHT_GREEN, GREEN, BROWN, LIGHT_CYAN = "92", "32", "33", "96"
failures = []


def tmux(*args):
    done = subprocess.run(["tmux", "-L", SOCKET] + list(args), capture_output=True, text=True)
    if done.returncode != 0:
        raise SystemExit("tmux %s failed: %s" % (args[0], done.stderr))
    return done.stdout


session = None


def screen():
    return tmux("capture-pane", "-t", session, "-p", "-e", "-N")


def wait_for(marker, seconds=60):
    deadline = time.time() + seconds
    while time.time() < deadline:
        text = screen()
        if marker in text:
            return text
        time.sleep(0.2)
    raise SystemExit("gave up waiting for %r; the screen:\n%s" % (marker, screen()))


def wait_until(condition, seconds=30):
    """The screen once the condition holds, or when the wait ends."""
    deadline = time.time() + seconds
    while not condition() and time.time() < deadline:
        time.sleep(0.2)
    return screen()


def start(name, shell_command, rows=60):
    global session
    session = name
    tmux("new-session", "-d", "-s", name, "-x", "220", "-y", str(rows), shell_command)


def check(condition, what):
    if not condition:
        failures.append(what)
    print(("ok   " if condition else "FAIL ") + what)


def sgr(code):
    return "\x1b[" + code + "m"


def without_colours(text):
    return re.sub(r"\x1b\[[0-9;]*m", "", text)


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def plain(program, args):
    return subprocess.run(program + args, stdin=subprocess.DEVNULL, capture_output=True,
                          check=True).stdout.decode("latin-1")


def then_mark(program, argument):
    """The program with one argument, then AFTER-MARK. A Windows program runs
    in cmd, as from a batch file: what comes after it must not take its
    colours."""
    if len(program) == 1:
        return "'%s' %s; printf AFTER-MARK" % (program[0], argument)
    return "%s cmd /c '%s %s & echo AFTER-MARK'" % (" ".join(program[:-1]),
                                                    windows_path(program[-1]), argument)


def check_non_ascii_paths(program, codec):
    emulator, exe = program[:-1], program[-1]
    quoted = " ".join("'%s'" % word for word in program)
    folder = "C:\\korvane-Временные Müller 文件"
    path = folder + "\\"
    saved = os.path.join(tempfile.mkdtemp(), "environment.reg")
    out = os.path.join(os.path.dirname(saved), "out.txt")
    reg = lambda *args: subprocess.run(emulator + ["reg"] + list(args), capture_output=True)
    reg("export", "HKCU\\Environment", windows_path(saved))
    try:
        for name in ("TMP", "TEMP"):
            reg("add", "HKCU\\Environment", "/v", name, "/d", folder, "/f")
        start("paths", "%s temp; printf MID-MARK; %s temp > '%s'; printf END-MARK; sleep 60"
              % (quoted, quoted, out))
        text = without_colours(wait_for("END-MARK"))
        check(path + "MID-MARK" in text, "on screen: " + path)
        written = open(out, "rb").read()
        check(written == path.encode(codec, "replace"),
              "redirected in the console: %r in %s, ? for what it lacks" % (written, codec))
        start("listing-paths", "%s; printf EXITED-MARK; sleep 60" % quoted)
        wait_for("TEMP" + sgr(BROWN) + " => ")
        text = without_colours(wait_until(lambda: "TEMP => " + path in without_colours(screen())))
        check("TEMP => " + path in text, "the listing's TEMP row on screen: " + path)
        tmux("send-keys", "-t", session, "Enter")
        wait_for("EXITED-MARK", 30)
    finally:
        reg("import", windows_path(saved))


def check_console_events(helper, program, lines):
    """Yellow on blue (1E) before; after Enter or Ctrl-C at the listing's
    wait, the same, and the status that Wine's default handling of Ctrl-C
    gives (0; STATUS_CONTROL_C_EXIT on Windows)."""
    emulator, exe = program[:-1], program[-1]
    for event in ("enter", "ctrl-c"):
        start("event-" + event, "%s '%s' 1E %s %d '%s'; sleep 60" % (
            " ".join(emulator), windows_path(helper), event, lines, windows_path(exe)))
        # The helper's last line, once drawn whole.
        text = without_colours(wait_until(
            lambda: re.search(r"status \d+ (ended|still waiting)", screen()), 90))
        check("attribute 0x1E status 0 ended" in text,
              "after %s the console is yellow on blue again, status 0: %r"
              % (event, text.strip().splitlines()[-1]))


def check_interrupt(quoted, last_row):
    """Ctrl-C at the listing's wait: the shell's next text in the
    terminal's own colour."""
    start("interrupt", "trap 'printf INT-MARK; sleep 60' INT; %s; sleep 60" % quoted)
    wait_until(lambda: last_row in screen())
    tmux("send-keys", "-t", session, "C-c")
    line = next((l for l in wait_for("INT-MARK").splitlines() if "INT-MARK" in l), "")
    escapes = re.findall(r"\x1b\[([0-9;]*)m", line.split("INT-MARK")[0])
    check(escapes[-1:] in (["0"], ["39"], [""]),
          "after Ctrl-C the text is in the terminal's own colour: %r" % escapes)


def main():
    helper = None
    if sys.argv[1] == "--events":
        helper = sys.argv[2]
        del sys.argv[1:3]
    if sys.argv[1] == "--code-page":
        check_non_ascii_paths(sys.argv[3:], sys.argv[2])
        print("%d checks failed" % len(failures))
        return 1 if failures else 0
    grey, program = sys.argv[1], sys.argv[2:]
    quoted = " ".join("'%s'" % word for word in program)
    appdata = plain(program, ["appdata"])
    rows = [line.split(" => ", 1) for line in plain(program, []).split("\r\n")[3:-1]]

    start("lookup", "printf 'BEFORE-%%s\\n' TEXT; %s; sleep 60" % then_mark(program, "appdata"))
    text = wait_for("AFTER-MARK")
    check("BEFORE-TEXT" not in text, "lookup mode clears what the terminal showed before")
    line = next((l for l in text.splitlines() if "AFTER-MARK" in l), "")
    found = re.search(re.escape(sgr(LIGHT_GREEN) + appdata) + r"((\x1b\[[0-9;]*m)*)AFTER-MARK", line)
    check(found is not None,
          "lookup mode: the path alone, light green, and the terminal's next text on its line")
    escapes = re.findall(r"\x1b\[([0-9;]*)m", found.group(1) if found else "")
    check(bool(escapes) and escapes[-1] in ("0", "39", ""),
          "the text after a lookup is in the terminal's own colour: %r" % escapes)

    # Every folder and every known folder: a name in the listing's keyword
    # colour, its path in the path colour, and the terminal's own colour after.
    for mode in ("/all", "/known"):
        every = [line.split("=", 1) for line in plain(program, [mode]).split("\r\n")[:-1]]
        start(mode[1:], then_mark(program, mode) + "; sleep 60", rows=len(every) + 4)
        wait_for("AFTER-MARK")
        expected = [sgr(GREEN) + name + sgr(BROWN) + "=" + (sgr(grey) + path if path else "")
                    for name, path in every]
        # Wine's console draws the terminal's lines in its own time: wait until
        # they are all as expected, or for the bounded wait to end.
        drawn = lambda lines: all(l.startswith(e) for e, l in zip(expected, lines))
        lines = wait_until(lambda: drawn(screen().splitlines())).splitlines()
        for (name, _), want, line in zip(every, expected, lines):
            check(line.startswith(want), "%s line %s in green, brown and grey" % (mode, name))
        escapes = re.findall(r"\x1b\[([0-9;]*)m", lines[len(every)].split("AFTER-MARK")[0])
        # Where nothing was written (no known folders on the host), nothing shows.
        check(escapes[-1:] in (["0"], ["39"], [""]) or not every and not escapes,
              "the text after %s is in the terminal's own colour: %r" % (mode, escapes))
        if mode == "/all":
            check(len(every) == 67, "67 lines from /all")
        else:
            decoded = json.loads(plain(program, ["/known", "/json"]))
            check([[f["name"], f["path"] or ""] for f in decoded] == every,
                  "/known /json decodes to the names and paths of /known")

    # Help: the list, then the block of modes and options, in the paths' grey,
    # then the terminal's own colour.
    block = plain(program, ["/?"]).split("\r\n")[len(rows) + 4:-1]
    start("help", then_mark(program, "/?") + "; sleep 60", rows=len(rows) + len(block) + 8)
    text = wait_until(lambda: "AFTER-MARK" in screen() and block[-1] in without_colours(screen()))
    after = text[text.rindex(rows[-1][1]) + len(rows[-1][1]):].split("AFTER-MARK")[0]
    # The blank cells after a line keep the cleared screen's colour.
    after = "\n".join(re.sub(r"(\x1b\[[0-9;]*m| )+$", "", l) for l in after.splitlines())
    escapes = set(re.findall(r"\x1b\[([0-9;]*)m", after))
    check(all(line in without_colours(after) for line in block) and
          escapes <= {grey, "0", "39", ""}, "help's block in grey: %r" % escapes)

    start("listing", "printf 'BEFORE-%%s\\n' TEXT; %s; printf EXITED-MARK; sleep 60" % quoted)
    wait_for("TEMP" + sgr(BROWN) + " => ")
    last_row = sgr(GREEN) + "TEMP" + sgr(BROWN) + " => " + sgr(grey) + rows[-1][1]
    text = wait_until(lambda: last_row in screen())
    lines = text.splitlines()
    check("BEFORE-TEXT" not in text, "listing mode clears what the terminal showed before")
    check(lines[0].startswith(sgr(LIGHT_GREEN) + "korvane.exe " + sgr(GREEN) + "[Parameter]"),
          "usage line in light green and green")
    check(lines[1].startswith(sgr(BROWN) + " "), "one-space line in brown")
    check(lines[2].startswith(sgr(LIGHT_CYAN) + "PARAMETERS LIST:"), "heading in light cyan")
    check(len(rows) == 34, "34 rows in the plain listing")
    for (keyword, path), line in zip(rows, lines[3:]):
        expected = sgr(GREEN) + keyword + sgr(BROWN) + " => " + (sgr(grey) + path if path else "")
        check(line.startswith(expected), "row %s in green, brown and grey" % keyword)
    check("EXITED-MARK" not in text, "the program waits for Enter after the listing")
    tmux("send-keys", "-t", session, "Enter")
    wait_for("EXITED-MARK", 30)

    if helper:
        check_console_events(helper, program, len(rows) + 3)
    else:
        check_interrupt(quoted, last_row)

    print("%d checks failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    finally:
        subprocess.run(["tmux", "-L", SOCKET, "kill-server"], capture_output=True)
