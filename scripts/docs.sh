#!/usr/bin/env bash
# Regenerates every picture and plot in docs/ from the current build, so they
# never go stale: the frames of how-it-works.md and the README, the clipper
# diagram, the depth plot and table of performance.md, and the menu icons.
#   scripts/docs.sh          build if needed, then write docs/*.png, docs/*.svg and
#                            app/sdl/icons/*.png
# With CI=true the depth plot is measured over fewer frames: CI only checks
# that everything still runs (its timings mean nothing).
set -euo pipefail
cd "$(dirname "$0")/.."

tool=build/tools/glasswake-tool
if [ ! -x "$tool" ]; then
    bash scripts/dev.sh build
fi
bash scripts/install-deps.sh python3 python3-matplotlib python3-pil

# Debian's own Python: matplotlib comes from its packages.
python=/usr/bin/python3

# The pictures come from the exact backend, the reference drawing, so they
# change when the frame does, not with the backend the machine would pick.
render() { "$tool" render --backend exact --time-ms 2500 "$@"; }

# The menu icons: the same moment at every size the icon theme asks for.
for size in 16 32 48 64 128 256; do
    render --size "${size}x$size" --output "app/sdl/icons/glasswake-$size.png"
done

# The README's frame, and the same moment looking through 0, 1 and 2 faces.
render --output docs/frame.png
for depth in 0 1 2; do
    render --size 320x240 --depth "$depth" --output "docs/depth-$depth.png"
done
render --overlay views --output docs/overlay.png

# One face close up: in the frame, and its mirrored and refracted views alone.
"$python" scripts/face_pictures.py "$tool" 2500
render --size 320x240 --overlay views --depth 1 --output docs/overlay-depth-1.png

"$python" scripts/clip_diagram.py docs/clipper.svg

frames=240
if [ "${CI:-}" = "true" ]; then
    frames=8
fi
"$python" scripts/plot_performance.py --tool "$tool" --frames "$frames"
echo "docs/: pictures and plot written"
