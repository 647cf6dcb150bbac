#!/usr/bin/env python3
"""The same frame drawn as cut and mended, zoomed in on the worst crack pixel.

usage: crack_pictures.py TOOL TIME_MS OUTPUT.png
Draws the moment twice with the exact backend (--unmended, then as the demo
does), finds the pixel where the two differ most, and writes both pictures
around it side by side, each pixel a square of ZOOM pixels.
"""
import os
import subprocess
import sys
import tempfile

from PIL import Image, ImageDraw

ZOOM = 12
SIDE = 21  # pixels of the frame shown across


def render(tool, time_ms, output, *extra):
    subprocess.run([tool, "render", "--backend", "exact", "--time-ms", str(time_ms),
                    "--size", "1280x720", "--output", output, *extra], check=True,
                   stdout=subprocess.DEVNULL)
    return Image.open(output).convert("RGB")


def main():
    tool, time_ms, output = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    with tempfile.TemporaryDirectory() as scratch:
        cut = render(tool, time_ms, os.path.join(scratch, "cut.png"), "--unmended")
        mended = render(tool, time_ms, os.path.join(scratch, "mended.png"))
    width, height = cut.size
    a, b = cut.load(), mended.load()
    worst, where = -1, (width // 2, height // 2)
    for y in range(height):
        for x in range(width):
            d = max(abs(p - q) for p, q in zip(a[x, y], b[x, y]))
            if d > worst:
                worst, where = d, (x, y)
    half = SIDE // 2
    left = min(max(where[0] - half, 0), width - SIDE)
    top = min(max(where[1] - half, 0), height - SIDE)
    box = (left, top, left + SIDE, top + SIDE)
    gap, label = 8, 22
    sheet = Image.new("RGB", (2 * SIDE * ZOOM + gap, SIDE * ZOOM + label), "white")
    draw = ImageDraw.Draw(sheet)
    for i, (picture, title) in enumerate([(cut, "as cut"), (mended, "mended")]):
        zoomed = picture.crop(box).resize((SIDE * ZOOM, SIDE * ZOOM), Image.NEAREST)
        x = i * (SIDE * ZOOM + gap)
        sheet.paste(zoomed, (x, label))
        draw.text((x + 4, 4), title, fill="black")
    sheet.save(output)


if __name__ == "__main__":
    main()
