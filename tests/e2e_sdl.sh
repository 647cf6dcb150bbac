#!/usr/bin/env bash
# End-to-end checks of the Linux program on a virtual X display (no window
# manager): picture, title, Escape, settings file, full screen, start-up
# failures. Every wait is a bounded poll.
#   e2e_sdl.sh GLASSWAKE STUB_APP SOURCE_DIR WORK_DIR
# GLASSWAKE may be empty (the demo is not built); its cases are then skipped.
set -u
absolute() { [ -n "$1" ] && realpath -m "$1"; }
glasswake=$(absolute "$1")
stub=$(absolute "$2")
source_dir=$(absolute "$3")
work=$(absolute "$4")

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
    echo "  windows: $(xwininfo -root -children 2>/dev/null | grep '^ *0x' | tr '\n' ';')"
}
pass() { echo "ok: $*"; }

# Poll COMMAND every 0.1 s for up to SECONDS; true as soon as it succeeds.
poll() {
    local seconds=$1
    shift
    local tries=$((seconds * 10))
    for ((i = 0; i < tries; i++)); do
        if "$@" >/dev/null 2>&1; then
            return 0
        fi
        sleep 0.1
    done
    return 1
}

rm -rf "$work"
mkdir -p "$work"

# In a sanitizer build, leak reports would come from the GL driver and D-Bus
# libraries, unloaded at exit; the unit tests cover the shell's own memory.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

