#!/usr/bin/env python3
"""Puts the six images of res/korvane.ico side by side in docs/icon.png,
each at its own size and four times enlarged.
Needs icoutils (icotool) and python3-pil."""
import glob
import os
import subprocess
import sys
import tempfile
from PIL import Image, ImageDraw, ImageFont

top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
folder = tempfile.mkdtemp()
subprocess.run(["icotool", "-x", "-o", folder, os.path.join(top, "res/korvane.ico")], check=True)
images = sorted(glob.glob(folder + "/*.png"), key=lambda p: int(os.path.basename(p).split("_")[1]))
font = ImageFont.truetype("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 13)
sheet = Image.new("RGB", (6 * 212, 290), "#e8e8e8")
draw = ImageDraw.Draw(sheet)
for i, path in enumerate(images):
    picture = Image.open(path).convert("RGBA")
    size = picture.width
    x = i * 212 + 10
    sheet.paste(picture, (x, 10), picture)
    big = picture.resize((size * 4, size * 4), Image.NEAREST)
    sheet.paste(big, (x, 70), big)
    depth = path.rsplit("x", 1)[1].split(".")[0]
    draw.text((x, 270), "%d x %d, %s bits" % (size, size, depth), font=font, fill="#202020")
sheet.save(os.path.join(top, "docs/icon.png"))
