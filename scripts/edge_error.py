#!/usr/bin/env python3
"""How close smoothed edges come to the true mix of their two sides.

usage: edge_error.py TOOL [--sizes 640x480,1920x1080] [--moments 16]
                          [--samples 1,2,4,8] [--picture OUT.png] [--json]

The reference is the same moment drawn at 4 times the width and height with
one sample per pixel and box-filtered down (16 samples a pixel, an ordered
grid). The scene is the shipped meshes under a sky of one colour (an env.bmp
of one colour), so that the picture's mipmap levels, which differ at 4 times
the size, do not count as edge error. The error of a frame is the mean
absolute channel difference from the reference over the pixels where the
one-sample frame differs from it by more than 2 in some channel (its edge
pixels), leaving out a band of 2 pixels along the black border, whose four
long straight edges would outweigh every crystal edge. Frames are drawn with
the fast backend at `--moments` moments spread over one orbit; a sample count
the context does not offer is reported as such.

--picture writes one moment's worst edge, one sample against four, zoomed.
"""
import argparse
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile

import numpy as np
from PIL import Image, ImageDraw

ORBIT_MS = 8000
BORDER_BAND = 2
SKY = (96, 160, 224)  # blue, green, red as a BMP stores them


def write_sky(path, side=64):
    """A 24-bit BMP of one colour."""
    row = bytes(SKY) * side
    pixels = row * side
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, side, side, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as out:
        out.write(header + info + pixels)


def make_root(source, scratch):
    """The shipped meshes and a one-colour sky, in scratch/data."""
    data = os.path.join(scratch, "data")
    os.makedirs(data)
    for name in os.listdir(os.path.join(source, "data")):
        if name.endswith(".lwo"):
            shutil.copy(os.path.join(source, "data", name), data)
    write_sky(os.path.join(data, "env.bmp"))
    return scratch


