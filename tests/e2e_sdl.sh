#!/usr/bin/env bash
# End-to-end checks of the Linux program on a virtual X display, and of the
# shell's hooks seen by a recording stand-in application.
#   e2e_sdl.sh GLASSWAKE RECORDER SOURCE_DIR WORK_DIR [COUNTED]
# GLASSWAKE may be empty (the demo is not built); its cases are then skipped.
# COUNTED is the demo built to count operator new from one swap to the next.
set -u
absolute() { [ -n "$1" ] && realpath -m "$1"; }
glasswake=$(absolute "$1")
recorder=$(absolute "$2")
source_dir=$(absolute "$3")
work=$(absolute "$4")
counted=$(absolute "${5:-}")
title='Glasswake by Orvel / Lumo [fps: +inf :-)]'
# Every start gets its folder as HOME, so the settings go to DIR/$ini and
# never into the real home; $xdg, when set, is its XDG_CONFIG_HOME instead.
ini=.config/glasswake/Brightforge.INI
xdg=

rm -rf "$work" && mkdir -p "$work"
# shellcheck source=tests/e2e_lib.sh
source "$(dirname "$0")/e2e_lib.sh"
# Leaks at exit come from the GL driver and D-Bus; the unit tests cover ours.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
start_display

has_geometry() { [[ "$(xdotool getwindowgeometry --shell "$1" 2>/dev/null | tr '\n' ' ')" == *"WIDTH=$2 HEIGHT=$3"* ]]; }
expect_settings() {  # expect_settings DIR "F W H BPP" LABEL
    check "$3: saved '$2'" equals "$(settings_of "$1/$ini")" "$2"
}

# session DIR WINDOW-REGEX ACTION PROGRAM ARGS...: starts PROGRAM in DIR, waits
# for its window (the main one until the timer renames it: the loop runs),
# calls `look ID`, ends it by ACTION (escape, return, term or none) and waits
# for exit code $expected_status (0 unless the caller sets it).
look() { :; }
title_state=""  # what the title shows after its fixed caption, from the command line
session() {
    local dir=$1 pattern=$2 action=$3 id
    shift 3
    start "$dir" "$dir/std" env -u XDG_CONFIG_HOME HOME="$dir" ${xdg:+XDG_CONFIG_HOME="$xdg"} "$@"
    if [ -n "$pattern" ]; then
        if poll 30 has_window "$pattern" && id=$(window_named "$pattern"); then
            [ "$pattern" = '^Glasswake' ] && check "the timer sets the title" poll 30 titled "$id" "$title$title_state"
            look "$id"
            case $action in
            escape) press "$id" Escape ;;
            return) press "$id" Return ;;
            term) kill -TERM "$program_pid" ;;
            esac 2>/dev/null
        else
            check "a window matching $pattern" false
        fi
    fi
    wait_exit 30
    check "exit code ${expected_status:-0} (${dir##*/} ${*:2})" equals "$status" "${expected_status:-0}"
    look() { :; }
}

