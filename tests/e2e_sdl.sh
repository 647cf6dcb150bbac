#!/usr/bin/env bash
# End-to-end checks of the Linux program on a virtual X display (no window
# manager): picture, title, Escape, settings file, full screen, start-up
# failures. Every wait is a bounded poll with limits generous enough for a
# loaded machine.
#   e2e_sdl.sh GLASSWAKE STUB_APP SOURCE_DIR WORK_DIR
# GLASSWAKE may be empty (the demo is not built); its cases are then skipped.
set -u
absolute() { [ -n "$1" ] && realpath -m "$1"; }
glasswake=$(absolute "$1")
stub=$(absolute "$2")
source_dir=$(absolute "$3")
work=$(absolute "$4")
title='Glasswake by Orvel / Lumo [fps: +inf :-)]'

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
    echo "  windows on ${DISPLAY:-}: $(xwininfo -root -children 2>&1 | grep -E '^ *0x|rror' | tr '\n' ';')"
}
pass() { echo "ok: $*"; }
check() {  # check LABEL COMMAND...: pass or fail by the command's status
    if "${@:2}" >/dev/null 2>&1; then pass "$1"; else fail "$1"; fi
}

# poll SECONDS COMMAND...: true as soon as COMMAND succeeds, tried every 0.1 s.
poll() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
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
    [ -n "$program_pid" ] && kill -9 "$program_pid" 2>/dev/null
    kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
}
trap cleanup EXIT
poll 30 test -s "$work/display" || { echo "FAIL: Xvfb did not start"; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"
poll 30 xdpyinfo || { echo "FAIL: display $DISPLAY not reachable"; exit 1; }

# window_named REGEX: the id of the first top-level window whose name matches
# (xwininfo also lists the message boxes, which have no class).
window_named() {
    xwininfo -root -children 2>/dev/null | sed -n 's/^ *\(0x[0-9a-f]*\) "\(.*\)": .*/\1 \2/p' |
        while read -r wid name; do
            [[ "$name" =~ $1 ]] && { echo "$wid"; break; }
        done
}
has_window() { [ -n "$(window_named "$1")" ]; }
titled() { [ "$(xdotool getwindowname "$1" 2>/dev/null)" = "$title" ]; }
geometry() { xdotool getwindowgeometry --shell "$1" 2>/dev/null | tr '\n' ' '; }
has_geometry() { [[ "$(geometry "$1")" == *"WIDTH=$2 HEIGHT=$3"* ]]; }
settings() {  # settings DIR: "Fullscreen Width Height BitsPerPixel" as saved
    local key out=""
    for key in Fullscreen Width Height BitsPerPixel; do
        out="$out $(sed -n "s/^$key=//p" "$1/Brightforge.INI" 2>/dev/null | tr -d '\r')"
    done
    echo "${out# }"
}
expect_settings() {  # expect_settings DIR "F W H BPP" LABEL
    local got
    got=$(settings "$1")
    [ "$got" = "$2" ] && pass "$3: saved $got" || fail "$3: saved '$got', expected '$2'"
}

# session DIR WINDOW-REGEX ACTION PROGRAM ARGS...: starts PROGRAM in DIR,
# waits for its window (the main window also until the timer has renamed it,
# so the loop runs), calls `look ID`, ends the program by ACTION (escape,
# return, term or none) and waits for it, setting exit_code. A program that
# does not end is reported with where it waits, then killed.
look() { :; }
session() {
    local dir=$1 pattern=$2 action=$3 id
    shift 3
    (cd "$dir" && exec "$@" >"$dir/stdout" 2>"$dir/stderr") &
    program_pid=$!
    if [ -n "$pattern" ]; then
        if poll 30 has_window "$pattern" && id=$(window_named "$pattern"); then
            if [ "$pattern" = '^Glasswake' ] && ! poll 30 titled "$id"; then
                fail "title is '$(xdotool getwindowname "$id")', not the timer's"
            fi
            look "$id"
            case $action in
            escape) xdotool key --window "$id" Escape ;;
            return)
                timeout 10 xdotool windowfocus --sync "$id"
                xdotool key --window "$id" Return
                ;;
            term) kill -TERM "$program_pid" ;;
            esac 2>/dev/null
        else
            fail "no window matching $pattern"
        fi
    fi
    exit_code=timeout
    if poll 30 eval "! kill -0 $program_pid"; then
        wait "$program_pid"
        exit_code=$?
    else
        echo "  still running: $(grep -E '^(State|Threads)' /proc/"$program_pid"/status | tr '\n' ' ')"
        for task in /proc/"$program_pid"/task/*; do
            echo "  thread $(cat "$task/comm") $(awk '{print $3}' "$task/stat") in $(cat "$task/wchan")"
        done 2>/dev/null
        command -v gdb >/dev/null && timeout 60 gdb -p "$program_pid" -batch \
            -ex "thread apply all bt 12" 2>&1 | grep -E '^(#|Thread)|ptrace' | head -80
        kill -9 "$program_pid" 2>/dev/null
        wait "$program_pid" 2>/dev/null
    fi
    program_pid=""
    look() { :; }
}

# picture_ok FILE: a black border around a lit, coloured middle.
picture_ok() {
    local level r g b
    for region in 20x480+0+0 20x480+620+0 640x14+0+0; do
        level=$(convert "$1" -crop "$region" +repage -depth 8 -format '%[fx:int(255*maxima+0.5)]' info:)
        ((level <= 2)) || return 1
    done
    read -r r g b <<<"$(convert "$1" -crop 320x240+160+120 +repage -scale '1x1!' -depth 8 \
        -format '%[fx:int(255*r+0.5)] %[fx:int(255*g+0.5)] %[fx:int(255*b+0.5)]' info:)"
    echo "middle mean $r $g $b" >"$1.txt"
    local max=$r min=$r c
    for c in $g $b; do
        ((c > max)) && max=$c
        ((c < min)) && min=$c
    done
    ((max >= 40 && max - min >= 15))
}
screenshot_ok() { import -window "$1" "$work/demo.png" 2>/dev/null && picture_ok "$work/demo.png"; }

if [ -n "$glasswake" ] && [ -x "$glasswake" ]; then
    run="$work/demo"
    mkdir -p "$run"
    cp -r "$source_dir/data" "$run/data"

    # First start: no settings file, windowed 640 x 480.
    look() {
        check "windowed 640 x 480 from the default settings" has_geometry "$1" 640 480
        sleep 1  # let the camera move; then wait until a frame shows the scene
        check "screenshot: black border, lit coloured middle" poll 20 screenshot_ok "$1"
        cat "$work/demo.png.txt" 2>/dev/null
    }
    session "$run" '^Glasswake' escape "$glasswake"
    check "Escape ends with exit code 0 ($exit_code)" test "$exit_code" = 0
    expect_settings "$run" "0 640 480 24" "first run"
    check "one pixel format report with the display depth" \
        test "$(grep -c '^PixelFormat Selected: [0-9]*$' "$run/stderr"),$(grep -c '^BPP: 24$' "$run/stderr")" = 1,1

    # The switch turns full screen on and is saved. The display has no
    # 640 x 480 mode: the popup keeps that size over the unchanged display.
    look() { check "-fullscreen without a 640 x 480 mode: 640 x 480 popup" has_geometry "$1" 640 480; }
    session "$run" '^Glasswake' escape "$glasswake" -fullscreen
    check "full-screen Escape exit code 0 ($exit_code)" test "$exit_code" = 0
    expect_settings "$run" "1 640 480 24" "after -fullscreen"

    # Odd settings files: a real start and end keeps every byte outside the
    # four values, and what is not a settings file of ours is left alone.
    #   odd_settings LABEL WIDTH HEIGHT ACTION NOTES APPENDED [ARGS...]
    # The file prepared in $run must come out with its type, mode and owner,
    # its bytes followed by APPENDED, and NOTES lines about it on stderr.
    odd_settings() {
        local label=$1 width=$2 height=$3 action=$4 notes=$5 file="$run/Brightforge.INI" before
        { cat "$file"; printf '%b' "$6"; } >"$work/expected" 2>/dev/null
        before=$(stat -c '%A %u %N' "$file")
        shift 6
        look() { check "$label: $width x $height" poll 20 has_geometry "$1" "$width" "$height"; }
        session "$run" '^Glasswake' "$action" "$glasswake" "$@"
        check "$label: exit code 0 ($exit_code)" test "$exit_code" = 0
        check "$label: type, mode and owner kept" test "$(stat -c '%A %u %N' "$file")" = "$before"
        [ -e "$file" ] && check "$label: bytes kept" cmp "$file" "$work/expected"
        check "$label: $notes note(s), depth in effect 24" \
            test "$(grep -c Brightforge.INI "$run/stderr"),$(grep -c '^BPP: 24$' "$run/stderr")" = "$notes,1"
    }
    printf '%b' '\xEF\xBB\xBF; by hand\r\n[ Other ]\r\nWidth=1\r\n[settings]\r\njust a line\r\n  width = 640  ; wide\r\nWIDTH=900\r\nHeight=480#tall\r\nfullscreen=0\r\nBitsPerPixel = 24\r\nlong=<<<END\r\nbody\r\nEND\r\n[SETTINGS]\r\nHeight=5\r\n# no final line break' >"$run/Brightforge.INI"
    odd_settings "CRLF, BOM, spacing, comments, repeats" 640 480 escape 0 "" -fullscreen -fullscreen=0
    printf '%b' '; no section\n# here\n[Other]\nkey with spaces = 1' >"$run/Brightforge.INI"
    odd_settings "no [Settings], no final line break" 640 480 escape 0 \
        '\n[Settings]\nFullscreen=0\nWidth=640\nHeight=480\nBitsPerPixel=24\n'
    # The display's own mode is taken exactly; a quit request (SIGTERM) ends
    # through the same save.
    printf '%b' '[Settings]\nFullscreen = 1 ; on\nWidth=1024\nHeight=768\nBitsPerPixel=24\n' >"$run/Brightforge.INI"
    odd_settings "full screen in the display's mode" 1024 768 term 0 ""
    printf '%b' '[Settings]\nWidth=800\n\0[Other]\n\x89PNG\r\n\x1a\n' >"$run/Brightforge.INI"
    odd_settings "NUL and binary bytes" 640 480 escape 1 ""
    printf '%b' '[Settings]\nFullscreen=0\nWidth=800\nHeight=600\nBitsPerPixel=16\n' >"$run/Brightforge.INI"
    chmod 0444 "$run/Brightforge.INI"
    odd_settings "read-only, no 800 x 600 x 16 mode" 800 600 escape 1 "" -fullscreen
    rm -f "$run/Brightforge.INI"
    ln -s real/none.ini "$run/Brightforge.INI"
    odd_settings "dangling link" 640 480 escape 1 ""
    check "no file created through the link" test ! -e "$run/real"

    # A missing object: the PreInit message, no window, exit code 0, no file.
    rm -f "$run/Brightforge.INI" "$run/data/crystal2.lwo"
    look() { check "PreInit message without a main window" test -z "$(window_named '^Glasswake')"; }
    session "$run" '^Error$' return "$glasswake"
    check "PreInit failure exit code 0 ($exit_code)" test "$exit_code" = 0
    check "no settings file after the PreInit failure" test ! -e "$run/Brightforge.INI"
else
    echo "SKIP: glasswake is not built; only the stand-in application runs"
fi

# The stand-in application: hook order, clock, resize, Init and Frame failures.
stub_session() {  # stub_session NAME MODE WINDOW-REGEX ACTION [SETTINGS-TEXT]
    dir="$work/stub_$1"
    mkdir -p "$dir"
    [ -n "${5:-}" ] && printf '%b' "$5" >"$dir/Brightforge.INI"
    GLASSWAKE_STUB_MODE=$2 GLASSWAKE_STUB_LOG="$dir/log" session "$dir" "$3" "$4" "$stub"
    log=$(tr '\n' '|' <"$dir/log" 2>/dev/null)
}

look() {
    xdotool windowsize "$1" 300 200
    check "resize reaches clientSize" poll 20 grep -q '^Size 300x200$' "$dir/log"
}
stub_session order "" '^Glasswake' escape
check "hook order, contexts, caption and pixel format: $log" eval '[[ "$log" == "PreInit context=0 windows=0|Init context=1 client=640x480 title=Glasswake double=1 depth="*"|"*"Shutdown context=0 frames="*" clockback=0 afterfailure=0|" ]]'
depth=$(sed -n 's/^Init .* depth=\([0-9]*\)$/\1/p' "$dir/log")
check "depth bits '$depth' for BitsPerPixel 24" test "${depth:-0}" -ge 24
# The timer starts after Init (60 ms), so the frame clock (started before
# Init) reads about 560 ms when the title first changes; the timer counts whole
# milliseconds from its own origin, so allow for rounding.
title_at=$(sed -n "s/^Title at \([0-9]*\) ms: .*/\1/p" "$dir/log")
check "title changed at '$title_at' ms" test "${title_at:-0}" -ge 550
first=$(sed -n 's/.* first=\([0-9]*\).*/\1/p' "$dir/log")
check "first frame's clock includes Init ($first ms)" test "${first:-0}" -ge 60
expect_settings "$dir" "0 640 480 24" "a resized window saves the settings, not the client size"