def render(tool, root, size, samples, moments, folder):
    """The orbit's moments as PNG files; None when the samples are refused."""
    fps = moments * 1000 / ORBIT_MS
    result = subprocess.run([tool, "render", "--backend", "fast", "--samples", str(samples),
                             "--frames", str(moments), "--fps", repr(fps), "--size", size,
                             "--root", root, "--output-dir", folder],
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        return result.stderr.strip().split("\n")[0]
    return None


def load(folder, k):
    path = os.path.join(folder, "frame_%05d.png" % k)
    return np.asarray(Image.open(path).convert("RGB"))


def box_down(picture, factor):
    """Each factor x factor block's mean (summed in 32 bits, never copied as floats)."""
    h, w, c = picture.shape
    blocks = picture.reshape(h // factor, factor, w // factor, factor, c)
    return blocks.sum(axis=(1, 3), dtype=np.uint32) / float(factor * factor)


def border_band(width, height):
    """Pixels within BORDER_BAND of the root window's edges (it spans 1/1.1 of
    the frame, centred)."""
    ys, xs = np.mgrid[0:height, 0:width]
    cx, cy = xs + 0.5, ys + 0.5
    band = np.zeros((height, width), dtype=bool)
    for lines, centres in (((width / 2 * (1 - 1 / 1.1), width / 2 * (1 + 1 / 1.1)), cx),
                           ((height / 2 * (1 - 1 / 1.1), height / 2 * (1 + 1 / 1.1)), cy)):
        for line in lines:
            band |= np.abs(centres - line) < BORDER_BAND
    return band


def measure(tool, root, size, counts, moments, scratch):
    width, height = (int(v) for v in size.split("x"))
    big = os.path.join(scratch, "reference")
    refused = render(tool, root, "%dx%d" % (4 * width, 4 * height), 1, moments, big)
    if refused:
        sys.exit("edge_error.py: the reference was refused: " + refused)
    folders, errors = {}, {}
    for samples in counts:
        folders[samples] = os.path.join(scratch, "samples-%d" % samples)
        why = render(tool, root, size, samples, moments, folders[samples])
        if why:
            errors[samples] = why
    band = border_band(width, height)
    sums = {s: 0.0 for s in counts if s not in errors}
    pixels = 0
    for k in range(moments):
        reference = box_down(load(big, k), 4)
        one = load(folders[1], k).astype(np.float64)
        edge = (np.abs(one - reference).max(axis=2) > 2) & ~band
        pixels += int(edge.sum())
        for samples in sums:
            frame = one if samples == 1 else load(folders[samples], k)
            sums[samples] += float(np.abs(frame - reference)[edge].sum())
        os.remove(os.path.join(big, "frame_%05d.png" % k))
    shutil.rmtree(big)
    result = {"size": size, "moments": moments, "edgePixels": pixels, "samples": {}}
    base = sums[1] / (3 * pixels) if pixels else 0.0
    for samples in counts:
        if samples in errors:
            result["samples"][str(samples)] = {"refused": errors[samples]}
        else:
            error = sums[samples] / (3 * pixels) if pixels else 0.0
            result["samples"][str(samples)] = {"error": round(error, 3),
                                               "ofOneSample": round(error / base, 3) if base else 0}
    return result


def picture(tool, source, output, time_ms=2500, zoom=10, side=32):
    """One sample against four around the worst edge of the demo's frame."""
    with tempfile.TemporaryDirectory() as scratch:
        frames = []
        for samples in (1, 4):
            path = os.path.join(scratch, "%d.png" % samples)
            subprocess.run([tool, "render", "--samples", str(samples), "--time-ms", str(time_ms),
                            "--size", "640x480", "--root", source, "--output", path],
                           check=True, stdout=subprocess.DEVNULL)
            frames.append(Image.open(path).convert("RGB"))
    one, four = (np.asarray(f, dtype=np.int32) for f in frames)
    # Where the samples change most, a window of side x side around it.
    change = np.abs(one - four).max(axis=2)
    band = border_band(one.shape[1], one.shape[0])
    change[band] = 0
    kernel = np.ones(side // 2)
    rows = np.apply_along_axis(lambda r: np.convolve(r, kernel, "same"), 1, change)
    dense = np.apply_along_axis(lambda c: np.convolve(c, kernel, "same"), 0, rows)
    y, x = np.unravel_index(int(np.argmax(dense)), dense.shape)
    left = min(max(x - side // 2, 0), one.shape[1] - side)
    top = min(max(y - side // 2, 0), one.shape[0] - side)
    box = (int(left), int(top), int(left) + side, int(top) + side)
    gap, label = 8, 22
    sheet = Image.new("RGB", (2 * side * zoom + gap, side * zoom + label), "white")
    draw = ImageDraw.Draw(sheet)
    for i, (frame, title) in enumerate([(frames[0], "1 sample per pixel"),
                                        (frames[1], "4 samples per pixel")]):
        zoomed = frame.crop(box).resize((side * zoom, side * zoom), Image.NEAREST)
        sheet.paste(zoomed, (i * (side * zoom + gap), label))
        draw.text((i * (side * zoom + gap) + 4, 4), title, fill="black")
    sheet.save(output)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("tool")
    parser.add_argument("--root", default=".", help="the folder holding the shipped data/")
    parser.add_argument("--sizes", default="640x480,1920x1080")
    parser.add_argument("--moments", type=int, default=16)
    parser.add_argument("--samples", default="1,2,4,8")
    parser.add_argument("--picture", help="write the zoomed comparison here, and measure nothing")
    parser.add_argument("--json", action="store_true")
    args = parser.parse_args()
    tool = os.path.abspath(args.tool)
    source = os.path.abspath(args.root)
    if args.picture:
        picture(tool, source, args.picture)
        return
    counts = sorted({1} | {int(s) for s in args.samples.split(",")})
    results = []
    with tempfile.TemporaryDirectory() as scratch:
        root = make_root(source, os.path.join(scratch, "root"))
        for size in args.sizes.split(","):
            work = os.path.join(scratch, size)
            os.makedirs(work)
            results.append(measure(tool, root, size, counts, args.moments, work))
            shutil.rmtree(work)
    if args.json:
        print(json.dumps(results, indent=2))
        return
    print("| size | edge pixels | " + " | ".join("%d sample%s" % (s, "s" * (s > 1))
                                              for s in counts) + " |")
    print("|---|---|" + "---|" * len(counts))
    for result in results:
        cells = []
        for s in counts:
            entry = result["samples"][str(s)]
            cells.append("not offered" if "refused" in entry else
                         "%.2f (%.0f %%)" % (entry["error"], 100 * entry["ofOneSample"]))
        print("| %s | %d | %s |" % (result["size"], result["edgePixels"], " | ".join(cells)))


if __name__ == "__main__":
    main()
