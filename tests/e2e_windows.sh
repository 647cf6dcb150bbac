#!/usr/bin/env bash
# The Windows suite, run under Wine on a private Xvfb display in a throwaway
# Wine prefix. The shipped zip is unpacked into a scratch folder and started
# there as a user would start it; the suite looks at the window, the picture,
# the debugger output, the message boxes and the settings file, and finally
# runs the unit tests built as Windows programs.
#   tests/e2e_windows.sh [BUILD_DIR] [ZIP]
# Screenshots and logs are kept in out/e2e-windows/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build-windows}")
zip_file=$(realpath "${2:-$root/dist/glasswake-windows-x64.zip}")
probe_exe=$build/tests/win32_probe.exe
long_title="Glasswake by Orvel / Lumo [fps: +inf :-)]"
preinit_text="App returned false on PreInit(), we shouldn't really continue."

for tool in wine wineserver Xvfb xdotool import convert unzip; do
    command -v "$tool" >/dev/null || { echo "e2e_windows: $tool is missing" >&2; exit 1; }
done
[ -f "$zip_file" ] || { echo "e2e_windows: $zip_file not found" >&2; exit 1; }
for helper in "$probe_exe" "$build/tests/win32_hook_app.exe"; do
    [ -f "$helper" ] || { echo "e2e_windows: $helper not found" >&2; exit 1; }
done

work=$(mktemp -d)
logs=$root/out/e2e-windows
rm -rf "$logs"
mkdir -p "$logs"
xvfb_pid=""
demo_pid=""

export WINEPREFIX=$work/prefix
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
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

# ---- display and prefix ----------------------------------------------------
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$logs/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
[ -s "$work/display" ] || { echo "e2e_windows: Xvfb did not start" >&2; exit 1; }
DISPLAY=":$(head -n1 "$work/display")"
export DISPLAY

echo "Creating the Wine prefix (first start takes a while)"
timeout 180 wineboot --init >"$logs/wineboot.log" 2>&1 || true
# One persistent server for the whole suite keeps every later start fast; it
# can only be started once the prefix's first server has gone.
timeout 60 wineserver -w || true
wineserver -p || true

probe() { timeout 60 wine "$probe_exe" "$@" 2>/dev/null | tr -d '\r'; }
field() { grep "^$1=" | head -n1 | cut -d= -f2-; }  # field NAME < probe output

ini_value() {  # ini_value SECTION KEY
    [ -f "$ini_file" ] || return 0
    tr -d '\r' <"$ini_file" | awk -F= -v section="[$1]" -v key="$2" \
        '/^\[/ { inside = ($0 == section) } inside && $1 == key { print substr($0, length(key) + 2) }'
}
write_ini() { printf '%s\r\n' "$@" >"$ini_file"; }

# The shipped package, unpacked as a user would.
app=$work/app
mkdir -p "$app"
unzip -q "$zip_file" -d "$app"
check "zip holds glasswake.exe, the five data files and README-windows.txt" \
    test -f "$app/glasswake.exe" -a -f "$app/data/base2.lwo" -a -f "$app/data/crystal1.lwo" \
    -a -f "$app/data/crystal2.lwo" -a -f "$app/data/crystal3.lwo" -a -f "$app/data/env.bmp" \
    -a -f "$app/README-windows.txt"

start_demo() {  # start_demo NAME DIR [ARGS...]: the demo in the background, debugger output on
    local name=$1 dir=$2
    shift 2
    (cd "$dir" && WINEDEBUG=-all,+debugstr exec wine glasswake.exe "$@") \
        >"$logs/$name.out" 2>"$logs/$name.err" &
    demo_pid=$!
}

demo_status=""
wait_demo() {  # wait_demo SECONDS: sets demo_status (124 when it had to be stopped)
    local tenths=$(($1 * 10))
    for _ in $(seq "$tenths"); do
        if ! kill -0 "$demo_pid" 2>/dev/null; then
            demo_status=0
            wait "$demo_pid" || demo_status=$?
            demo_pid=""
            return 0
        fi
        sleep 0.1
    done
    echo "     still running after $1 s; stopping it" >&2
    kill "$demo_pid" 2>/dev/null
    wait "$demo_pid" 2>/dev/null || true
    demo_pid=""
    wineserver -k 2>/dev/null || true
    wineserver -p || true
    demo_status=124
}

