#!/usr/bin/env python3
"""Frame time, views and frame-arena use against the depth budget, per backend.

Runs `glasswake-tool bench --json --depth D [--backend B]` for D = 0..5 and
each backend the tool's usage offers (just the default when it offers no
choice), draws docs/performance-depth.png and rewrites the table between the
depth-table markers of docs/performance.md; the rest of that file stays.
"""
import argparse
import json
import os
import re
import subprocess
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

BEGIN = "<!-- depth-table:begin (written by scripts/plot_performance.py) -->"
END = "<!-- depth-table:end -->"
DEPTHS = range(0, 6)


def offered_backends(tool, root):
    """The drawing backends bench takes, as its usage lists them (e.g.
    "--backend exact|fast"), else those of the usual names it accepts; [None]
    when it has no such option. "none" draws nothing: the traversal line
    already shows that."""
    usage = subprocess.run([tool, "bench", "--help"], capture_output=True, text=True).stdout
    if "--backend" not in usage:
        return [None]
    match = re.search(r"--backend\s+\[?([a-z]+(?:\|[a-z]+)+)", usage)
    names = match.group(1).split("|") if match else ["exact", "fast"]
    accepted = []
    for name in names:
        probe = [tool, "bench", "--frames", "1", "--backend", name, "--root", root]
        if name != "none" and subprocess.run(probe, capture_output=True).returncode == 0:
            accepted.append(name)
    return accepted or [None]


def bench(tool, root, frames, depth, backend):
    command = [tool, "bench", "--json", "--frames", str(frames), "--depth", str(depth),
               "--root", root]
    if backend:
        command += ["--backend", backend]
    result = subprocess.run(command, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit(f"{' '.join(command)} failed ({result.returncode}): {result.stderr.strip()}")
    return json.loads(result.stdout)


def table(results):
    rows = ["| backend | depth | fps | frameMs median | frameCpuMs | traversalMs median "
            "| views median / max | fans median | arena peak polygons | overflow frames |",
            "|---|---|---|---|---|---|---|---|---|---|"]
    for backend, runs in results.items():
        for r in runs:
            rows.append(f"| {backend} | {r['depth']} | {r['fps']:.0f} | {r['frameMs']['median']:.2f} "
                        f"| {r['frameCpuMs']:.2f} | {r['traversalMs']['median']:.4f} "
                        f"| {r['views']['median']:.0f} / {r['views']['max']} "
                        f"| {r['polygonsDrawn']['median']:.0f} | {r['arenaPeak']['polygons']} "
                        f"| {r['arenaOverflowFrames']} |")
    return "\n".join(rows)


def plot(results, path, frames, size):
    fig, (times, views, arena) = plt.subplots(1, 3, figsize=(14, 4))
    for backend, runs in results.items():
        depths = [r["depth"] for r in runs]
        line, = times.plot(depths, [r["frameMs"]["median"] for r in runs], "o-",
                           label=f"whole frame, {backend} backend")
        # CPU time of all the process's threads: steadier on a busy machine.
        times.plot(depths, [r["frameCpuMs"] for r in runs], ".:", color=line.get_color(),
                   label=f"CPU per frame, {backend} backend")
    first = next(iter(results.values()))
    times.plot([r["depth"] for r in first], [r["traversalMs"]["median"] for r in first], "s--",
               label="traversal alone (no drawing)")
    times.set_xlabel("depth budget (faces looked through in a row)")
    times.set_ylabel("median ms per frame")
    times.set_yscale("log")
    times.set_title("frame time")
    times.grid(alpha=0.3, which="both")
    times.legend(fontsize=8)
    views.plot([r["depth"] for r in first], [r["views"]["median"] for r in first], "o-",
               label="median")
    views.plot([r["depth"] for r in first], [r["views"]["max"] for r in first], "^:", label="max")
    views.set_yscale("log")
    views.set_xlabel("depth budget (faces looked through in a row)")
    views.set_ylabel("views per frame")
    views.set_title("views")
    views.grid(alpha=0.3, which="both")
    views.legend(fontsize=8)
    for key, marker in (("polygons", "o-"), ("points", "s-"), ("slots", "^-")):
        arena.plot([r["depth"] for r in first], [r["arenaPeak"][key] for r in first], marker,
                   label=key)
    arena.set_yscale("log")
    arena.set_xlabel("depth budget (faces looked through in a row)")
    arena.set_ylabel("peak use in one frame")
    arena.set_title("frame arena, peak use")
    arena.grid(alpha=0.3, which="both")
    arena.legend(fontsize=8)
    fig.suptitle(f"{frames} frames over one orbit at {size}; the demo uses depth 2", fontsize=10)
    fig.tight_layout()
    fig.savefig(path, dpi=80, metadata={"Software": None})


def write_table(doc, text):
    with open(doc, encoding="utf-8") as f:
        content = f.read()
    block = f"{BEGIN}\n{text}\n{END}"
    if BEGIN in content and END in content:
        head, rest = content.split(BEGIN, 1)
        content = head + block + rest.split(END, 1)[1]
    else:
        content = content.rstrip("\n") + "\n\n" + block + "\n"
    with open(doc, "w", encoding="utf-8") as f:
        f.write(content)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--tool", default="build/tools/glasswake-tool")
    parser.add_argument("--root", default=".")
    parser.add_argument("--frames", type=int, default=240)
    parser.add_argument("--plot", default="docs/performance-depth.png")
    parser.add_argument("--doc", default="docs/performance.md")
    args = parser.parse_args()
    results = {}
    for backend in offered_backends(args.tool, args.root):
        name = backend or "exact"
        results[name] = [bench(args.tool, args.root, args.frames, d, backend) for d in DEPTHS]
        print(f"{name}: " + ", ".join(f"depth {r['depth']} {r['frameMs']['median']:.2f} ms"
                                      for r in results[name]))
    first = next(iter(results.values()))[0]
    plot(results, args.plot, args.frames, f"{first['width']}x{first['height']}")
    write_table(args.doc, table(results))
    print(f"wrote {args.plot} and the table in {args.doc}")


if __name__ == "__main__":
    os.environ.setdefault("MPLBACKEND", "Agg")
    main()