if [ -n "$glasswake" ] && [ -x "$glasswake" ]; then
    run="$work/demo"
    mkdir -p "$run"
    cp -r "$source_dir/data" "$run/data"

    # smooth_edge WINDOW SHOT: the root window's top edge lies at 21.82 pixels
    # from the top of a 480-row client; of the 4 samples of row 21 (at 21.125,
    # .375, .625, .875) one is inside, so with 4 samples per pixel the row is
    # a quarter lit, with one (at 21.5) black.
    smooth_edge() {
        local X Y WIDTH HEIGHT
        eval "$(xdotool getwindowgeometry --shell "$1" | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
        (($(convert "$2" -crop "560x1+$((X + 40))+$((Y + 21))" +repage -depth 8 \
            -format '%[fx:int(255*maxima)]' info:) > 5))
    }

    # The command line: help, version and usage errors start nothing.
    cmdline() { (cd "$run" && HOME="$run" timeout 10 "$glasswake" "$@" >"$work/cl.out" 2>"$work/cl.err"); }
    cmdline --help
    check "--help: exit 0, every option listed" equals "$?$(grep -cE -- '^ +(-h, )?(-V, )?--(camera|depth|backend|size|help|version)' "$work/cl.out")" 06
    check "docs/demo.md shows --help and its keys as they are" \
        bash "$source_dir/scripts/tool_docs.sh" --check "$glasswake"
    cmdline -V
    check "-V: the version" equals "$?:$(cat "$work/cl.out")" "0:glasswake $(sed -n 's/^project(Glasswake VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")"
    for bad in "--depth 5" "--size 0x480" "--camera 1,2" "--backend=-fullscreen" "--frob" "--size"; do
        # shellcheck disable=SC2086
        cmdline $bad
        check "usage error '$bad': exit 2, one line and the pointer to --help" equals \
            "$?:$(wc -l <"$work/cl.err"):$(tail -n1 "$work/cl.err")" "2:2:Try 'glasswake --help' for more information."
    done
    check "no usage error left a settings file" test ! -e "$run/$ini"

    # First start: no settings file, windowed at the default size, 4 samples per pixel.
    look() {
        check "windowed $default_width x $default_height from the default settings" has_geometry "$1" "$default_width" "$default_height"
        sleep 1  # let the camera move; then wait until a frame shows the scene
        check "screenshot: black border, lit coloured middle" poll 20 picture_ok "$1" "$work/demo.png"
        check "4 samples per pixel: the border's edge mixes with the frame" \
            smooth_edge "$1" "$work/demo.png"
    }
    session "$run" '^Glasswake' escape "$glasswake"
    expect_settings "$run" "0 $default_width $default_height 24" "first run"
    check "one pixel format report with the display depth" \
        equals "$(grep -c '^PixelFormat Selected: [0-9]*$' "$run/std.err"),$(grep -c '^BPP: 24$' "$run/std.err")" 1,1

    # The keys, as the page has them: each checked by what it changes (the
    # title shows the state after the first key; the picture; the files).
    shot() {  # shot WINDOW FILE: the window's client area
        local X Y WIDTH HEIGHT
        eval "$(xdotool getwindowgeometry --shell "$1" | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
        import -window root -crop "${WIDTH}x$HEIGHT+$X+$Y" +repage "$2"
    }
    same() { [ "$(compare -metric AE "$1" "$2" null: 2>&1)" = 0 ]; }
    changes_picture() {  # changes_picture WINDOW KEY LABEL: the paused picture changes
        shot "$1" "$work/before.png"
        xdotool key "$2"
        check "$3" poll 10 eval "shot $1 '$work/after.png' && ! same '$work/before.png' '$work/after.png'"
    }
    titled_like() { [[ "$(xdotool getwindowname "$1" 2>/dev/null)" =~ $2 ]]; }
    export XDG_PICTURES_DIR="$work/pictures"
    one_picture() {
        local files
        files=$(ls -A "$XDG_PICTURES_DIR")
        [ "$(wc -l <<<"$files")" = 1 ] && [[ "$files" == glasswake-*.png ]] &&
            [ "$(identify -format %m%wx%h "$XDG_PICTURES_DIR/$files")" = "PNG${default_width}x$default_height" ] &&
            same "$work/still.png" "$XDG_PICTURES_DIR/$files" &&
            grep -qx "glasswake: saved $XDG_PICTURES_DIR/$files" "$run/std.out"
    }
    look() {
        local id=$1 state='Glasswake by Orvel / Lumo \[fps: \+inf :-\)\] - '
        press "$id" space
        check "Space pauses (title)" poll 10 titled_like "$id" "${state}paused, depth 2, orbit$"
        shot "$id" "$work/paused1.png" && sleep 0.5 && shot "$id" "$work/paused2.png"
        check "paused: the picture stands" same "$work/paused1.png" "$work/paused2.png"
        changes_picture "$id" Right "Right steps one frame on"
        xdotool key 0
        check "0 sets the depth (title)" poll 10 titled_like "$id" "depth 0, orbit$"
        changes_picture "$id" 4 "4: a deeper picture"
        shot "$id" "$work/plain.png"
        for key in v i question m; do
            changes_picture "$id" "$key" "$key shows over the picture"
            xdotool key "$key"
            check "$key again: the picture as it was" poll 10 eval "shot $id '$work/after.png' && same '$work/plain.png' '$work/after.png'"
        done
        xdotool key a w plus
        check "A, W, +: the camera turns, rises 5 degrees, comes 1.1 times nearer" \
            poll 10 titled_like "$id" "paused, depth 4, camera [0-9.]+,19.04,3.75$"
        xdotool mousemove --window "$id" 100 100 mousedown 1 mousemove --window "$id" 100 150 \
            sleep 1 mouseup 1 click 5
        check "a drag down held still before letting go looks from 20 degrees higher, the wheel goes farther" \
            poll 10 titled_like "$id" "camera [0-9.]+,39.04,4.14$"
        xdotool mousedown 1 mousemove --window "$id" 100 200 mouseup 1
        check "a drag let go while moving glides on, up to the highest pitch" \
            poll 10 titled_like "$id" "camera [0-9.]+,80.00,4.14$"
        xdotool click --repeat 2 --delay 100 1
        check "a double-click: back to the orbit, running" poll 10 titled_like "$id" "running, depth 4, orbit$"
        xdotool key a
        check "A: the orbit stops" poll 10 titled_like "$id" "paused, depth 4, camera"
        xdotool key o
        check "O: back to the orbit, running" poll 10 titled_like "$id" "running, depth 4, orbit$"
        xdotool key space
        check "Space pauses the orbit" poll 10 titled_like "$id" "paused, depth 4, orbit$"
        shot "$id" "$work/still.png"
        xdotool keydown p && sleep 1.5 && xdotool keyup p
        check "a held P saves one PNG of the window as shown, to the pixel (its smooth edges too), says where, leaves no hidden file" \
            poll 10 one_picture
        xdotool key f
        check "F: full screen" poll 10 has_geometry "$id" 1024 768
        xdotool key f
        check "F again: the window as it was" poll 10 has_geometry "$id" "$default_width" "$default_height"
    }
    session "$run" '^Glasswake' escape "$glasswake"
    expect_settings "$run" "0 $default_width $default_height 24" "keys change no setting"

    # Where the driver offers no framebuffer objects (Mesa told to offer
    # OpenGL 2.1 without them), P reads the window through a texture: still
    # the picture shown, samples mixed as on screen.
    look() {
        press "$1" space
        sleep 0.5
        shot "$1" "$work/still.png"
        xdotool key p
        check "without framebuffer objects P saves the picture shown, to the pixel" poll 10 one_picture
    }
    XDG_PICTURES_DIR="$work/pictures-texture" session "$run" '^Glasswake' escape \
        MESA_GL_VERSION_OVERRIDE=2.1 MESA_EXTENSION_OVERRIDE=-GL_ARB_framebuffer_object "$glasswake"

    # No heap in the frame: every input, panel and state the keys reach is
    # shown once (the GL driver compiles for each new state), then again
    # while the demo counts operator new from swap to swap.
    inputs() {
        xdotool key v i question && sleep 1
        xdotool key a w plus minus Right Left Up Down 0 4 KP_2 o && sleep 0.5
        xdotool keydown d && sleep 0.5 && xdotool keyup d
        xdotool mousemove --window "$1" 100 100 mousedown 1 mousemove --window "$1" 100 150 \
            mousemove --window "$1" 120 220 mouseup 1 click 5 click 4 && sleep 1
        xdotool key space v i question && sleep 0.5 && xdotool key space && sleep 0.5
    }
    if [ -x "$counted" ]; then
        look() {
            press "$1" o
            inputs "$1"
            kill -USR1 "$program_pid"
            inputs "$1"
        }
        session "$run" '^Glasswake' escape "$counted"
        check "no operator new in any frame after the warm-up: $(tail -n1 "$run/std.err")" grep -qE \
            '^frame allocations: ([1-9][0-9]|[0-9]{3,}) frames counted, 0 allocating' "$run/std.err"
    fi

    # A run's camera, depth and size; -fullscreen=0 still works beside them.
    look() { check "--size 500x400" has_geometry "$1" 500 400; }
    title_state=" - paused, depth 3, camera 30.00,30.00,6.00"
    session "$run" '^Glasswake' escape "$glasswake" --size=500x400 --camera 30,30,6 -fullscreen --depth 3 -fullscreen=0
    title_state=""
    expect_settings "$run" "0 $default_width $default_height 24" "the run's options are not saved"

    # The switch turns full screen on and is saved. The display has no mode
    # of the default size: the popup keeps that size over the unchanged display.
    look() { check "-fullscreen without such a mode: a popup of the default size" has_geometry "$1" "$default_width" "$default_height"; }
    session "$run" '^Glasswake' escape "$glasswake" -fullscreen
    expect_settings "$run" "1 $default_width $default_height 24" "after -fullscreen"

    # odd_settings LABEL WIDTH HEIGHT ACTION NOTES [ARGS...]: a real start and
    # end leaves the file in $run as it was (bytes, type, mode, owner) and
    # prints NOTES lines about it on stderr.
    odd_settings() {
        local label=$1 width=$2 height=$3 action=$4 notes=$5 file="$run/$ini" before
        cp "$file" "$work/expected"
        before=$(stat -c '%A %u %N' "$file")
        shift 5
        look() { check "$label: $width x $height" poll 20 has_geometry "$1" "$width" "$height"; }
        session "$run" '^Glasswake' "$action" "$glasswake" "$@"
        check "$label: type, mode, owner and bytes kept" equals \
            "$(stat -c '%A %u %N' "$file") $(cmp "$file" "$work/expected")" "$before "
        check "$label: $notes note(s), depth in effect 24" \
            equals "$(grep -c Brightforge.INI "$run/std.err"),$(grep -c '^BPP: 24$' "$run/std.err")" "$notes,1"
    }
    printf '%b' '\xEF\xBB\xBF; by hand\r\n[ Other ]\r\nWidth=1\r\n[settings]\r\njust a line\r\n  width = 640  ; wide\r\nWIDTH=900\r\nHeight=480#tall\r\nfullscreen=0\r\nBitsPerPixel = 24\r\nsamples=4 ; smooth\r\nlong=<<<END\r\nbody\r\nEND\r\n[SETTINGS]\r\nHeight=5\r\n# no final line break' >"$run/$ini"
    odd_settings "CRLF, BOM, spacing, comments, repeats" 640 480 escape 0 -fullscreen -fullscreen=0
    # The display's own mode is taken exactly; a quit request (SIGTERM) ends
    # through the same save.
    printf '%b' '[Settings]\nFullscreen = 1 ; on\nWidth=1024\nHeight=768\nBitsPerPixel=24\n' >"$run/$ini"
    odd_settings "full screen in the display's mode" 1024 768 term 0
    printf '%b' '[Settings]\nFullscreen=0\nWidth=800\nHeight=600\nBitsPerPixel=16\n' >"$run/$ini"
    chmod 0444 "$run/$ini"
    odd_settings "read-only, no 800 x 600 x 16 mode" 800 600 escape 1 -fullscreen

    # The display offers at most 4 samples per pixel: asked for 8, the demo
    # says so in one line and draws with 1, so the border's edge is hard.
    rm -f "$run/$ini"
    printf '[Settings]\nSamples=8\n' >"$run/$ini"
    look() {
        sleep 1
        check "Samples=8: a frame of the scene" poll 20 picture_ok "$1" "$work/one.png"
        check "Samples=8 not offered: the border's edge is not mixed" eval "! smooth_edge $1 $work/one.png"
    }
    session "$run" '^Glasswake' escape "$glasswake"
    check "Samples=8 not offered: one line says it draws with 1" equals \
        "$(grep -c . "$run/std.err"),$(grep -cx '8 samples per pixel are not offered here; drawing with 1' "$run/std.err")" 3,1

    # Lines of '[' once took minutes to read: now the demo starts and ends as
    # with any file (1 MiB less room for the four keys).
    rm -f "$run/$ini"
    { echo '[Settings]'; yes '[' | head -c $(((1 << 20) - 200)); } >"$run/$ini"
    look() { check "a file of '[' lines: the default size" has_geometry "$1" "$default_width" "$default_height"; }
    session "$run" '^Glasswake' term "$glasswake"
    check "the keys follow the '[' lines" equals "$(tail -n 5 "$run/$ini" | tr '\n' ' ')" \
        "Fullscreen=0 Width=$default_width Height=$default_height BitsPerPixel=24 Samples=4 "

    # Four demos with one settings file ending at once: every save is made,
    # one after the other, and the file holds one of them whole. A large
    # comment makes the saves slow enough to overlap.
    { printf ';%0700000d\n' 0; printf '[Settings]\nWidth=%d\n' "$default_width"; } >"$run/$ini"
    glasswakes() { xwininfo -root -children | grep -c '^ *0x[0-9a-f]* "Glasswake'; }
    for round in 1 2 3; do
        pids=""
        for demo in a b c d; do
            start "$run" "$run/$demo" env -u XDG_CONFIG_HOME HOME="$run" "$glasswake" \
                $([[ $demo < c ]] || echo -fullscreen)
            pids="$pids $program_pid"
        done
        poll 30 eval '[ "$(glasswakes)" = 4 ]'
        kill -TERM $pids
        codes=""
        for program_pid in $pids; do
            wait_exit 30 && codes="$codes$status"
        done
        check "four at once, round $round: exit codes '$codes', no failure, one save whole, no temporary file" \
            equals "$codes $(cat "$run"/[a-d].err | grep -c 'not saved') $(settings_of "$run/$ini" | tr -d ' ' |
                sed "s/^[01]$default_width$default_height[0-9]*$/whole/") $(head -n1 "$run/$ini" | wc -c) $(ls -A "$(dirname "$run/$ini")" |
                grep -c '^\.Brightforge')" "0000 0 whole 700002 0"
    done

    # Without a usable HOME the settings go under the user database's home,
    # never into the folder the demo started from. Ended before its save, so
    # the real home is left alone.
    start "$run" "$run/nohome" env -u HOME -u XDG_CONFIG_HOME "$glasswake"
    check "HOME unset: the note names the user database's home" poll 20 grep -qx \
        "glasswake: HOME is not set; the home the user database names, $(getent passwd "$(id -u)" | cut -d: -f6), is used" "$run/nohome.err"
    kill -9 "$program_pid" && wait_exit 10
    check "HOME unset: no settings file in the start folder" test ! -e "$run/Brightforge.INI"

    # The start-up error box ends on SIGTERM and SIGINT like any program.
    mkdir -p "$work/empty"
    for signal in TERM INT; do
        rm -f "$work/box"
        (poll 20 has_window '^Error$' && touch "$work/box") &
        (cd "$work/empty" && HOME="$work/empty" timeout -s $signal -k 5 4 "$glasswake" 2>/dev/null)
        status=$?
        wait $!
        check "SIG$signal ends the start-up error box (status $status)" eval "[ $status = 124 ] && [ -e '$work/box' ]"
    done

    # A missing object: the PreInit message, no window, no file.
    rm -f "$run/$ini" "$run/data/crystal2.lwo"
    look() { check "PreInit message without a main window" test -z "$(window_named '^Glasswake')"; }
    expected_status=1 session "$run" '^Error$' return "$glasswake"
    check "PreInit failure: no settings file" test ! -e "$run/$ini"
    check "the PreInit text and below it the file and the reason" equals \
        "$(grep -A1 '^Error: ' "$run/std.err")" "Error: App returned false on PreInit(), \
we shouldn't really continue.
data/crystal2.lwo: No such file or directory"
    check "the data folders tried are named" grep -q "looked in: $run/data, /.*/data$" "$run/std.err"

    # A scene file names its own files: the demo draws it even where the data
    # set is broken, and a mesh it cannot read is named with the reason. A
    # file name with "-fullscreen" in it is a name, not the switch.
    printf "picture = '%s/data/env.bmp'\n" "$source_dir" >"$run/x-fullscreen.toml"
    for object in base:base2 crystal1:crystal1 crystal2:crystal2 crystal3:crystal3; do
        printf "[%s]\nmesh = '%s/data/%s.lwo'\n" "${object%%:*}" "$source_dir" "${object#*:}" >>"$run/x-fullscreen.toml"
    done
    session "$run" '^Glasswake' escape "$glasswake" --scene x-fullscreen.toml
    expect_settings "$run" "0 $default_width $default_height 24" "--scene x-fullscreen.toml"
    sed "s|crystal2.lwo|crystal2-gone.lwo|" "$run/x-fullscreen.toml" >"$run/gone.toml"
    expected_status=1 session "$run" '^Error$' return "$glasswake" --scene gone.toml
    check "a scene's unreadable mesh is named with the reason" \
        grep -q "data/crystal2-gone.lwo: No such file or directory" "$run/std.err"