# A private display; Xvfb picks a free number and reports it.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
program_pid=""
cleanup() {
    if [ -n "$program_pid" ]; then kill "$program_pid" 2>/dev/null; fi
    kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
}
trap cleanup EXIT
poll 10 test -s "$work/display" || { echo "FAIL: Xvfb did not start"; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"
poll 10 xdpyinfo || { echo "FAIL: display $DISPLAY not reachable"; exit 1; }
echo "display $DISPLAY"

# start DIR PROGRAM ARGS...: runs PROGRAM in DIR in the background.
start() {
    local dir=$1
    shift
    (cd "$dir" && exec "$@" >"$dir/stdout" 2>"$dir/stderr") &
    program_pid=$!
}

# finish: waits (bounded) for the program and sets exit_code; a program that
# does not end is reported with where it waits, then killed.
finish() {
    exit_code=timeout
    if poll 15 bash -c "! kill -0 $program_pid"; then
        wait "$program_pid"
        exit_code=$?
    else
        echo "  still running, waiting in: $(cat /proc/"$program_pid"/wchan 2>/dev/null)"
        if command -v gdb >/dev/null; then
            gdb -p "$program_pid" -batch -ex "thread apply all bt 12" 2>/dev/null | grep '^#'
        fi
        kill -9 "$program_pid" 2>/dev/null
        wait "$program_pid" 2>/dev/null
    fi
    program_pid=""
}

# window_named NAME-REGEX: prints the id of the first top-level window whose
# name matches (xwininfo also lists the message boxes, which have no class).
window_named() {
    xwininfo -root -children 2>/dev/null |
        sed -n 's/^ *\(0x[0-9a-f]*\) "\(.*\)": .*/\1 \2/p' |
        while read -r id name; do
            if [[ "$name" =~ $1 ]]; then
                echo "$id"
                break
            fi
        done
}

# wait_window REGEX: polls for the window and prints its id.
wait_window() {
    local id=""
    for ((i = 0; i < 150; i++)); do
        id=$(window_named "$1")
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# wait_running ID: polls until the title timer has renamed the window, so the
# main loop runs.
wait_running() {
    poll 10 bash -c "[ \"\$(xdotool getwindowname $1 2>/dev/null)\" = '$title' ]"
}

geometry() { xdotool getwindowgeometry --shell "$1" | tr '\n' ' '; }

# mean_rgb FILE GEOMETRY: the mean colour of a region, 0..255 per channel.
mean_rgb() {
    convert "$1" -crop "$2" +repage -scale '1x1!' -depth 8 \
        -format '%[fx:int(255*r+0.5)] %[fx:int(255*g+0.5)] %[fx:int(255*b+0.5)]' info:
}
# max_level FILE GEOMETRY: the brightest channel value of a region, 0..255.
max_level() {
    convert "$1" -crop "$2" +repage -depth 8 -format '%[fx:int(255*maxima+0.5)]' info:
}

settings_value() { sed -n "s/^$2=//p" "$1/Brightforge.INI" | tr -d '\r'; }

expect_settings() {  # DIR FULLSCREEN WIDTH HEIGHT BPP LABEL
    local got
    got="$(settings_value "$1" Fullscreen) $(settings_value "$1" Width)"
    got="$got $(settings_value "$1" Height) $(settings_value "$1" BitsPerPixel)"
    if [ "$got" = "$2 $3 $4 $5" ]; then
        pass "$6: saved settings $got"
    else
        fail "$6: saved settings '$got', expected '$2 $3 $4 $5'"
    fi
}

title='Glasswake by Orvel / Lumo [fps: +inf :-)]'

if [ -n "$glasswake" ] && [ -x "$glasswake" ]; then
    run="$work/demo"
    mkdir -p "$run"
    cp -r "$source_dir/data" "$run/data"

    # First start: no settings file, windowed 640 x 480.
    start "$run" "$glasswake"
    if id=$(wait_window '^Glasswake'); then
        geo=$(geometry "$id")
        case "$geo" in
        *"WIDTH=640 HEIGHT=480"*) pass "windowed size from the default settings" ;;
        *) fail "windowed geometry: $geo" ;;
        esac
        if wait_running "$id"; then
            pass "title set by the timer"
        else
            fail "title is '$(xdotool getwindowname "$id")'"
        fi
        sleep 1  # let the camera move and a few frames draw
        import -window "$id" "$work/demo.png"
        border=$(max_level "$work/demo.png" 20x480+0+0)
        border_right=$(max_level "$work/demo.png" 20x480+620+0)
        border_top=$(max_level "$work/demo.png" 640x14+0+0)
        read -r r g b <<<"$(mean_rgb "$work/demo.png" 320x240+160+120)"
        echo "border max $border $border_right $border_top, middle mean $r $g $b"
        if [ "$border" -le 2 ] && [ "$border_right" -le 2 ] && [ "$border_top" -le 2 ]; then
            pass "black border"
        else
            fail "border not black ($border $border_right $border_top)"
        fi
        max=$r min=$r
        for c in $g $b; do
            ((c > max)) && max=$c
            ((c < min)) && min=$c
        done
        if ((max >= 40 && max - min >= 15)); then
            pass "lit, coloured middle"
        else
            fail "middle mean $r $g $b is not lit and coloured"
        fi
        xdotool key --window "$id" Escape 2>/dev/null
    else
        fail "no window appeared"
    fi
    finish
    [ "$exit_code" = 0 ] && pass "Escape ends with exit code 0" || fail "exit code $exit_code after Escape"
    expect_settings "$run" 0 640 480 24 "first run"
    report=$(cat "$run/stderr")
    if [ "$(grep -c '^PixelFormat Selected: [0-9]*$' "$run/stderr")" = 1 ] &&
        [ "$(grep -c '^BPP: 24$' "$run/stderr")" = 1 ]; then
        pass "pixel format report: $(echo "$report" | tr '\n' ' ')"
    else
        fail "pixel format report: '$report'"
    fi

    # The switch turns full screen on, covering the screen, and is saved.
    start "$run" "$glasswake" -fullscreen
    if id=$(wait_window '^Glasswake'); then
        if poll 10 bash -c "xdotool getwindowgeometry --shell $id | grep -q WIDTH=1024 &&
                            xdotool getwindowgeometry --shell $id | grep -q HEIGHT=768"; then
            pass "full screen covers the screen: $(geometry "$id")"
        else
            fail "full-screen geometry: $(geometry "$id")"
        fi
        xdotool key --window "$id" Escape 2>/dev/null
    else
        fail "no full-screen window"
    fi
    finish
    [ "$exit_code" = 0 ] || fail "exit code $exit_code after full-screen Escape"
    expect_settings "$run" 1 640 480 24 "after -fullscreen"

    # The saved setting alone gives full screen; a quit request (SIGTERM)
    # ends through the same save.
    start "$run" "$glasswake"
    if id=$(wait_window '^Glasswake'); then
        if poll 10 bash -c "xdotool getwindowgeometry --shell $id | grep -q WIDTH=1024"; then
            pass "full screen again from the saved setting"
        else
            fail "second start geometry: $(geometry "$id")"
        fi
        kill -TERM "$program_pid"
    else
        fail "no window on the second full-screen start"
    fi
    finish
    [ "$exit_code" = 0 ] && pass "quit request ends with exit code 0" ||
        fail "exit code $exit_code after SIGTERM"
    expect_settings "$run" 1 640 480 24 "after the quit request"

    # -fullscreen=0 wins over -fullscreen.
    start "$run" "$glasswake" -fullscreen -fullscreen=0
    if id=$(wait_window '^Glasswake'); then
        wait_running "$id" || fail "-fullscreen=0: title not set"
        case "$(geometry "$id")" in
        *"WIDTH=640 HEIGHT=480"*) pass "-fullscreen=0 wins: windowed" ;;
        *) fail "-fullscreen -fullscreen=0 geometry: $(geometry "$id")" ;;
        esac
        xdotool key --window "$id" Escape 2>/dev/null
    else
        fail "no window with -fullscreen=0"
    fi
    finish
    expect_settings "$run" 0 640 480 24 "after -fullscreen=0"

    # A missing object: the PreInit message, no window, exit code 0, no file.
    rm -f "$run/Brightforge.INI" "$run/data/crystal2.lwo"
    start "$run" "$glasswake"
    if id=$(wait_window '^Error$'); then
        pass "PreInit message shown"
        [ -z "$(window_named '^Glasswake')" ] && pass "no main window" || fail "a main window opened"
        xdotool key --window "$id" Return 2>/dev/null
    else
        fail "no PreInit message"
    fi
    finish
    [ "$exit_code" = 0 ] && pass "PreInit failure exit code 0" ||
        fail "exit code $exit_code after the PreInit message"
    [ ! -e "$run/Brightforge.INI" ] && pass "no settings file written" ||
        fail "settings file written after PreInit failure"
