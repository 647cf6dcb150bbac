#!/usr/bin/env bash
# What the package tells the desktop and software centres: the menu entry and
# the AppStream metadata validate, and the icon is the drawing at every size
# the theme asks for, square, on a transparent background.
#   tests/package_metadata.sh METAINFO
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
failures=0
check() {  # check WHAT COMMAND...: runs COMMAND, reports WHAT
    if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}

check "the menu entry validates" desktop-file-validate "$root/app/sdl/glasswake.desktop"
check "the AppStream metadata validates" appstreamcli validate --no-net "$1"
icon_ok() {  # icon_ok SIZE: a SIZExSIZE picture with alpha, transparent in its corners
    local file=$root/app/sdl/icons/glasswake-$1.png
    [ "$(identify -format '%wx%h %A' "$file")" = "${1}x$1 True" ] &&
        [ "$(convert "$file" -format '%[fx:p{0,0}.a + p{w-1,0}.a]' info:)" = 0 ]
}
for size in 16 24 32 48 64 128 256; do
    check "the ${size} px icon is square and transparent around the crystals" icon_ok "$size"
done
check "the scalable icon is SVG" grep -q '<svg xmlns="http://www.w3.org/2000/svg"' \
    "$root/app/sdl/icons/glasswake.svg"

echo "package metadata: $failures failure(s)"
[ "$failures" -eq 0 ]