# A false Frame ends the loop; 256 bits read as 0, sizes no window can have
# are held to what the window system takes and saved as read.
stub_session frame_false frame-false "" none \
    '[Settings]\nBitsPerPixel=256\nWidth=-2147483648\nHeight=2147483647\n'
check "false Frame ends with exit code 0 ($exit_code)" test "$exit_code" = 0
check "no Frame after a false one: $log" grep -q '^Shutdown context=0 frames=5 .* afterfailure=0$' "$dir/log"
check "bad window size held to 1x8192" grep -q '^Init context=1 client=1x8192 ' "$dir/log"
expect_settings "$dir" "0 -2147483648 2147483647 0" "false Frame"

stub_session init_false init-false '^Fatal Blow$' return
check "Init failure exit code 0 ($exit_code)" test "$exit_code" = 0
check "no Shutdown after an Init failure" test -z "$(grep Shutdown "$dir/log")"
check "no save after an Init failure" test ! -e "$dir/Brightforge.INI"

# No reachable display: a start-up failure on stderr, not a run with no window.
(cd "$work" && DISPLAY=:none timeout 30 "$stub" 2>"$work/nodisplay.err")
check "no display: window-class failure, exit code 0 ($?)" \
    eval "[ $? = 0 ] && grep -q '^Fatal Blow: Error creating the window class' '$work/nodisplay.err'"

echo "$failures failure(s)"
[ "$failures" = 0 ]