else
    echo "SKIP: glasswake is not built; only the stand-in application runs"
fi

# The stand-in application: hook order, clock, resize, Init and Frame failures.
stub_run() {  # DIR MODE ARGS...
    local dir=$1 mode=$2
    shift 2
    mkdir -p "$dir"
    rm -f "$dir/log"
    GLASSWAKE_STUB_MODE=$mode GLASSWAKE_STUB_LOG="$dir/log" start "$dir" "$stub" "$@"
}

dir="$work/stub_order"
stub_run "$dir" ""
if id=$(wait_window '^Glasswake'); then
    wait_running "$id" || fail "stand-in: title not set"
    xdotool windowsize "$id" 300 200
    poll 10 grep -q '^Size 300x200$' "$dir/log" && pass "resize reaches clientSize" ||
        fail "resize not seen: $(tr '\n' ' ' <"$dir/log")"
    xdotool key --window "$id" Escape 2>/dev/null
else
    fail "stand-in: no window"
fi
finish
log=$(tr '\n' '|' <"$dir/log")
case "$log" in
"PreInit context=0 windows=0|Init context=1 client=640x480 title=Glasswake double=1 depth="*"|"*"Shutdown context=0 frames="*" clockback=0 afterfailure=0|")
    pass "hook order, contexts, caption and pixel format: $log" ;;
*) fail "hook log: $log" ;;
esac
grep -q '^Size 300x200$' "$dir/log" || fail "resize not in the log"
depth=$(sed -n 's/^Init .* depth=\([0-9]*\)$/\1/p' "$dir/log")
[ -n "$depth" ] && ((depth >= 24)) && pass "depth bits $depth for BitsPerPixel 24" ||
    fail "depth bits '$depth'"
# The timer starts after Init, so the frame clock (started before Init) reads
# at least Init's time plus one period when the title first changes.
title_at=$(grep -F "ms: $title" "$dir/log" | sed -n 's/^Title at \([0-9]*\) ms: .*/\1/p')
[ -n "$title_at" ] && ((title_at >= 560)) && pass "title changed at $title_at ms" ||
    fail "title change: '$(grep Title "$dir/log")'"
