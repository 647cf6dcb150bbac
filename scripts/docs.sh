#!/usr/bin/env bash
# Regenerates every picture and plot in docs/ from the current build, so they
# never go stale: the frames of how-it-works.md and the README, the clipper
# diagram, the depth plot and table of performance.md, and the menu icons.
#   scripts/docs.sh          build if needed, then write docs/*.png, docs/*.svg and
#                            app/sdl/icons/*.png
# With CI=true everything is written to a scratch folder and checked there, so
# a CI run leaves the checkout as it found it; the depth plot is then measured
# over fewer frames (CI only checks that everything still runs).
set -euo pipefail
cd "$(dirname "$0")/.."

tool=build/tools/glasswake-tool
if [ ! -x "$tool" ]; then
    bash scripts/dev.sh build
fi
bash scripts/install-deps.sh python3 python3-matplotlib python3-pil python3-numpy librsvg2-bin

# Debian's own Python: matplotlib comes from its packages.
python=/usr/bin/python3

out=.
frames=240
if [ "${CI:-}" = "true" ]; then
    out=$(mktemp -d)
    trap 'rm -rf "$out"' EXIT
    mkdir -p "$out/docs" "$out/app/sdl/icons"
    cp docs/performance.md "$out/docs/"  # its table is rewritten in place
    frames=8
fi

# The pictures come from the exact backend, the reference drawing, so they
# change when the frame does, not with the backend the machine would pick.
render() { "$tool" render --backend exact --time-ms 2500 "$@"; }

# The menu icons: the drawing of app/sdl/icons/glasswake.svg at every size the
# icon theme asks for.
made=()
for size in 16 24 32 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" app/sdl/icons/glasswake.svg \
        --output "$out/app/sdl/icons/glasswake-$size.png"
    made+=("app/sdl/icons/glasswake-$size.png")
done

# The README's frame, and the same moment looking through 0, 1 and 2 faces.
render --output "$out/docs/frame.png"
for depth in 0 1 2; do
    render --size 320x240 --depth "$depth" --output "$out/docs/depth-$depth.png"
    made+=("docs/depth-$depth.png")
done
render --overlay views --output "$out/docs/overlay.png"

# The example scenes make-data writes from code, at the same moment; their
# files are scratch, never left in the checkout.
scenes=$(mktemp -d)
"$tool" make-data --scene-example "$scenes" >/dev/null
for scene in gem prism; do
    render --size 320x240 --scene "$scenes/$scene.toml" --output "$out/docs/scene-$scene.png"
    made+=("docs/scene-$scene.png")
done
rm -rf "$scenes"

# One face close up: in the frame, and its mirrored and refracted views alone.
"$python" scripts/face_pictures.py "$tool" 2500 "$out/docs"
render --size 320x240 --overlay views --depth 1 --output "$out/docs/overlay-depth-1.png"

"$python" scripts/clip_diagram.py "$out/docs/clipper.svg"
# A crack the mending closes: the same moment drawn as cut and as mended.
"$python" scripts/crack_pictures.py "$tool" 2500 "$out/docs/cracks.png"
# Edges with one sample per pixel and with four, zoomed.
"$python" scripts/edge_error.py "$tool" --picture "$out/docs/smooth-edges.png"

"$python" scripts/plot_performance.py --tool "$tool" --frames "$frames" \
    --plot "$out/docs/performance-depth.png" --doc "$out/docs/performance.md"
made+=(docs/frame.png docs/overlay.png docs/overlay-depth-1.png docs/face-frame.png
    docs/face-mirrored.png docs/face-refracted.png docs/clipper.svg docs/cracks.png
    docs/performance-depth.png docs/smooth-edges.png)

# Everything was made, and the depth table sits between its markers.
for file in "${made[@]}"; do
    if [ ! -s "$out/$file" ]; then
        echo "docs.sh: $file was not made" >&2
        exit 1
    fi
done
if ! grep -q -- "<!-- depth-table:end -->" "$out/docs/performance.md"; then
    echo "docs.sh: docs/performance.md lost its depth table" >&2
    exit 1
fi
echo "docs/: pictures and plot written${CI:+ to $out (CI), and checked}"