demo_x_window() {  # the X window that shows the demo's client area
    xdotool search --onlyvisible --classname glasswake.exe 2>/dev/null | head -n1
}

# Starts the demo, waits for its window, prints the probe's view of it and
# ends it with the given action (escape or close).
run_and_look() {  # run_and_look NAME ACTION [ARGS...]
    local name=$1 action=$2
    shift 2
    start_demo "$name" "$app" "$@"
    probe window 20000 >"$logs/$name.window" || true
    probe "$action" >/dev/null || true
    wait_demo 20
}

# ---- a normal first start -----------------------------------------------------
echo "A normal first start"
rm -f "$ini_file"
start_demo normal "$app"
probe window 30000 >"$logs/normal.window" || true
window_state=$(cat "$logs/normal.window")
check "the window opens, overlapped with a caption" \
    equals "$(field style <<<"$window_state")/$(field caption <<<"$window_state")" "overlapped/1"
outer=$(field window <<<"$window_state")
check "the outer size is the settings' 640 x 480" equals "${outer#*,*,}" "640,480"
client=$(field client <<<"$window_state")
client_w=${client%,*}
client_h=${client#*,}
check "the client area is smaller than 640 x 480 by the frame" \
    test "${client_w:-0}" -gt 0 -a "${client_w:-0}" -lt 640 -a "${client_h:-0}" -gt 0 -a "${client_h:-0}" -lt 480

sleep 1
x_window=$(demo_x_window)
eval "$(xdotool getwindowgeometry --shell "${x_window:-0}" 2>/dev/null | grep -E '^(X|Y|WIDTH|HEIGHT)=')" || true
import -window root "$logs/normal.png"
# The root view covers 1/1.1 of the drawing area, so a band of about 4.5% of
# each side stays black; the middle shows the tinted scene.
band_x=$((${WIDTH:-0} * 45 / 1000))
band_y=$((${HEIGHT:-0} * 45 / 1000))
region_max() {  # region_max W H X Y: brightest channel value in the region, 0..1
    convert "$logs/normal.png" -crop "$1x$2+$3+$4" +repage -format "%[fx:maxima]" info:
}
region_mean() {
    convert "$logs/normal.png" -crop "$1x$2+$3+$4" +repage -format "%[fx:mean]" info:
}
black_band=0
if [ "${WIDTH:-0}" -gt 100 ] && [ "${HEIGHT:-0}" -gt 100 ]; then
    strip_x=$((band_x - 4))
    strip_y=$((band_y - 4))
    for region in \
        "$strip_x ${HEIGHT} ${X} ${Y}" \
        "$strip_x ${HEIGHT} $((X + WIDTH - strip_x)) ${Y}" \
        "${WIDTH} $strip_y ${X} ${Y}" \
        "${WIDTH} $strip_y ${X} $((Y + HEIGHT - strip_y))"; do
        # shellcheck disable=SC2086
        value=$(region_max $region)
        awk -v v="$value" 'BEGIN { exit !(v <= 0.02) }' || black_band=1
    done
    middle=$(region_mean $((WIDTH / 2)) $((HEIGHT / 2)) $((X + WIDTH / 4)) $((Y + HEIGHT / 4)))
else
    black_band=1
    middle=0
fi
echo "     client ${WIDTH:-?}x${HEIGHT:-?} at ${X:-?},${Y:-?}; middle brightness $middle"
check "the screenshot shows the black border" test "$black_band" -eq 0
check "the screenshot shows the lit middle" awk -v v="$middle" 'BEGIN { exit !(v > 0.05) }'

title=""
for _ in $(seq 50); do
    title=$(xdotool getwindowname "${x_window:-0}" 2>/dev/null || true)
    [ "$title" = "$long_title" ] && break
    sleep 0.1
done
check "the title timer sets the long title" equals "$title" "$long_title"

probe minimize >"$logs/normal.minimize" || true
check "a minimised window (0 x 0 client) keeps running" \
    grep -q "iconic=1 client=0,0" "$logs/normal.minimize"
check "the demo survives the zero-height client area" kill -0 "$demo_pid"

xdotool windowfocus --sync "${x_window:-0}" 2>/dev/null || true
xdotool key Escape
wait_demo 20
check "Escape ends the program with exit code 0" equals "$demo_status" 0

report_count=$(grep -c 'OutputDebugStringA "PixelFormat Selected: [0-9]*\\nBPP: [0-9]*\\n"' \
    "$logs/normal.err" || true)
check "exactly one debugger line with the pixel format and depth" equals "$report_count" 1
bpp=$(sed -n 's/.*OutputDebugStringA "PixelFormat Selected: [0-9]*\\nBPP: \([0-9]*\)\\n".*/\1/p' \
    "$logs/normal.err" | head -n1)
check "the settings file holds Fullscreen=0, Width=640, Height=480 and the desktop depth" \
    equals "$(ini_value Settings Fullscreen),$(ini_value Settings Width),$(ini_value Settings Height),$(ini_value Settings BitsPerPixel)" \
    "0,640,480,${bpp:-?}"

# ---- the full-screen switch ------------------------------------------------------
echo "The full-screen switch"
screen_before=$(probe screen)
start_demo fullscreen "$app" -fullscreen
probe window 20000 >"$logs/fullscreen.window" || true
# Xvfb offers one mode only, so the switch is usually refused there; the
# window must come up at the requested size either way.
echo "     display during the full-screen run: $(probe screen)"
probe close >/dev/null || true
wait_demo 20
check "the display mode is back after a full-screen run" equals "$(probe screen)" "$screen_before"
check "-fullscreen: a popup at 0,0 of 640 x 480" \
    equals "$(field style <"$logs/fullscreen.window")/$(field window <"$logs/fullscreen.window")" \
    "popup/0,0,640,480"
check "-fullscreen: the close box ends with exit code 0" equals "$demo_status" 0
check "-fullscreen: Fullscreen=1 saved" equals "$(ini_value Settings Fullscreen)" 1

run_and_look remembered escape
check "the next start without a switch is full screen" \
    equals "$(field style <"$logs/remembered.window")" popup
check "the saved setting stays on" equals "$(ini_value Settings Fullscreen)" 1

run_and_look off_last escape -fullscreen -fullscreen=0
check "-fullscreen -fullscreen=0: windowed" equals "$(field style <"$logs/off_last.window")" overlapped
check "-fullscreen -fullscreen=0: Fullscreen=0 saved" equals "$(ini_value Settings Fullscreen)" 0

write_ini "[Settings]" "Fullscreen=1" "Width=640" "Height=480"
run_and_look off_first escape -fullscreen=0 -fullscreen
check "-fullscreen=0 -fullscreen: windowed" equals "$(field style <"$logs/off_first.window")" overlapped
check "-fullscreen=0 -fullscreen: Fullscreen=0 saved" equals "$(ini_value Settings Fullscreen)" 0

run_and_look upper_windowed escape -FULLSCREEN
check "-FULLSCREEN leaves a windowed setting windowed" \
    equals "$(field style <"$logs/upper_windowed.window")/$(ini_value Settings Fullscreen)" "overlapped/0"
run_and_look on_value escape -fullscreen=1
check "-fullscreen=1 turns full screen on" \
    equals "$(field style <"$logs/on_value.window")/$(ini_value Settings Fullscreen)" "popup/1"

write_ini "[Settings]" "Fullscreen=1"
run_and_look upper_full escape -FULLSCREEN
check "-FULLSCREEN leaves a full-screen setting full screen" \
    equals "$(field style <"$logs/upper_full.window")/$(ini_value Settings Fullscreen)" "popup/1"

# ---- the settings file -------------------------------------------------------------
echo "The settings file"
write_ini "; kept comment" "[Before]" "Key=kept" "[Settings]" "Fullscreen=0" "Width=0" "Height=0" \
    "BitsPerPixel=256" "Extra=stays" "[After]" "Other=value"
run_and_look settings escape
check "Width=0 and Height=0 give a 640 x 480 window" \
    equals "$(field window <"$logs/settings.window" | cut -d, -f3,4)" "640,480"
check "the program ends with exit code 0" equals "$demo_status" 0
check "Width=640, Height=480 written back" \
    equals "$(ini_value Settings Width),$(ini_value Settings Height)" "640,480"
check "BitsPerPixel=256 is written back as 0" equals "$(ini_value Settings BitsPerPixel)" 0
check "other keys and sections survive the save" \
    equals "$(ini_value Before Key),$(ini_value Settings Extra),$(ini_value After Other)" \
    "kept,stays,value"

# ---- a missing object file ---------------------------------------------------------
echo "A missing data/crystal2.lwo"
rm -f "$ini_file"
broken=$work/broken
cp -r "$app" "$broken"
rm "$broken/data/crystal2.lwo"
start_demo missing "$broken"
probe messagebox 30000 >"$logs/missing.box" || true
box=$(cat "$logs/missing.box")
check "a message box with caption \"Error\" and the PreInit text" \
    equals "$(field caption <<<"$box")|$(field text <<<"$box")" "Error|$preinit_text"
check "the box has the error icon, one OK button and no owner" \
    equals "$(field icon <<<"$box"),$(field ok <<<"$box"),$(field cancel <<<"$box"),$(field owner <<<"$box")" \
    "error,1,0,none"
check "no demo window opens" equals "$(field demo-window <<<"$box")" 0
wait_demo 20
check "after OK the program ends with exit code 0" equals "$demo_status" 0
check "no settings are written" test ! -e "$ini_file"

# ---- the shell's hook order and the paths the scene never takes -------------------
echo "The shell with a recording test application"
hook_app=$build/tests/win32_hook_app.exe
hook_log=$work/hooks.log
run_hook_app() {  # run_hook_app MODE: the test application in the background
    rm -f "$hook_log"
    (cd "$work" && GLASSWAKE_HOOK_LOG="$hook_log" GLASSWAKE_HOOK_MODE="$1" exec wine "$hook_app") \
        >"$logs/hooks-$1.out" 2>&1 &
    demo_pid=$!
}
hook_line() { [ -f "$hook_log" ] && tr -d '\r' <"$hook_log" | grep "^$1" | head -n1; }

rm -f "$ini_file"
run_hook_app frame-false
wait_demo 30
cp "$hook_log" "$logs/hooks-frame-false.log" 2>/dev/null || true
check "a false Frame ends the program with exit code 0" equals "$demo_status" 0
check "PreInit runs before the window class and window exist, without GL" \
    equals "$(hook_line PreInit)" "PreInit class=0 window=0 context=0"
check "Init sees the shown window, its context, the caption and the real client size" \
    grep -qxE "Init visible=1 context=1 caption=Glasswake clientSize=([0-9]+)x([0-9]+) client=\1x\2 viewport=\1x\2" \
    <<<"$(hook_line Init)"
check "no Frame after the false one; the clock includes Init and never runs back" \
    equals "$(hook_line Shutdown)" \
    "Shutdown frames=20 firstTime>=init=1 timeNeverFell=1 contextInFrames=1 context=0 window=0 savedWidth=640"

rm -f "$ini_file"
run_hook_app init-fails
probe messagebox 30000 >"$logs/hooks-init-fails.box" || true
box=$(cat "$logs/hooks-init-fails.box")
check "a failed Init shows \"App failed to initialize.\" titled \"Fatal Blow\", owned by the window" \
    equals "$(field caption <<<"$box")|$(field text <<<"$box")|$(field owner <<<"$box")|$(field icon <<<"$box")" \
    "Fatal Blow|App failed to initialize.|VEXA_Class|error"
wait_demo 20
check "after OK the program ends with exit code 0" equals "$demo_status" 0
check "Shutdown is not called and no settings are written" \
    test -z "$(hook_line Shutdown)" -a ! -e "$ini_file"

# ---- unit tests as Windows programs ------------------------------------------------
echo "Unit tests as Windows programs"
for exe in "$build"/tests/*test_*.exe; do
    name=$(basename "$exe" .exe)
    status=0
    (cd "$build/tests" && timeout 300 wine "$exe" --gtest_brief=1) >"$logs/$name.log" 2>&1 || status=$?
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
