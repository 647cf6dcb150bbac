#!/usr/bin/env bash
# Installs the Debian packages Glasswake needs to build, test and run, or
# only the ones named on the command line (e.g. clang-format-14 for the
# format check). Only missing packages are installed; uses sudo when not run
# as root.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git zip unzip
  libgtest-dev libgmock-dev libbenchmark-dev
  libgl1-mesa-dev libglu1-mesa-dev libegl1-mesa-dev libgl1-mesa-dri
  libpng-dev zlib1g-dev libsdl2-dev libpolyclipping-dev
  xvfb xauth xfonts-base xdotool x11-apps x11-utils imagemagick
  clang-14 libclang-rt-14-dev clang-format-14
  g++-mingw-w64-x86-64 wine wine64
)

if [ $# -gt 0 ]; then
  packages=("$@")
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
