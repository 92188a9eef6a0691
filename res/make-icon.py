#!/usr/bin/env python3
"""Draws korvane's icon, a folder with a console prompt on it, and writes
res/korvane.ico: 16, 32 and 48 pixels square, each at 4 and at 8 bits per
pixel.

    python3 res/make-icon.py           writes res/korvane.ico
    python3 res/make-icon.py --check   fails if res/korvane.ico differs

The 16-pixel picture is drawn by hand below; the larger ones are drawn from
the same shapes at their own scale, with one-pixel outlines.
"""
import os
import struct
import sys

# Colours by letter. '.' is transparent.
COLOURS = {
    "k": (0x5A, 0x3C, 0x00),  # outline
    "b": (0xD9, 0x9A, 0x1A),  # back of the folder and its tab
    "f": (0xFF, 0xD0, 0x50),  # front of the folder
    "h": (0xFF, 0xF0, 0xB0),  # light along the front's top edge
    "g": (0x10, 0x7C, 0x10),  # the prompt
}

# The Windows 16-colour palette, and the entry each letter takes in it.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
VGA_INDEX = {"k": 0, "b": 3, "f": 11, "h": 15, "g": 2}

ICON_16 = [
    "................",
    "................",
    ".kkkkk..........",
    "kbbbbbk.........",
    "kbbbbbbkkkkkkkk.",
    "kbbbbbbbbbbbbbk.",
    "kkkkkkkkkkkkkkk.",
    "khhhhhhhhhhhhhk.",
    "kffgffffffffffk.",
    "kfffgfffffffffk.",
    "kffffgffffffffk.",
    "kfffgfffffffffk.",
    "kffgffggggffffk.",
    "kfffffffffffffk.",
    "kkkkkkkkkkkkkkk.",
    "................",
]


def drawn(size):
    """The picture at `size` pixels, from the 16-pixel shapes scaled up."""
    u = size // 16
    grid = [["."] * size for _ in range(size)]

    def fill(x0, y0, x1, y1, letter):
        for y in range(y0, y1):
            for x in range(x0, x1):
                grid[y][x] = letter

    fill(1 * u, 2 * u, 7 * u, 4 * u, "b")             # tab
    fill(0 * u + 1, 4 * u, 15 * u, 6 * u, "b")        # back
    fill(0 * u + 1, 6 * u, 15 * u, 14 * u, "f")       # front
    fill(0 * u + 1, 6 * u + 1, 15 * u, 6 * u + 1 + u // 2, "h")
    h, x0, y0 = 5 * u // 2, 3 * u, 8 * u - u // 2
    for step in range(h + 1):                          # the ">" of the prompt
        for t in range(u):
            grid[y0 + step][x0 + step + t] = "g"
            grid[y0 + 2 * h - step][x0 + step + t] = "g"
    fill(x0 + h + u, y0 + 2 * h - u + 1, x0 + h + 5 * u, y0 + 2 * h + 1, "g")  # the "_"
    # One-pixel outline around the folder and along the front's top edge.
    inside = [[grid[y][x] != "." for x in range(size)] for y in range(size)]
    outline = []
    for y in range(size):
        for x in range(size):
            if not inside[y][x]:
                continue
            edge = any(not (0 <= y + dy < size and 0 <= x + dx < size and inside[y + dy][x + dx])
                       for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
            if edge or y == 6 * u:
                outline.append((x, y))
    for x, y in outline:
        grid[y][x] = "k"
    return ["".join(row) for row in grid]


def image(rows, bits):
    size = len(rows)
    if bits == 4:
        palette = VGA
        index = VGA_INDEX
    else:
        letters = sorted(COLOURS)
        palette = [COLOURS[l] for l in letters] + [(0, 0, 0)] * (256 - len(letters))
        index = {l: i for i, l in enumerate(letters)}
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, bits, 0, 0, 0, 0, 0, 0)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    pixels = b""
    mask = b""
    for row in reversed(rows):
        values = [index.get(c, 0) for c in row]
        if bits == 4:
            line = bytes(values[i] << 4 | values[i + 1] for i in range(0, size, 2))
        else:
            line = bytes(values)
        pixels += line + b"\0" * (-len(line) % 4)
        bitsline = 0
        for c in row:
            bitsline = bitsline << 1 | (c == ".")
        maskline = bitsline.to_bytes(size // 8, "big")
        mask += maskline + b"\0" * (-len(maskline) % 4)
    return header + colours + pixels + mask


def icon():
    pictures = [(16, ICON_16), (32, drawn(32)), (48, drawn(48))]
    images = [(size, bits, image(rows, bits)) for size, rows in pictures for bits in (4, 8)]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bits, body in images:
        data += struct.pack("<BBBBHHII", size, size, 16 if bits == 4 else 0, 0, 1, bits,
                            len(body), offset)
        offset += len(body)
    return data + b"".join(body for _, _, body in images)


def main():
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "korvane.ico")
    data = icon()
    if sys.argv[1:] == ["--check"]:
        same = open(path, "rb").read() == data
        print("res/korvane.ico is " + ("up to date" if same else "stale: run res/make-icon.py"))
        return 0 if same else 1
    open(path, "wb").write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