else
    echo "SKIP: glasswake is not built; only the stand-in application runs"
fi

# The stand-in application: hook order, clock, resize, Init and Frame failures.
recorded() {  # recorded NAME MODE WINDOW-REGEX ACTION [SETTINGS-TEXT]
    dir="$work/hooks_$1"
    mkdir -p "$dir"
    [ -n "${5:-}" ] && mkdir -p "$(dirname "$dir/$ini")" && printf '%b' "$5" >"$dir/$ini"
    GLASSWAKE_HOOK_MODE=$2 GLASSWAKE_HOOK_LOG="$dir/log" session "$dir" "$3" "$4" "$recorder"
    log=$(tr '\n' '|' <"$dir/log" 2>/dev/null)
}
look() {
    xdotool windowsize "$1" 300 200
    check "resize reaches clientSize" poll 20 grep -q '^Size 300x200$' "$dir/log"
}
xdg="$work/hooks_order/xdg" recorded order "" '^Glasswake' escape
check "hook order, contexts, caption, pixel format, clock: $log" eval '[[ "$log" == "PreInit context=0 window=0|Init context=1 visible=1 caption=Glasswake client=${default_width}x$default_height drawable=${default_width}x$default_height viewport=${default_width}x$default_height double=1 depth="*"|"*"Shutdown context=0 window=0 frames="*" first>=init=1 clockback=0 inframes=1 saved=$default_width|" ]]'
# Depth buffer of at least 24 bits. The title timer (500 ms) starts after Init
# (300 ms), the frame clock before it: about 800 ms at the first title change.
depth=$(sed -n 's/^Init .* depth=\([0-9]*\)$/\1/p' "$dir/log")
title_at=$(sed -n "s/^Title at \([0-9]*\) ms: .*/\1/p" "$dir/log")
check "depth bits '$depth', title changed at '$title_at' ms" test "${depth:-0}" -ge 24 -a "${title_at:-0}" -ge 790
check "a resized window saves the settings, not the client size, under XDG_CONFIG_HOME" \
    equals "$(settings_of "$dir/xdg/glasswake/Brightforge.INI")" "0 $default_width $default_height 24"

