#!/usr/bin/env python3
"""What a clip costs against its parts, side by side, interleaved.

For one or more builds of glasswake-tool (say the one before a change and the
one after), every round runs, one after another:
  - `bench` of each build: drawing alone, the same frames as the clip;
  - ffmpeg alone, encoding those frames from a raw file with the very
    arguments the tool gives it for an MP4;
  - the tool's PNG writer alone (build/bench/glasswake_png_writer_bench) on
    those frames from memory, one thread per core as `render` writes;
  - a PNG sequence and an MP4 by each build, whole, and again a tenth as
    long: the difference over the frames between is what a frame costs
    beyond start-up and the end's check.
Wall and CPU milliseconds per frame (CPU: user + system of the process and
everything it ran, ffmpeg included) are printed as a Markdown table per round
and as medians over the rounds. The raw frames are made once from a PNG
sequence of the first build (lossless, so the same pixels).

  python3 scripts/clip_timing.py --tool build-before/tools/glasswake-tool \\
      --tool build/tools/glasswake-tool --rounds 3
"""
import argparse
import json
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def run(command, **kwargs):
    """Runs `command`; returns (wall s, CPU s of it and its children, stdout)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    done = subprocess.run(command, check=True, stdout=subprocess.PIPE, **kwargs)
    wall = time.monotonic() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu, done.stdout.decode()


def ffmpeg_arguments(tool, size, scratch):
    """The arguments the tool gives ffmpeg for an MP4, caught by a stand-in
    that writes down its first call's (the encoder's; the second reads the
    video back) and runs the real one."""
    record = os.path.join(scratch, "ffmpeg-arguments")
    wrapper = os.path.join(scratch, "ffmpeg-wrapper")
    with open(wrapper, "w") as out:
        out.write('#!/bin/sh\n[ -e %s ] || printf "%%s\\0" "$@" > %s\nexec %s "$@"\n'
                  % (record, record, shutil.which("ffmpeg")))
    os.chmod(wrapper, 0o755)
    run([tool, "render", "--frames", "2", "--size", size, "--ffmpeg", wrapper,
         "-o", os.path.join(scratch, "probe.mp4")])
    with open(record, "rb") as found:
        arguments = found.read().decode().split("\0")[:-1]
    return arguments


def encode_alone_command(arguments, raw, output):
    """The tool's ffmpeg command reading the raw file instead of the pipe and
    writing a file instead of descriptor 3."""
    command = ["ffmpeg"] + arguments
    command[command.index("pipe:0")] = raw
    command[-1] = output
    return command


def make_raw(tool, size, frames, samples, scratch):
    folder = os.path.join(scratch, "raw-source")
    run([tool, "render", "--frames", str(frames), "--size", size, "--output-dir", folder] +
        samples)
    raw = os.path.join(scratch, "frames.bgrx")
    # The readback's layout: BGRX, bottom row first.
    run(["ffmpeg", "-loglevel", "error", "-y", "-i", os.path.join(folder, "frame_%05d.png"),
         "-vf", "vflip", "-pix_fmt", "bgr0", "-f", "rawvideo", raw])
    shutil.rmtree(folder)
    return raw


def sample_options(options):
    """Every build draws with the samples asked for (else each its own default)."""
    return ["--samples", str(options.samples)] if options.samples else []


def clip_command(tool, kind, frames, options, target):
    shutil.rmtree(target, ignore_errors=True)
    if os.path.exists(target + ".mp4"):
        os.remove(target + ".mp4")
    output = ["--output-dir", target] if kind == "png" else ["-o", target + ".mp4"]
    return ([tool, "render", "--frames", str(frames), "--size", options.size] +
            sample_options(options) + output)


def measure_round(options, raw, encode_args, scratch):
    size = options.size
    frames = options.frames
    width, height = size.split("x")
    results = {}
    samples = sample_options(options)
    for index, tool in enumerate(options.tool):
        _, _, out = run([tool, "bench", "--size", size, "--frames", str(frames), "--json"] +
                        samples)
        bench = json.loads(out)
        results[("bench", index)] = (1000.0 / bench["fps"], bench["frameCpuMs"])
    mp4 = os.path.join(scratch, "alone.mp4")
    wall, cpu, _ = run(encode_alone_command(encode_args, raw, mp4))
    results[("encode", 0)] = (wall * 1000 / frames, cpu * 1000 / frames)
    pngs = os.path.join(scratch, "alone")
    shutil.rmtree(pngs, ignore_errors=True)
    os.makedirs(pngs)
    _, _, out = run([options.png_bench, raw, width, height, pngs])
    alone = json.loads(out)
    results[("png-writer", 0)] = (alone["wallMs"], alone["cpuMs"])
    # Each clip whole (start-up and the end's check included), and what each
    # frame beyond a short clip's costs: the whole less the short clip, over
    # the frames between (start-up and the end cancel out).
    short = max(frames // 10, 1)
    target = os.path.join(scratch, "clip")
    for kind in ("png", "mp4"):
        for index, tool in enumerate(options.tool):
            wall, cpu, _ = run(clip_command(tool, kind, frames, options, target))
            results[(kind, index)] = (wall * 1000 / frames, cpu * 1000 / frames)
            short_wall, short_cpu, _ = run(clip_command(tool, kind, short, options, target))
            results[(kind + "-marginal", index)] = ((wall - short_wall) * 1000 / (frames - short),
                                                    (cpu - short_cpu) * 1000 / (frames - short))
    return results


ROWS = [("bench", "drawing alone (`bench`)"), ("encode", "ffmpeg alone, MP4 from raw frames"),
        ("png-writer", "PNG writer alone, from memory"), ("png", "PNG sequence"),
        ("png-marginal", "PNG sequence, a frame beyond the first tenth"), ("mp4", "MP4"),
        ("mp4-marginal", "MP4, a frame beyond the first tenth")]


def label(kind, index, tools):
    name = ROWS[[k for k, _ in ROWS].index(kind)][1]
    shared = kind in ("encode", "png-writer")
    return name if shared or len(tools) == 1 else "%s, build %d" % (name, index + 1)


def table(rows, tools):
    lines = ["| what | wall ms/frame | CPU ms/frame |", "|---|---|---|"]
    for key in sorted(rows, key=lambda k: ([r for r, _ in ROWS].index(k[0]), k[1])):
        values = rows[key]
        if isinstance(values[0], list):
            wall = "%.1f (%.1f … %.1f)" % (statistics.median(values[0]), min(values[0]),
                                          max(values[0]))
            cpu = "%.1f (%.1f … %.1f)" % (statistics.median(values[1]), min(values[1]),
                                         max(values[1]))
        else:
            wall, cpu = "%.1f" % values[0], "%.1f" % values[1]
        lines.append("| %s | %s | %s |" % (label(key[0], key[1], tools), wall, cpu))
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--tool", action="append", help="a glasswake-tool build (repeatable)")
    parser.add_argument("--png-bench", default="build/bench/glasswake_png_writer_bench")
    parser.add_argument("--size", default="1920x1080")
    parser.add_argument("--frames", type=int, default=240)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--samples", type=int, help="samples per pixel for every build")
    options = parser.parse_args()
    options.tool = [os.path.abspath(t) for t in options.tool or ["build/tools/glasswake-tool"]]
    options.png_bench = os.path.abspath(options.png_bench)
    with tempfile.TemporaryDirectory(prefix="clip-timing-", dir="/dev/shm") as scratch:
        encode_args = ffmpeg_arguments(options.tool[0], options.size, scratch)
        # The encoders alone take the frames the clips encode: drawn with the
        # same samples (aliased frames cost ffmpeg more).
        raw = make_raw(options.tool[0], options.size, options.frames, sample_options(options),
                       scratch)
        gathered = {}
        for round_number in range(1, options.rounds + 1):
            load = os.getloadavg()[0]
            results = measure_round(options, raw, encode_args, scratch)
            print("Round %d (load average %.1f at its start):\n" % (round_number, load))
            print(table(results, options.tool) + "\n", flush=True)
            for key, (wall, cpu) in results.items():
                gathered.setdefault(key, ([], []))
                gathered[key][0].append(wall)
                gathered[key][1].append(cpu)
        print("Medians of %d rounds (range):\n" % options.rounds)
        print(table(gathered, options.tool))
    for index, tool in enumerate(options.tool):
        print("build %d: %s" % (index + 1, tool), file=sys.stderr)


if __name__ == "__main__":
    main()
