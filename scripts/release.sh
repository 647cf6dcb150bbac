#!/usr/bin/env bash
# Builds every release artefact and writes them to dist/, named with the
# version of project() in CMakeLists.txt:
#   glasswake_VERSION_amd64.deb            the Debian package (CPack; Depends from
#                                          the libraries linked; lintian-clean)
#   glasswake-VERSION-windows-x64.zip      the Windows build (scripts/windows.sh zip)
#   glasswake-VERSION-web.zip              the browser build, for any static web server
#   SHA256SUMS                             their checksums
#   web/                                   the browser build unpacked (what the web zip holds)
# Everything is built into a scratch folder beside dist/, which then takes
# dist/'s place whole: a failed release leaves the last one as it was.
#   scripts/release.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc 2>/dev/null || echo 2)

bash scripts/install-deps.sh
# The package is built from a clean configuration of its own, so options
# left in build/ (a sanitizer, a debug build) never reach it, and with the
# hardening flags Debian builds its own packages with.
flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLASSWAKE_WERROR=ON \
    -DGLASSWAKE_TESTS=OFF -DCMAKE_C_FLAGS="$(flags CFLAGS) $(flags CPPFLAGS)" \
    -DCMAKE_CXX_FLAGS="$(flags CXXFLAGS) $(flags CPPFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" >/dev/null
cmake --build build-release -j "$jobs"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-release/CMakeCache.txt)
scratch=$(mktemp -d "$root/.dist.new.XXXXXX")
chmod 755 "$scratch"
trap 'rm -rf "$scratch"' EXIT

deb=glasswake_${version}_amd64.deb
rm -rf build-release/packages
(cd build-release && cpack -G DEB >/dev/null)
cp "build-release/packages/$deb" "$scratch/"
echo "lintian $deb:"
lintian --fail-on error,warning "$scratch/$deb" ||
    { echo "release.sh: lintian reports errors or warnings" >&2; exit 1; }

GLASSWAKE_DIST_DIR=$scratch bash scripts/windows.sh zip
GLASSWAKE_WEB_DIR=$scratch/web bash scripts/web.sh build
(cd "$scratch/web" && zip -q -X -r "$scratch/glasswake-$version-web.zip" .)

(cd "$scratch" && sha256sum "$deb" "glasswake-$version-windows-x64.zip" \
    "glasswake-$version-web.zip" >SHA256SUMS)
# The swap: two renames, so dist/ is the old release or the new one whole.
old=$(mktemp -d "$root/.dist.old.XXXXXX")
if [ -d dist ]; then
    mv dist "$old/"
fi
mv "$scratch" dist
rm -rf "$old"
echo "dist/:"
(cd dist && ls -l "$deb" "glasswake-$version-windows-x64.zip" "glasswake-$version-web.zip" SHA256SUMS)
