#!/usr/bin/env bash
# One entry point for building, running and testing Glasswake.
#   scripts/dev.sh run       install what the demo needs, build it, start it
#   scripts/dev.sh test      install what is missing, build, run every test
#   scripts/dev.sh sanitize  the tests again, built with ASan + UBSan
#   scripts/dev.sh fuzz      short libFuzzer runs of the file readers
#   scripts/dev.sh format    check that every C++ file is clang-formatted
#   scripts/dev.sh build     configure and build only
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc 2>/dev/null || echo 2)

build() {  # build DIR [cmake options...]; $targets, if set, limits what is built
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLASSWAKE_WERROR=ON \
        -DGLASSWAKE_TESTS="${tests:-ON}" "$@" >/dev/null
    cmake --build "$dir" -j "$jobs" ${targets:+--target $targets}
}

command=${1:-}
case "$command" in
build)
    bash scripts/install-deps.sh
    build build
    ;;
run)
    # Only what the demo needs: no test tool chain, and no tests built.
    bash scripts/install-deps.sh run
    tests=OFF build build
    if [ -x build/app/sdl/glasswake ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
        exec build/app/sdl/glasswake "${@:2}"
    fi
    if [ -x build/app/sdl/glasswake ]; then
        echo "No display found (DISPLAY is not set): rendering a short clip headless instead."
        build/tools/glasswake-tool render --frames 60 --fps 30 --output-dir out/clip
        echo "Frames written to $root/out/clip/frame_00000.png ... frame_00059.png"
    else
        build/tools/glasswake-tool check .
    fi
    ;;
test)
    bash scripts/install-deps.sh
    build build
    ctest --test-dir build --output-on-failure -j "$jobs"
    bash scripts/web.sh test
    if [ -f cmake/mingw-w64-x86_64.cmake ]; then
        bash scripts/windows.sh test
    fi
    # The release artefacts, from the builds above, checked as shipped.
    bash scripts/release.sh
    bash tests/e2e_release.sh
    ;;
sanitize)
    bash scripts/install-deps.sh
    build build-asan -DGLASSWAKE_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
    # The runtime's __tls_get_addr hook can take a GL driver's thread-local
    # block that malloc placed 16 bytes into a page for an old glibc's block,
    # and record the allocator's chunk header as its range; the leak checker's
    # tracer then crashes at exit scanning it ("Tracer caught signal 11"), in
    # any run that loads the driver and starts threads. The hook is off: the
    # leak check stays on, without the dynamic thread-local blocks as roots.
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:intercept_tls_get_addr=0 \
        UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build-asan --output-on-failure -j "$jobs"
    ;;
fuzz)
    bash scripts/install-deps.sh
    seconds=${FUZZ_SECONDS:-60}
    # One clang, named in full: libFuzzer's runtime comes with its version.
    all="fuzz_lwo fuzz_bmp fuzz_obj fuzz_picture fuzz_scene"
    targets="$all" build build-fuzz -DGLASSWAKE_FUZZ=ON -DGLASSWAKE_TESTS=OFF \
        -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14
    for target in $all; do
        corpus=$(mktemp -d)
        cp fuzz/corpus/"${target#fuzz_}"/* "$corpus"/
        # Crashes and slow inputs are kept in the build folder, never in the checkout.
        artifacts=build-fuzz/artifacts/$target
        mkdir -p "$artifacts"
        echo "Fuzzing $target for $seconds s"
        # Every new block of memory is filled, not just its first 4 KiB, so
        # a read of memory never written gives the same bytes in every run.
        ASAN_OPTIONS=max_malloc_fill_size=268435456 \
            build-fuzz/fuzz/"$target" -max_total_time="$seconds" -max_len=65536 \
            -artifact_prefix="$artifacts/" -print_final_stats=1 "$corpus" 2>&1 | tail -n 12
        rm -rf "$corpus"
    done
    ;;
format)
    # One clang-format version: another formats some lines differently.
    bash scripts/install-deps.sh clang-format-14
    unformatted=$(git ls-files '*.cpp' '*.h' | while read -r file; do
        [ -n "$(clang-format-14 --dry-run "$file" 2>&1)" ] && echo "$file"
    done || true)
    if [ -n "$unformatted" ]; then
        echo "Not clang-formatted (run clang-format-14 -i on them):"
        echo "$unformatted"
        exit 1
    fi
    echo "Every C++ file is clang-formatted."
    ;;
*)
    sed -n '2,9p' "$0"
    exit 2
    ;;
esac
