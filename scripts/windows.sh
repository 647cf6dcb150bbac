#!/usr/bin/env bash
# The Windows build: cross-compiled with mingw-w64, packed as a zip, tested under Wine.
#   scripts/windows.sh build   configure and build build-windows
#   scripts/windows.sh zip     build, then pack dist/glasswake-VERSION-windows-x64.zip
#   scripts/windows.sh test    build, zip, then run the Windows tests under Wine
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build_dir=$root/build-windows
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}

build() {
    bash scripts/install-deps.sh
    cmake -S . -B "$build_dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLASSWAKE_WERROR=ON >/dev/null
    cmake --build "$build_dir" -j "$jobs"
    # The version of project() in CMakeLists.txt names the zip.
    zip_file=${GLASSWAKE_DIST_DIR:-$root/dist}/glasswake-$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' \
        "$build_dir/CMakeCache.txt")-windows-x64.zip
}

package() {
    local exe=$build_dir/app/win32/glasswake.exe
    [ -f "$exe" ] || { echo "windows.sh: $exe not built" >&2; exit 1; }

    # The program needs only the DLLs Windows itself ships.
    local dlls
    dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print tolower($3)}' | sort)
    for dll in $dlls; do
        case "$dll" in
        opengl32.dll | glu32.dll | user32.dll | gdi32.dll | kernel32.dll | msvcrt.dll) ;;
        *)
            echo "windows.sh: glasswake.exe needs $dll, which Windows does not ship" >&2
            exit 1
            ;;
        esac
    done

    local stage
    stage=$(mktemp -d)
    mkdir -p "$stage/data"
    cp "$exe" "$stage/glasswake.exe"
    x86_64-w64-mingw32-strip "$stage/glasswake.exe"
    # The shipped data folder as it is; the program names the files it loads,
    # and the Windows suite starts the unpacked zip.
    cp data/* "$stage/data/"
    # Windows readers expect CRLF line ends in a text file.
    sed 's/$/\r/' app/win32/README-windows.txt >"$stage/README-windows.txt"
    mkdir -p "$(dirname "$zip_file")"
    rm -f "$zip_file"
    (cd "$stage" && zip -q -X -r "$zip_file" glasswake.exe data README-windows.txt)
    rm -rf "$stage"
    echo "Wrote $zip_file ($(du -k "$zip_file" | cut -f1) KiB): glasswake.exe, data/, README-windows.txt"
}

command=${1:-}
case "$command" in
build)
    build
    ;;
zip)
    build
    package
    ;;
test)
    build
    package
    bash tests/e2e_windows.sh "$build_dir" "$zip_file"
    ;;
*)
    sed -n '2,5p' "$0"
    exit 2
    ;;
esac
