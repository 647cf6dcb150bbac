#!/usr/bin/env bash
# The browser build: the demo compiled to WebAssembly, drawing through WebGL.
#   scripts/web.sh build   install what is missing, build with emscripten, write dist/web/
#                          (or the folder GLASSWAKE_WEB_DIR names)
#   scripts/web.sh serve   build, then serve dist/web/ on http://127.0.0.1:PORT/ (PORT=8765)
#   scripts/web.sh test    build, then run the browser tests in headless Chromium, then
#                          the frame match, inputs and failures in Firefox (under Xvfb)
#   scripts/web.sh audit   build, then run Lighthouse (mobile and desktop) on it, served
#                          compressed; fails below its targets
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

build() {
    bash scripts/install-deps.sh web
    # Emscripten's JS optimizer finds its parser among Debian's node modules.
    export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
    emcmake cmake -S . -B build-web -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel -DGLASSWAKE_WERROR=ON \
        >/dev/null
    cmake --build build-web -j "$jobs"
    local web=${GLASSWAKE_WEB_DIR:-dist/web}
    rm -rf "$web"
    mkdir -p "$web/data"
    cp build-web/app/web/index.html app/web/poster.webp build-web/app/web/glasswake.js \
        build-web/app/web/glasswake.wasm "$web/"
    # Loaded only when a recording is saved, to write its duration.
    cp node_modules/fix-webm-duration/fix-webm-duration.js "$web/"
    # The files the scene opens, as the build listed them.
    xargs cp -t "$web/data/" <build-web/app/web/data_files.txt
    local bytes
    bytes=$(find "$web" -type f -printf '%s\n' | awk '{ total += $1 } END { print total }')
    echo "$web/: $((bytes / 1024)) KB in all (before compression)"
}

case "${1:-}" in
build)
    build
    ;;
serve)
    build
    port=${PORT:-8765}
    echo "Serving dist/web/ at http://127.0.0.1:$port/ (Ctrl+C stops)"
    exec python3 -m http.server "$port" --bind 127.0.0.1 --directory dist/web
    ;;
test)
    build
    if [ ! -x build/tools/glasswake-tool ]; then
        # The reference frames come from the desktop tool.
        cmake -S . -B build -G Ninja -DGLASSWAKE_WERROR=ON >/dev/null
        cmake --build build -j "$jobs" --target glasswake-tool
    fi
    node --test tests/web/
    # Firefox has no WebGL headless here: it draws in a window on Xvfb.
    GLASSWAKE_BROWSER=firefox xvfb-run -a -s "-screen 0 1280x1024x24" node --test tests/web/
    ;;
audit)
    build
    node tests/web/audit.mjs dist/web
    ;;
*)
    sed -n '2,8p' "$0"
    exit 2
    ;;
esac
