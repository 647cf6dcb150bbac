#!/usr/bin/env bash
# Installs the Debian packages Glasswake needs. Only missing packages are
# installed; uses sudo when not run as root.
#   scripts/install-deps.sh       everything: building, running and every test
#   scripts/install-deps.sh run   only what building and running the Linux demo
#                                 (and its tool) needs
#   scripts/install-deps.sh web   everything, plus the browser build and its
#                                 test driver: emscripten, Chromium, Firefox, Node.js
#                                 with npm, and the npm packages pinned in
#                                 package-lock.json
#   scripts/install-deps.sh PACKAGE...  only the named packages (e.g.
#                                 clang-format-14 for the format check)
# While another package manager holds apt's lock, it waits up to 10 minutes
# (GLASSWAKE_APT_LOCK_WAIT=SECONDS to change that).
set -euo pipefail
cd "$(dirname "$0")/.."

# Compiler, build tools, and the libraries the demo and the tool link.
run_packages=(
  build-essential cmake ninja-build pkg-config
  libgl1-mesa-dev libglu1-mesa-dev libegl1-mesa-dev libgl1-mesa-dri
  libpng-dev zlib1g-dev libsdl2-dev
  help2man  # the tool's manual pages, from its --help
  libstb-dev libtomlplusplus-dev  # pictures people bring (PNG, JPEG), scene files, the demo's text
)
# The tests, benchmarks, fuzzing, pictures of docs/, the Windows build under
# Wine, and the release checks.
test_packages=(
  git zip unzip libgtest-dev libgmock-dev libbenchmark-dev libpolyclipping-dev
  xvfb xauth xfonts-base xdotool x11-apps x11-utils imagemagick python3-matplotlib python3-pil python3-numpy
  ffmpeg  # the tool's video output (optional for users); the tests decode its videos
  clang-14 libclang-rt-14-dev clang-format-14
  g++-mingw-w64-x86-64 wine wine64
  lintian desktop-file-utils appstream librsvg2-bin
  parallel  # the chunked-clip recipe of docs/tool.md
)
packages=("${run_packages[@]}" "${test_packages[@]}")

web=false
if [ "${1:-}" = web ]; then
  web=true
  # Chromium brings SwiftShader, so WebGL runs without a GPU; Firefox is the
  # second engine the browser tests run in.
  packages+=(emscripten chromium firefox-esr)
  # A Node.js from elsewhere (it ships its own npm) is used as it is.
  command -v node >/dev/null 2>&1 || packages+=(nodejs)
  command -v npm >/dev/null 2>&1 || packages+=(npm)
elif [ "${1:-}" = run ]; then
  packages=("${run_packages[@]}")
elif [ $# -gt 0 ]; then
  packages=("$@")
fi

npm_modules() {
  # The test driver, exactly as locked; it fetches no browser of its own. A
  # copy of the lock file marks a finished install.
  if $web && ! cmp -s package-lock.json node_modules/.installed-lock.json; then
    PUPPETEER_SKIP_DOWNLOAD=1 npm ci --ignore-scripts --no-audit --no-fund --loglevel=error
    cp package-lock.json node_modules/.installed-lock.json
  fi
}

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  npm_modules
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi

# Another package manager (on a freshly booted desktop, usually the automatic
# updates) may hold apt's locks for a while: wait for it, saying so, for at
# most GLASSWAKE_APT_LOCK_WAIT seconds. apt-get's own lock timeout covers
# the dpkg lock but not the package lists' lock, so every apt-get is retried
# for as long as it fails on a lock alone.
lock_wait=${GLASSWAKE_APT_LOCK_WAIT:-600}
case "$lock_wait" in
'' | *[!0-9]*)
  echo "GLASSWAKE_APT_LOCK_WAIT must be a number of seconds, not '$lock_wait'" >&2
  exit 2
  ;;
esac
apt_get() {
  local deadline=$((SECONDS + lock_wait)) errors holder waiting=false
  errors=$(mktemp)
  while true; do
    if $sudo apt-get "$@" 2>"$errors"; then
      cat "$errors" >&2
      rm -f "$errors"
      $waiting && echo "The package lock is free again; went on."
      return 0
    fi
    holder=$(grep -m 1 -e 'Could not get lock' -e 'Unable to acquire the dpkg' \
      -e 'Unable to lock' "$errors" || true)
    if [ -z "$holder" ]; then
      cat "$errors" >&2
      rm -f "$errors"
      return 1
    fi
    if [ "$SECONDS" -ge "$deadline" ]; then
      rm -f "$errors"
      echo "Gave up after waiting $lock_wait s for another package manager: ${holder#E: }" >&2
      echo "Let it finish (or stop it), then run this again;" \
        "GLASSWAKE_APT_LOCK_WAIT=SECONDS waits longer." >&2
      return 1
    fi
    if ! $waiting; then
      echo "Waiting up to $lock_wait s for another package manager to finish: ${holder#E: }" >&2
      waiting=true
    fi
    sleep $((deadline - SECONDS < 5 ? deadline - SECONDS : 5))
  done
}

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt_get update -qq
apt_get install -y -qq --no-install-recommends "${missing[@]}"
npm_modules
