#!/usr/bin/env bash
# The Windows suite under Wine (private Xvfb display, throwaway prefix): the
# shipped zip is unpacked and started as a user would, then the unit tests
# built as Windows programs run.
#   tests/e2e_windows.sh [BUILD_DIR] [ZIP]
# Screenshots and logs are kept in out/e2e-windows/.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build-windows}")
zip_file=$(realpath "${2:-$(ls "$root"/dist/glasswake-*-windows-x64.zip | tail -n 1)}")
probe_exe=$build/tests/win32_probe.exe
recorder=$build/tests/hook_recorder.exe
long_title="Glasswake by Orvel / Lumo [fps: +inf :-)]"
preinit_text="App returned false on PreInit(), we shouldn't really continue."

for file in "$zip_file" "$probe_exe" "$recorder"; do
    [ -f "$file" ] || { echo "e2e_windows: $file not found" >&2; exit 1; }
done

work=$(mktemp -d)
logs=$root/out/e2e-windows
rm -rf "$logs" && mkdir -p "$logs"
# shellcheck source=tests/e2e_lib.sh
source "$root/tests/e2e_lib.sh"
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
ini_file=$WINEPREFIX/drive_c/windows/Brightforge.INI
on_exit() {
    [ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null
    rm -rf "$work"
}

start_display
echo "Creating the Wine prefix (first start takes a while)"
timeout 300 wineboot --init >"$logs/wineboot.log" 2>&1
# One persistent server for the whole suite keeps every later start fast; it
# can only be started once the prefix's first server has gone.
timeout 120 wineserver -w
wineserver -p

probe() { timeout 90 wine "$probe_exe" "$@" 2>/dev/null | tr -d '\r'; }
field() { grep "^$1=" "$2" | head -n1 | cut -d= -f2-; }  # field NAME FILE
setting() { ini_value "$ini_file" "$@"; }

app=$work/app
unzip -q "$zip_file" -d "$app"
check "the zip holds README-windows.txt" test -f "$app/README-windows.txt"

# run NAME WAIT ACTION DIR PROGRAM [ARGS...]: starts PROGRAM in DIR (debugger
# output on), lets the probe wait for WAIT (window or messagebox, printed to
# $logs/NAME.WAIT), calls `look`, ends it by ACTION (escape, close, key or
# none) and waits for the end, which must have exit code $expected_status
# (0 unless the caller sets it).
# Wine's +system trace shows each display-mode change asked for, the record's
# fields included; $trace adds channels for one run.
look() { :; }
trace=
run() {
    local name=$1 wait=$2 action=$3 dir=$4
    shift 4
    WINEDEBUG=-all,+debugstr,+system${trace:+,$trace} start "$dir" "$logs/$name" wine "$@"
    [ "$wait" = none ] || probe "$wait" 60000 >"$logs/$name.$wait"
    look
    case $action in
    escape | close) probe "$action" >/dev/null ;;
    key) press "${x_window:-0}" Escape ;;
    esac
    wait_exit 60
    check "$name: exit code ${expected_status:-0}" equals "$status" "${expected_status:-0}"
    [ "$status" = 124 ] && { wineserver -k 2>/dev/null; wineserver -p; }
    look() { :; }
}
demo() { run "$1" window "$2" "$app" glasswake.exe "${@:3}"; }  # demo NAME ACTION [ARGS...]
style() { field style "$logs/$1.window"; }
# The program's display-mode calls (Wine's own name a device), each followed
# by the record it passed, its address left out.
mode_calls() {
    awk '/NtUserChangeDisplaySettings \(null\)/ {
             ours = 1; sub(/.*Settings \(null\) /, ""); sub(/^0x[0-9a-f]+/, "RECORD"); print; next }
         ours && /trace_devmode/ { ours = 0; sub(/.*trace_devmode /, ""); sub(/ +$/, ""); print }' \
        "$logs/$1.err"
}

rm -f "$ini_file"
look() {
    local w=$logs/normal.window client
    check "the window opens, overlapped (clipping children and siblings), the default size outside" \
        equals "$(field bits "$w")/$(field caption "$w")/$(field window "$w" | cut -d, -f3,4)" \
        "16cf0000/1/$default_width,$default_height"
    client=$(field client "$w")
    check "the client area is smaller than the window by the frame ($client)" \
        test "${client%,*}" -gt 0 -a "${client%,*}" -lt "$default_width" -a "${client#*,}" -gt 0 -a "${client#*,}" -lt "$default_height"
    poll 30 eval '[ -n "$(xdotool search --onlyvisible --classname glasswake.exe)" ]'
    x_window=$(xdotool search --onlyvisible --classname glasswake.exe 2>/dev/null | head -n1)
    check "the title timer sets the long title" poll 30 titled "$x_window" "$long_title"
    sleep 1  # let the camera move; then wait until a frame shows the scene
    check "the screenshot shows the black border and the lit middle" \
        poll 30 picture_ok "$x_window" "$logs/normal.png"
    probe minimize >"$logs/normal.minimize"
    check "a minimised window (0 x 0 client) keeps running" \
        eval 'grep -q "iconic=1 client=0,0" "$logs/normal.minimize" && kill -0 $program_pid'
}
demo normal key
report='OutputDebugStringA "PixelFormat Selected: [0-9]*\\nBPP: \([0-9]*\)\\n"'
check "exactly one debugger line with the pixel format and depth" \
    equals "$(grep -c "$report" "$logs/normal.err")" 1
bpp=$(sed -n "s/.*$report.*/\1/p" "$logs/normal.err" | head -n1)
check "the settings file holds Fullscreen=0, the default Width and Height and the desktop depth" \
    equals "$(settings_of "$ini_file")" "0 $default_width $default_height ${bpp:-?}"

