# Sourced by the end-to-end suites: a private X display, counted checks,
# bounded waits, starting a program, looking at its window. The suite sets
# $work (scratch folder) and may add to cleanup via on_exit.

failures=0

# The demo's window size where the settings name none, read where the
# programs are built with it.
default_size() {
    sed -n "s/^inline constexpr int kDefault$1 = \([0-9]*\);$/\1/p" \
        "$(dirname "${BASH_SOURCE[0]}")/../scene/scene_constants.h"
}
default_width=$(default_size Width)
default_height=$(default_size Height)
if [ -z "$default_width" ] || [ -z "$default_height" ]; then
    echo "FAIL no default size in scene/scene_constants.h" && exit 1
fi
check() {  # check LABEL COMMAND...: counts a failure when COMMAND fails
    if "${@:2}"; then echo "ok   $1"; else
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
finish() {  # finish NAME: the summary and the suite's exit code
    echo "$1: $failures check(s) failed"
    [ "$failures" = 0 ]
}

program_pid=""
xvfb_pid=""
on_exit() { :; }
cleanup() {
    set +e
    [ -n "$program_pid" ] && kill -9 "$program_pid" 2>/dev/null
    on_exit
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
}
trap cleanup EXIT

# A private display; Xvfb picks a free number and reports it. Without
# -noreset the server resets whenever its last client leaves (each poll's
# xwininfo) and drops a connection made meanwhile.
start_display() {
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" \
        2>"$work/xvfb.log" &
    xvfb_pid=$!
    poll 30 test -s "$work/display" || { echo "FAIL Xvfb did not start"; exit 1; }
    export DISPLAY=":$(head -n1 "$work/display")"
    poll 30 xdpyinfo || { echo "FAIL display $DISPLAY not reachable"; exit 1; }
}

# window_named REGEX: the first top-level window whose name matches (there is
# no window manager, so every top-level window is a child of the root).
window_named() {
    xwininfo -root -children 2>/dev/null | sed -n 's/^ *\(0x[0-9a-f]*\) "\(.*\)": .*/\1 \2/p' |
        while read -r wid name; do
            [[ "$name" =~ $1 ]] && { echo "$wid"; break; }
        done
}
has_window() { [ -n "$(window_named "$1")" ]; }
titled() { [ "$(xdotool getwindowname "$1" 2>/dev/null)" = "$2" ]; }
press() {  # press WINDOW KEY: through the focus, as a user's key arrives
    timeout 10 xdotool windowfocus --sync "$1" 2>/dev/null
    xdotool key "$2"
}

# start DIR LOG PROGRAM ARGS...: runs PROGRAM in DIR, output to LOG.out/.err.
start() {
    local dir=$1 log=$2
    shift 2
    (cd "$dir" && exec "$@" >"$log.out" 2>"$log.err") &
    program_pid=$!
}
# wait_exit SECONDS: waits for the started program; status is its exit code,
# 124 when it had to be stopped.
wait_exit() {
    if poll "$1" eval "! kill -0 $program_pid"; then
        status=0
        wait "$program_pid" || status=$?
    else
        echo "     still running after $1 s; stopping it" >&2
        kill -9 "$program_pid" 2>/dev/null
        wait "$program_pid" 2>/dev/null
        status=124
    fi
    program_pid=""
}

# picture_ok WINDOW SHOT: a black border (the root view covers 1/1.1 of the
# client area, so about 4.5% of each side stays black) around a lit,
# coloured middle.
picture_ok() {
    local X Y WIDTH HEIGHT sx sy r region
    eval "$(xdotool getwindowgeometry --shell "$1" | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
    ((WIDTH > 100 && HEIGHT > 100)) && import -window root "$2" || return 1
    sx=$((WIDTH * 45 / 1000 - 4))
    sy=$((HEIGHT * 45 / 1000 - 4))
    for region in "${sx}x$HEIGHT+$X+$Y" "${sx}x$HEIGHT+$((X + WIDTH - sx))+$Y" \
        "${WIDTH}x$sy+$X+$Y" "${WIDTH}x$sy+$X+$((Y + HEIGHT - sy))"; do
        (($(convert "$2" -crop "$region" +repage -depth 8 -format '%[fx:int(255*maxima)]' info:) <= 5)) || return 1
    done
    r=$(convert "$2" -crop "$((WIDTH / 2))x$((HEIGHT / 2))+$((X + WIDTH / 4))+$((Y + HEIGHT / 4))" \
        +repage -scale '1x1!' -depth 8 -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' info:)
    awk '{ max = min = $1; for (i = 2; i <= 3; i++) { max = $i > max ? $i : max; min = $i < min ? $i : min }
           exit !(max >= 40 && max - min >= 15) }' <<<"$r"
}

# ini_value FILE SECTION KEY: the key's value as written (CRLF or LF).
ini_value() {
    [ -f "$1" ] || return 0
    tr -d '\r' <"$1" | awk -F= -v section="[$2]" -v key="$3" \
        '/^\[/ { inside = ($0 == section) } inside && $1 == key { print substr($0, length(key) + 2) }'
}
settings_of() {  # settings_of FILE: "Fullscreen Width Height BitsPerPixel" as saved
    local key out=""
    for key in Fullscreen Width Height BitsPerPixel; do out="$out $(ini_value "$1" Settings $key)"; done
    echo "${out# }"
}
