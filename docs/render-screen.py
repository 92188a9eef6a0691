#!/usr/bin/env python3
"""Renders a tmux capture (text with SGR colour escapes) to a PNG, in the
sixteen colours of the Windows console."""
import re
import sys
from PIL import Image, ImageDraw, ImageFont

PALETTE = {30: "#0c0c0c", 31: "#c50f1f", 32: "#13a10e", 33: "#c19c00", 34: "#0037da",
           35: "#881798", 36: "#3a96dd", 37: "#cccccc", 39: "#cccccc",
           90: "#767676", 91: "#e74856", 92: "#16c60c", 93: "#f9f1a5", 94: "#3b78ff",
           95: "#b4009e", 96: "#61d6d6", 97: "#f2f2f2"}
FONT = ImageFont.truetype("/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf", 15)
CELL_W, CELL_H = 9, 19

lines = open(sys.argv[1], encoding="latin-1").read().rstrip("\n").split("\n")
while lines and not re.sub(r"\x1b\[[0-9;]*m", "", lines[-1]).strip():
    lines.pop()
columns = max(len(re.sub(r"\x1b\[[0-9;]*m", "", line)) for line in lines)
image = Image.new("RGB", (columns * CELL_W + 24, len(lines) * CELL_H + 24), "#0c0c0c")
draw = ImageDraw.Draw(image)
for row, line in enumerate(lines):
    colour, column = PALETTE[39], 0
    for piece in re.split(r"(\x1b\[[0-9;]*m)", line):
        if piece.startswith("\x1b["):
            for code in (int(c) for c in piece[2:-1].split(";") if c):
                colour = PALETTE.get(code, colour) if code != 0 else PALETTE[39]
            continue
        for char in piece:
            draw.text((12 + column * CELL_W, 12 + row * CELL_H), char, font=FONT, fill=colour)
            column += 1
image.save(sys.argv[2])