# Xvfb offers one mode only, so the switch is usually refused there; the
# window must come up at the requested size either way.
demo fullscreen close -fullscreen
check "-fullscreen: a popup at 0,0 of the default size; Fullscreen=1 saved" equals \
    "$(field bits "$logs/fullscreen.window")/$(field window "$logs/fullscreen.window")/$(setting Settings Fullscreen)" \
    "94000000/0,0,$default_width,$default_height/1"
check "-fullscreen: one temporary switch to the default size at the saved depth, undone at the end" \
    equals "$(mode_calls fullscreen)" "$(printf '%s\n' \
        "RECORD (nil) 0x4 (nil)" \
        "dmFields=BITSPERPEL,PELSWIDTH,PELSHEIGHT dmBitsPerPel=${bpp:-?} dmPelsWidth=$default_width dmPelsHeight=$default_height" \
        "(nil) (nil) 0 (nil)")"
demo remembered escape
check "the next start without a switch is full screen" equals "$(style remembered)" popup

printf '%s\r\n' "; kept comment" "[Before]" "Key=kept" "[Settings]" "Fullscreen=1" "Width=0" \
    "Height=0" "BitsPerPixel=256" "Extra=stays" "[After]" "Other=value" >"$ini_file"
demo settings escape
check "Width=0 and Height=0 give a window of the default size" \
    equals "$(field window "$logs/settings.window" | cut -d, -f3,4)" "$default_width,$default_height"
check "the default size and BitsPerPixel=0 (from 256) written back; other keys and sections survive" \
    equals "$(setting Settings Width),$(setting Settings Height),$(setting Settings BitsPerPixel),$(setting Before Key),$(setting Settings Extra),$(setting After Other)" \
    "$default_width,$default_height,0,kept,stays,value"
check "BitsPerPixel=0: the full-screen switch sets the size alone" \
    equals "$(mode_calls settings | sed -n 2p)" "dmFields=PELSWIDTH,PELSHEIGHT dmPelsWidth=$default_width dmPelsHeight=$default_height"

rm -f "$ini_file"
broken=$work/broken
cp -r "$app" "$broken"
rm "$broken/data/crystal2.lwo"
expected_status=1 run missing messagebox none "$broken" glasswake.exe
box=$logs/missing.messagebox
check "a message box \"Error\" with the PreInit text, one OK button, no owner, no demo window" \
    equals "$(field caption "$box")|$(field text "$box")|$(field ok "$box")$(field cancel "$box")|$(field owner "$box")|$(field demo-window "$box")" \
    "Error|$preinit_text|10|none|0"
check "after OK: exit code 1 (checked above), no settings written" test ! -e "$ini_file"

hook_log=$work/hooks.log
hook_line() { [ -f "$hook_log" ] && tr -d '\r' <"$hook_log" | grep "^$1" | head -n1; }
hook_run() {  # hook_run MODE WAIT [EXIT-STATUS]
    rm -f "$hook_log" "$ini_file"
    GLASSWAKE_HOOK_LOG="$hook_log" GLASSWAKE_HOOK_MODE="$1" expected_status=${3:-0} \
        run "hooks-$1" "$2" none "$work" "$recorder"
    cp "$hook_log" "$logs/hooks-$1.log" 2>/dev/null
}

trace=+opengl hook_run frame-false none
check "the pixel format asks for RGBA, double buffering and as many depth bits as colour bits" \
    equals "$(grep -o 'wglChoosePixelFormat [^:]*: .*' "$logs/hooks-frame-false.err" | cut -d: -f2-)" \
    " size 40 version 1 flags 37 type 0 color ${bpp:-?} 0,0,0,0 accum 0 depth ${bpp:-?} stencil 0 aux 0"
check "the window class: its own DC, redrawn on resizes, the arrow cursor, no icon or brush" \
    equals "$(hook_line Class)" "Class style=0x23 arrow=1 icon=0 brush=0 extra=0,0"
check "PreInit runs before the window class and window exist, without GL" \
    equals "$(hook_line PreInit)" "PreInit context=0 window=0"
check "Init sees the shown window, its context, the caption and the real client size" \
    grep -qxE "Init context=1 visible=1 caption=Glasswake client=([0-9]+)x([0-9]+) drawable=\1x\2 viewport=\1x\2 double=1 depth=[0-9]+" \
    <<<"$(hook_line Init)"
check "no Frame after the false one; the clock includes Init and never runs back; saved first" \
    equals "$(hook_line Shutdown)" \
    "Shutdown context=0 window=0 frames=20 first>=init=1 clockback=0 inframes=1 saved=$default_width"

hook_run init-false messagebox 1
box=$logs/hooks-init-false.messagebox
check "a failed Init shows \"App failed to initialize.\" titled \"Fatal Blow\", owned by the window" \
    equals "$(field caption "$box")|$(field text "$box")|$(field owner "$box")" \
    "Fatal Blow|App failed to initialize.|VEXA_Class"
check "after OK: exit code 1, no Shutdown, no settings written" \
    equals "$status/$(hook_line Shutdown)/$(test -e "$ini_file" && echo file)" "1//"

for exe in "$build"/tests/*test_*.exe; do
    log=$logs/$(basename "$exe" .exe).log
    check "$(basename "$exe") (log: $log)" \
        eval '(cd "$build/tests" && timeout 600 wine "$exe" --gtest_brief=1) >"$log" 2>&1'
done

echo "Logs and screenshots in $logs"
finish "Windows suite"
