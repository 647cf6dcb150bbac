#!/usr/bin/env bash
# The Windows suite, run under Wine on a private Xvfb display in a throwaway
# Wine prefix. The shipped zip is unpacked into a scratch folder and started
# there as a user would start it; the suite looks at the window, the picture,
# the debugger output, the message boxes and the settings file, and finally
# runs the unit tests built as Windows programs. Every wait is a bounded poll.
#   tests/e2e_windows.sh [BUILD_DIR] [ZIP]
# Screenshots and logs are kept in out/e2e-windows/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build-windows}")
zip_file=$(realpath "${2:-$root/dist/glasswake-windows-x64.zip}")
probe_exe=$build/tests/win32_probe.exe
hook_app=$build/tests/win32_hook_app.exe
long_title="Glasswake by Orvel / Lumo [fps: +inf :-)]"
preinit_text="App returned false on PreInit(), we shouldn't really continue."

for tool in wine wineserver Xvfb xdotool import convert unzip; do
    command -v "$tool" >/dev/null || { echo "e2e_windows: $tool is missing" >&2; exit 1; }
done
for file in "$zip_file" "$probe_exe" "$hook_app"; do
    [ -f "$file" ] || { echo "e2e_windows: $file not found" >&2; exit 1; }
done

work=$(mktemp -d)
logs=$root/out/e2e-windows
rm -rf "$logs"
mkdir -p "$logs"
xvfb_pid=""
demo_pid=""
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
ini_file=$WINEPREFIX/drive_c/windows/Brightforge.INI

