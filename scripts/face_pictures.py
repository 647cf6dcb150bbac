#!/usr/bin/env python3
"""One face of the frame and the two views seen through it, close up.

Picks the refracted view one face deep whose own children cover the most
(so the picture shows the recursion going on) and its mirrored twin, which
is recorded just before it and shares its window. Draws the whole frame with
the view overlay, then each child alone (`--only-view`), all large, and crops
the same box around the face from the three: face-frame.png,
face-mirrored.png, face-refracted.png in DIR (default docs).
Usage: face_pictures.py TOOL TIME_MS [DIR]
"""
import os
import subprocess
import sys
import tempfile

from PIL import Image

SIZE = (1280, 960)
HEIGHT = 240  # of the written pictures


def render(tool, time_ms, *arguments):
    command = [tool, "render", "--backend", "exact", "--time-ms", time_ms,
               "--size", f"{SIZE[0]}x{SIZE[1]}", *arguments]
    result = subprocess.run(command, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit(f"{' '.join(command)} failed: {result.stderr.strip()}")
    return result.stdout


def pick_views(listing):
    rows = [line.split("\t") for line in listing.splitlines()[1:]]
    views = [(int(r[0]), r[1], int(r[2]), int(r[3]), abs(float(r[5]))) for r in rows]
    covered = {}
    for _, _, _, parent, area in views:
        covered[parent] = covered.get(parent, 0.0) + area
    refracted = max((v for v in views if v[1] == "refracted" and v[2] == 1),
                    key=lambda v: (covered.get(v[0], 0.0), -v[0]))[0]
    mirrored = max(v[0] for v in views if v[1] == "mirrored" and v[2] == 1 and v[0] < refracted)
    return mirrored, refracted


def main():
    tool, time_ms = sys.argv[1], sys.argv[2]
    folder = sys.argv[3] if len(sys.argv) > 3 else "docs"
    with tempfile.TemporaryDirectory() as scratch:
        listing = render(tool, time_ms, "--list-views")
        mirrored, refracted = pick_views(listing)
        paths = {}
        for name, extra in (("frame", []), ("mirrored", ["--only-view", str(mirrored)]),
                            ("refracted", ["--only-view", str(refracted)])):
            paths[name] = os.path.join(scratch, name + ".png")
            render(tool, time_ms, "--overlay", "views", *extra, "--output", paths[name])
        pictures = {name: Image.open(path).convert("RGB") for name, path in paths.items()}
        # The lit part of the two children, above the legend's border.
        legend_top = int(SIZE[1] * (1 - 0.1 / 2.2)) - 2
        box = None
        for name in ("mirrored", "refracted"):
            lit = pictures[name].crop((0, 0, SIZE[0], legend_top)).getbbox()
            if lit:
                box = lit if box is None else (min(box[0], lit[0]), min(box[1], lit[1]),
                                               max(box[2], lit[2]), max(box[3], lit[3]))
        if box is None:
            sys.exit("the chosen views draw nothing")
        # Pad to a 4:3 box around it.
        cx, cy = (box[0] + box[2]) / 2, (box[1] + box[3]) / 2
        h = max(box[3] - box[1], (box[2] - box[0]) * 3 / 4) * 1.3
        w = h * 4 / 3
        crop = tuple(int(round(v)) for v in (cx - w / 2, cy - h / 2, cx + w / 2, cy + h / 2))
        for name, picture in pictures.items():
            picture.crop(crop).resize((HEIGHT * 4 // 3, HEIGHT), Image.LANCZOS).save(
                os.path.join(folder, f"face-{name}.png"), optimize=True)
    print(f"face views {mirrored} (mirrored) and {refracted} (refracted)")


if __name__ == "__main__":
    main()