first=$(sed -n 's/.* first=\([0-9]*\).*/\1/p' "$dir/log")
[ -n "$first" ] && ((first >= 60)) && pass "first frame's clock includes Init ($first ms)" ||
    fail "first frame time '$first'"
expect_settings "$dir" 0 640 480 24 "resized window saves the settings, not the client size"

dir="$work/stub_frame_false"
stub_run "$dir" frame-false
finish
[ "$exit_code" = 0 ] && pass "false Frame ends with exit code 0" || fail "false Frame: exit $exit_code"
grep -q '^Shutdown context=0 frames=5 .* afterfailure=0$' "$dir/log" &&
    pass "no Frame after a false one" || fail "false Frame log: $(tr '\n' ' ' <"$dir/log")"
expect_settings "$dir" 0 640 480 24 "false Frame saves"

dir="$work/stub_bpp256"
mkdir -p "$dir"
printf '; kept\n[Settings]\nBitsPerPixel=256\n[Other]\nKey=1\n' >"$dir/Brightforge.INI"
stub_run "$dir" frame-false
finish
[ "$exit_code" = 0 ] || fail "BitsPerPixel=256: exit $exit_code"
expect_settings "$dir" 0 640 480 0 "BitsPerPixel=256 reads as 0"
grep -q '^; kept$' "$dir/Brightforge.INI" && grep -q '^Key=1$' "$dir/Brightforge.INI" &&
    pass "other lines kept" || fail "other lines lost: $(cat "$dir/Brightforge.INI")"

# More bits than the 24-bit display offers: the closest format still opens.
dir="$work/stub_bpp32"
mkdir -p "$dir"
printf '[Settings]\nBitsPerPixel=32\n' >"$dir/Brightforge.INI"
stub_run "$dir" frame-false
finish
[ "$exit_code" = 0 ] && grep -q '^Shutdown context=0 frames=5 ' "$dir/log" &&
    pass "BitsPerPixel=32 on a 24-bit display runs" ||
    fail "BitsPerPixel=32: exit $exit_code, log $(tr '\n' ' ' <"$dir/log")"
expect_settings "$dir" 0 640 480 32 "BitsPerPixel=32 kept"

# Sizes no window can have: held to what the window system takes, saved as read.
dir="$work/stub_bad_size"
mkdir -p "$dir"
printf '[Settings]\nWidth=-5\nHeight=100000\n' >"$dir/Brightforge.INI"
stub_run "$dir" frame-false
finish
[ "$exit_code" = 0 ] && grep -q '^Init context=1 client=1x8192 ' "$dir/log" &&
    pass "bad window size held to 1x8192" ||
    fail "bad size: exit $exit_code, log $(tr '\n' ' ' <"$dir/log")"
expect_settings "$dir" 0 -5 100000 24 "bad size saved as read"

dir="$work/stub_unwritable"
mkdir -p "$dir/Brightforge.INI"
stub_run "$dir" frame-false
finish
[ "$exit_code" = 0 ] && [ -d "$dir/Brightforge.INI" ] &&
    [ "$(ls -A "$dir" | grep -vc '^\(log\|stdout\|stderr\|Brightforge.INI\)$')" = 0 ] &&
    pass "unwritable settings: exit 0, nothing changed" || fail "unwritable settings: exit $exit_code"

dir="$work/stub_init_false"
stub_run "$dir" init-false
if id=$(wait_window '^Fatal Blow$'); then
    pass "Init message shown"
    xdotool windowfocus --sync "$id" 2>/dev/null
    xdotool key --window "$id" Return 2>/dev/null
else
    fail "no Init message"
fi
finish
[ "$exit_code" = 0 ] && pass "Init failure exit code 0" || fail "Init failure: exit $exit_code"
grep -q Shutdown "$dir/log" && fail "Shutdown ran after an Init failure" || pass "no Shutdown"
[ ! -e "$dir/Brightforge.INI" ] && pass "no save after an Init failure" || fail "saved after Init failure"

echo "$failures failure(s)"
[ "$failures" = 0 ]
