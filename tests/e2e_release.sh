#!/usr/bin/env bash
# The artefacts of scripts/release.sh as a user gets them: the package's
# contents, its programs run from an extracted copy in an unrelated folder (a
# frame against the in-tree render, the demo's window on a private display),
# and the web zip unpacked and served to headless Chromium. The Windows zip is
# the one scripts/windows.sh test runs under Wine.
#   tests/e2e_release.sh   (after scripts/release.sh; uses build/ for the in-tree render)
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
# shellcheck source=tests/e2e_lib.sh
source "$root/tests/e2e_lib.sh"
on_exit() { rm -rf "$work"; }

deb=$(ls "$root"/dist/glasswake_*_amd64.deb | tail -n 1)
v=$(dpkg-deb -f "$deb" Version)
check "SHA256SUMS names the three artefacts of version $v and matches them" eval \
    "[ \"\$(awk '{ print \$2 }' '$root/dist/SHA256SUMS' | tr '\n' ' ')\" = \
'glasswake_${v}_amd64.deb glasswake-$v-windows-x64.zip glasswake-$v-web.zip ' ] &&
    (cd '$root/dist' && sha256sum --quiet -c SHA256SUMS)"
want=$(printf '%s\n' ./usr/bin/glasswake{,-tool} ./usr/share/applications/glasswake.desktop \
    ./usr/share/doc/glasswake/{LICENSE,README.md,changelog.gz,copyright} \
    ./usr/share/glasswake/data/{base2.lwo,crystal1.lwo,crystal2.lwo,crystal3.lwo,env.bmp} \
    ./usr/share/icons/hicolor/{16x16,24x24,32x32,48x48,64x64,128x128,256x256}/apps/glasswake.png \
    ./usr/share/icons/hicolor/scalable/apps/glasswake.svg \
    ./usr/share/metainfo/dev.glasswake.Glasswake.metainfo.xml \
    ./usr/share/man/man1/glasswake-tool{,-render,-bench,-check,-info,-make-data}.1.gz \
    ./usr/share/man/man6/glasswake.6.gz ./usr/share/bash-completion/completions/glasswake-tool | sort)
check "the package's files" equals "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)" "$want"
depends=$(dpkg-deb -f "$deb" Depends)
check "Depends names the linked libraries: $depends" eval '[[ "$depends" == *libsdl2-2.0-0* && "$depends" == *libpng16-16* && "$depends" == *libegl1* ]]'

dpkg-deb -x "$deb" "$work/copy"
bin=$work/copy/usr/bin
mkdir -p "$work/elsewhere" "$work/home"
check "the menu entry validates" desktop-file-validate "$work/copy/usr/share/applications/glasswake.desktop"
check "the AppStream metadata validates" appstreamcli validate --no-net \
    "$work/copy/usr/share/metainfo/dev.glasswake.Glasswake.metainfo.xml"
check "the package names its home and suggests ffmpeg" equals \
    "$(dpkg-deb -f "$deb" Homepage Suggests | tr '\n' ' ')" "Homepage: https://glasswake.dev Suggests: ffmpeg "
check "lintian reports no error or warning" lintian --fail-on error,warning "$deb"
check "the version is the project's" equals "$("$bin/glasswake-tool" --version)" "glasswake-tool $v"
# The copy is a moved prefix: the data is found beside the program.
(cd "$work/elsewhere" && "$bin/glasswake-tool" render --time-ms 2500 --output "$work/copy.png")
"$root/build/tools/glasswake-tool" render --time-ms 2500 --root "$root" --output "$work/tree.png"
check "the extracted tool's frame is the in-tree frame" cmp "$work/copy.png" "$work/tree.png"

start_display
start "$work/elsewhere" "$work/demo" env -u XDG_CONFIG_HOME HOME="$work/home" "$bin/glasswake"
if poll 30 has_window '^Glasswake' && id=$(window_named '^Glasswake'); then
    check "the extracted demo draws the scene" poll 20 picture_ok "$id" "$work/demo.png"
    press "$id" Escape
fi
wait_exit 30
check "the demo ends with 0, saves to ~/.config/glasswake, writes nothing where it started" \
    equals "$status $(settings_of "$work/home/.config/glasswake/Brightforge.INI") $(ls -A "$work/elsewhere")" \
    "0 0 $default_width $default_height 24 "

mkdir -p "$work/web"
unzip -q "$root/dist/glasswake-$v-web.zip" -d "$work/web"
web_frames() {  # the browser suite's frame comparison, its report shown when it fails
    GLASSWAKE_WEB_DIR="$work/web" node --test --test-name-pattern='frames match' \
        "$root/tests/web/" >"$work/web.log" 2>&1 || { cat "$work/web.log"; return 1; }
}
check "the unpacked web zip draws the tool's frames in Chromium" web_frames

finish "Release suite"
