#!/usr/bin/env python3
"""Runs korvane in a real terminal (a tmux pane) and reads the screen with
its colours, as a person would see it.

    terminal_test.py GREY PROGRAM [ARG...]

GREY is the SGR code the terminal shows for colour 7 (Wine maps it to the
default, 39; the host build writes 37). Every wait is bounded, so a hung
program fails the test.
"""
import os
import re
import subprocess
import sys
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


def start(name, shell_command):
    global session
    session = name
    tmux("new-session", "-d", "-s", name, "-x", "220", "-y", "60", shell_command)


def check(condition, what):
    if not condition:
        failures.append(what)
    print(("ok   " if condition else "FAIL ") + what)


def sgr(code):
    return "\x1b[" + code + "m"


def plain(program, args):
    return subprocess.run(program + args, stdin=subprocess.DEVNULL, capture_output=True,
                          check=True).stdout.decode("latin-1")


def main():
    grey, program = sys.argv[1], sys.argv[2:]
    quoted = " ".join("'%s'" % word for word in program)
    appdata = plain(program, ["appdata"])
    rows = [line.split(" => ", 1) for line in plain(program, []).split("\r\n")[3:-1]]

    start("lookup", "printf 'BEFORE-%%s\\n' TEXT; %s appdata; printf AFTER-MARK; sleep 60" % quoted)
    text = wait_for("AFTER-MARK")
    check("BEFORE-TEXT" not in text, "lookup mode clears what the terminal showed before")
    line = next((l for l in text.splitlines() if "AFTER-MARK" in l), "")
    check(re.search(re.escape(sgr(LIGHT_GREEN) + appdata) + r"(\x1b\[[0-9;]*m)*AFTER-MARK",
                    line) is not None,
          "lookup mode: the path alone, light green, and the terminal's next text on its line")

    start("listing", "printf 'BEFORE-%%s\\n' TEXT; %s; printf EXITED-MARK; sleep 60" % quoted)
    text = wait_for("TEMP" + sgr(BROWN) + " => ")
    time.sleep(0.5)
    text = screen()
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
    check(True, "the program ends once Enter is pressed")

    print("%d checks failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    finally:
        subprocess.run(["tmux", "-L", SOCKET, "kill-server"], capture_output=True)