# A false Frame ends the loop; 256 bits read as 0, sizes no window can have
# are held to what the window system takes and saved as read.
recorded frame_false frame-false "" none \
    '[Settings]\nBitsPerPixel=256\nWidth=-2147483648\nHeight=2147483647\n'
check "no Frame after a false one: $log" grep -q '^Shutdown .* frames=20 ' "$dir/log"
check "bad window size held to 1x8192" grep -q '^Init .* client=1x8192 ' "$dir/log"
expect_settings "$dir" "0 -2147483648 2147483647 0" "false Frame"

expected_status=1 recorded init_false init-false '^Fatal Blow$' return
check "Init failure: exit code 1, the reason below the text, no Shutdown, no save" \
    equals "$status/$(tail -n 1 "$dir/std.err")/$(grep Shutdown "$dir/log")/$(test -e "$dir/$ini" && echo file)" \
    "1/the recorder was told to fail Init//"

# No reachable display: one line that says so and what draws without one,
# exit code 1, not a run with no window.
for program in "$recorder" ${glasswake:+"$glasswake"}; do
    (cd "$work" && env -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR HOME="$work" DISPLAY=:none timeout 30 "$program" 2>"$work/nodisplay.err")
    check "no display (${program##*/}): exit code 1, one line naming glasswake-tool render" equals \
        "$?:$(wc -l <"$work/nodisplay.err"):$(grep -c '^glasswake: no display.*glasswake-tool render' "$work/nodisplay.err")" 1:1:1
done

finish "Linux suite"