cleanup() {
    set +e
    [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null
    [ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
check() {  # check DESCRIPTION COMMAND...: runs the command, counts a failure
    if "${@:2}"; then
        echo "ok   $1"
    else
        echo "FAIL $1"
        failures=$((failures + 1))
    fi
}
equals() { [ "$1" = "$2" ] || { echo "     got '$1', wanted '$2'" >&2; return 1; }; }
poll() {  # poll SECONDS COMMAND...: true as soon as COMMAND succeeds
    local deadline=$((SECONDS + $1))
    shift
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}

# ---- display and prefix ----------------------------------------------------
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$logs/xvfb.log" 2>&1 &
xvfb_pid=$!
poll 30 test -s "$work/display" || { echo "e2e_windows: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

echo "Creating the Wine prefix (first start takes a while)"
timeout 300 wineboot --init >"$logs/wineboot.log" 2>&1 || true
# One persistent server for the whole suite keeps every later start fast; it
# can only be started once the prefix's first server has gone.
timeout 120 wineserver -w || true
wineserver -p || true

probe() { timeout 90 wine "$probe_exe" "$@" 2>/dev/null | tr -d '\r'; }
field() { grep "^$1=" "$2" | head -n1 | cut -d= -f2-; }  # field NAME FILE
ini_value() {  # ini_value SECTION KEY
    [ -f "$ini_file" ] || return 0
    tr -d '\r' <"$ini_file" | awk -F= -v section="[$1]" -v key="$2" \
        '/^\[/ { inside = ($0 == section) } inside && $1 == key { print substr($0, length(key) + 2) }'
}
write_ini() { printf '%s\r\n' "$@" >"$ini_file"; }

app=$work/app
mkdir -p "$app"
unzip -q "$zip_file" -d "$app"
check "zip holds glasswake.exe, the five data files and README-windows.txt" \
    test -f "$app/glasswake.exe" -a -f "$app/data/base2.lwo" -a -f "$app/data/crystal1.lwo" \
    -a -f "$app/data/crystal2.lwo" -a -f "$app/data/crystal3.lwo" -a -f "$app/data/env.bmp" \
    -a -f "$app/README-windows.txt"

# run NAME WAIT ACTION DIR PROGRAM [ARGS...]: starts PROGRAM in DIR (debugger
# output on), lets the probe wait for WAIT (window or messagebox, printed to
# $logs/NAME.WAIT), calls `look`, ends it by ACTION (escape, close, key or
# none) and waits for the end, setting status (124 when it had to be stopped).
look() { :; }
run() {
    local name=$1 wait=$2 action=$3 dir=$4
    shift 4
    (cd "$dir" && WINEDEBUG=-all,+debugstr exec wine "$@") >"$logs/$name.out" 2>"$logs/$name.err" &
    demo_pid=$!
    [ "$wait" = none ] || probe "$wait" 60000 >"$logs/$name.$wait" || true
    look
    case $action in
    escape | close) probe "$action" >/dev/null || true ;;
    key) timeout 10 xdotool windowfocus --sync "${x_window:-0}" 2>/dev/null || true
        xdotool key Escape ;;
    esac
    if poll 60 eval "! kill -0 $demo_pid"; then
        status=0
        wait "$demo_pid" || status=$?
    else
        echo "     $name still running after 60 s; stopping it" >&2
        kill "$demo_pid" 2>/dev/null
        wait "$demo_pid" 2>/dev/null || true
        wineserver -k 2>/dev/null || true
        wineserver -p || true
        status=124
    fi
    demo_pid=""
    look() { :; }
}
demo() { run "$1" window "$2" "$app" glasswake.exe "${@:3}"; }  # demo NAME ACTION [ARGS...]
style() { field style "$logs/$1.window"; }

# picture_ok: the client area shows a black border (the root view covers
# 1/1.1 of it, so about 4.5% of each side stays black) around a lit middle.
region() {  # region fx W H X Y
    convert "$logs/normal.png" -crop "$2x$3+$4+$5" +repage -format "%[fx:$1]" info:
}
picture_ok() {
    local X Y WIDTH HEIGHT strip_x strip_y
    eval "$(xdotool getwindowgeometry --shell "$x_window" | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
    ((WIDTH > 100 && HEIGHT > 100)) || return 1
    import -window root "$logs/normal.png"
    strip_x=$((WIDTH * 45 / 1000 - 4))
    strip_y=$((HEIGHT * 45 / 1000 - 4))
    for r in "$strip_x $HEIGHT $X $Y" "$strip_x $HEIGHT $((X + WIDTH - strip_x)) $Y" \
        "$WIDTH $strip_y $X $Y" "$WIDTH $strip_y $X $((Y + HEIGHT - strip_y))"; do
        # shellcheck disable=SC2086
        awk -v v="$(region maxima $r)" 'BEGIN { exit !(v <= 0.02) }' || return 1
    done
    middle=$(region mean $((WIDTH / 2)) $((HEIGHT / 2)) $((X + WIDTH / 4)) $((Y + HEIGHT / 4)))
    awk -v v="$middle" 'BEGIN { exit !(v > 0.05) }'
}
titled() { [ "$(xdotool getwindowname "$x_window" 2>/dev/null)" = "$long_title" ]; }

# ---- a normal first start -----------------------------------------------------
echo "A normal first start"
rm -f "$ini_file"
look() {
    local w=$logs/normal.window
    check "the window opens, overlapped with a caption" \
        equals "$(field style "$w")/$(field caption "$w")" "overlapped/1"
    outer=$(field window "$w")
    check "the outer size is the settings' 640 x 480" equals "${outer#*,*,}" "640,480"
    client=$(field client "$w")
    check "the client area is smaller than 640 x 480 by the frame ($client)" \
        test "${client%,*}" -gt 0 -a "${client%,*}" -lt 640 -a "${client#*,}" -gt 0 -a "${client#*,}" -lt 480
    poll 30 eval '[ -n "$(xdotool search --onlyvisible --classname glasswake.exe)" ]' || true
    x_window=$(xdotool search --onlyvisible --classname glasswake.exe 2>/dev/null | head -n1)
    check "the title timer sets the long title" poll 30 titled
    sleep 1  # let the camera move; then wait until a frame shows the scene
    check "the screenshot shows the black border and the lit middle" poll 30 picture_ok
    probe minimize >"$logs/normal.minimize" || true
    check "a minimised window (0 x 0 client) keeps running" \
        grep -q "iconic=1 client=0,0" "$logs/normal.minimize"
    check "the demo survives the zero-height client area" kill -0 "$demo_pid"
}
demo normal key
check "Escape ends the program with exit code 0" equals "$status" 0
report='OutputDebugStringA "PixelFormat Selected: [0-9]*\\nBPP: \([0-9]*\)\\n"'
check "exactly one debugger line with the pixel format and depth" \
    equals "$(grep -c "$report" "$logs/normal.err" || true)" 1
bpp=$(sed -n "s/.*$report.*/\1/p" "$logs/normal.err" | head -n1)
check "the settings file holds Fullscreen=0, Width=640, Height=480 and the desktop depth" \
    equals "$(ini_value Settings Fullscreen),$(ini_value Settings Width),$(ini_value Settings Height),$(ini_value Settings BitsPerPixel)" \
    "0,640,480,${bpp:-?}"

# ---- the full-screen switch ------------------------------------------------------
echo "The full-screen switch"
screen_before=$(probe screen)
# Xvfb offers one mode only, so the switch is usually refused there; the
# window must come up at the requested size either way.
demo fullscreen close -fullscreen
check "the display mode is back after a full-screen run" equals "$(probe screen)" "$screen_before"
check "-fullscreen: a popup at 0,0 of 640 x 480" \
    equals "$(style fullscreen)/$(field window "$logs/fullscreen.window")" "popup/0,0,640,480"
check "-fullscreen: the close box ends with exit code 0" equals "$status" 0
check "-fullscreen: Fullscreen=1 saved" equals "$(ini_value Settings Fullscreen)" 1

switch_case() {  # switch_case NAME STYLE/FULLSCREEN LABEL ARGS...: a run ended by Escape
    demo "$1" escape "${@:4}"
    check "$3" equals "$(style "$1")/$(ini_value Settings Fullscreen)" "$2"
}
switch_case remembered popup/1 "the next start without a switch is full screen"
switch_case off_last overlapped/0 "-fullscreen -fullscreen=0: windowed, Fullscreen=0 saved" \
    -fullscreen -fullscreen=0
write_ini "[Settings]" "Fullscreen=1" "Width=640" "Height=480"
switch_case off_first overlapped/0 "-fullscreen=0 -fullscreen: windowed, Fullscreen=0 saved" \
    -fullscreen=0 -fullscreen
switch_case upper overlapped/0 "-FULLSCREEN leaves a windowed setting windowed" -FULLSCREEN

# ---- the settings file -------------------------------------------------------------
echo "The settings file"
write_ini "; kept comment" "[Before]" "Key=kept" "[Settings]" "Fullscreen=0" "Width=0" "Height=0" \
    "BitsPerPixel=256" "Extra=stays" "[After]" "Other=value"
demo settings escape
check "Width=0 and Height=0 give a 640 x 480 window" \
    equals "$(field window "$logs/settings.window" | cut -d, -f3,4)" "640,480"
check "the program ends with exit code 0" equals "$status" 0
check "Width=640, Height=480 and BitsPerPixel=0 (from 256) written back" \
    equals "$(ini_value Settings Width),$(ini_value Settings Height),$(ini_value Settings BitsPerPixel)" \
    "640,480,0"
check "other keys and sections survive the save" \
    equals "$(ini_value Before Key),$(ini_value Settings Extra),$(ini_value After Other)" \
    "kept,stays,value"

# ---- a missing object file ---------------------------------------------------------
echo "A missing data/crystal2.lwo"
rm -f "$ini_file"
broken=$work/broken
cp -r "$app" "$broken"
rm "$broken/data/crystal2.lwo"
run missing messagebox none "$broken" glasswake.exe
box=$logs/missing.messagebox
check "a message box \"Error\" with the PreInit text, one OK button, no owner" \
    equals "$(field caption "$box")|$(field text "$box")|$(field ok "$box")$(field cancel "$box")|$(field owner "$box")" \
    "Error|$preinit_text|10|none"
check "no demo window opens" equals "$(field demo-window "$box")" 0
check "after OK the program ends with exit code 0" equals "$status" 0
check "no settings are written" test ! -e "$ini_file"

# ---- the shell's hook order and the paths the scene never takes -------------------
echo "The shell with a recording test application"
hook_log=$work/hooks.log
hook_line() { [ -f "$hook_log" ] && tr -d '\r' <"$hook_log" | grep "^$1" | head -n1; }
hook_run() {  # hook_run MODE WAIT
    rm -f "$hook_log" "$ini_file"
    GLASSWAKE_HOOK_LOG="$hook_log" GLASSWAKE_HOOK_MODE="$1" run "hooks-$1" "$2" none "$work" "$hook_app"
    cp "$hook_log" "$logs/hooks-$1.log" 2>/dev/null || true
}

hook_run frame-false none
check "a false Frame ends the program with exit code 0" equals "$status" 0
check "PreInit runs before the window class and window exist, without GL" \
    equals "$(hook_line PreInit)" "PreInit class=0 window=0 context=0"
check "Init sees the shown window, its context, the caption and the real client size" \
    grep -qxE "Init visible=1 context=1 caption=Glasswake clientSize=([0-9]+)x([0-9]+) client=\1x\2 viewport=\1x\2" \
    <<<"$(hook_line Init)"
check "no Frame after the false one; the clock includes Init and never runs back" \
    equals "$(hook_line Shutdown)" \
    "Shutdown frames=20 firstTime>=init=1 timeNeverFell=1 contextInFrames=1 context=0 window=0 savedWidth=640"

hook_run init-fails messagebox
box=$logs/hooks-init-fails.messagebox
check "a failed Init shows \"App failed to initialize.\" titled \"Fatal Blow\", owned by the window" \
    equals "$(field caption "$box")|$(field text "$box")|$(field owner "$box")" \
    "Fatal Blow|App failed to initialize.|VEXA_Class"
check "after OK the program ends with exit code 0" equals "$status" 0
check "Shutdown is not called and no settings are written" \
    test -z "$(hook_line Shutdown)" -a ! -e "$ini_file"

# ---- unit tests as Windows programs ------------------------------------------------
echo "Unit tests as Windows programs"
for exe in "$build"/tests/*test_*.exe; do
    name=$(basename "$exe" .exe)
    status=0
    (cd "$build/tests" && timeout 600 wine "$exe" --gtest_brief=1) >"$logs/$name.log" 2>&1 || status=$?
    summary=$(tr -d '\r' <"$logs/$name.log" | grep -E '^\[  (PASSED|FAILED) ' | head -n1 || true)
    check "$name: ${summary:-no result} (exit $status)" test "$status" -eq 0
    [ "$status" -eq 0 ] || tr -d '\r' <"$logs/$name.log" | grep -E 'Failure|FAILED' | head -n 10
done

echo
if [ "$failures" -ne 0 ]; then
    echo "Windows suite: $failures check(s) failed; logs and screenshots in $logs"
    exit 1
fi
echo "Windows suite: all checks passed; logs and screenshots in $logs"
