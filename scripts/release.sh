#!/usr/bin/env bash
# Builds every release artefact and writes them to dist/, named with the
# version of project() in CMakeLists.txt:
#   glasswake_VERSION_amd64.deb            the Debian package (CPack; Depends from
#                                          the libraries linked; lintian-clean)
#   glasswake-VERSION-windows-x64.zip      the Windows build (scripts/windows.sh zip)
#   glasswake-VERSION-web.zip              the browser build, for any static web server
#   SHA256SUMS                             their checksums
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
mkdir -p dist
rm -f dist/glasswake_*_amd64.deb dist/glasswake-*-windows-x64.zip dist/glasswake-*-web.zip \
    dist/SHA256SUMS

deb=glasswake_${version}_amd64.deb
rm -rf build-release/packages
(cd build-release && cpack -G DEB >/dev/null)
cp "build-release/packages/$deb" dist/
echo "lintian dist/$deb:"
lintian --fail-on error "dist/$deb" || { echo "release.sh: lintian reports errors" >&2; exit 1; }

bash scripts/windows.sh zip
bash scripts/web.sh build
(cd dist/web && rm -f "$root/dist/glasswake-$version-web.zip" &&
    zip -q -X -r "$root/dist/glasswake-$version-web.zip" .)

(cd dist && sha256sum "$deb" "glasswake-$version-windows-x64.zip" "glasswake-$version-web.zip" \
    >SHA256SUMS)
echo "dist/:"
(cd dist && ls -l "$deb" "glasswake-$version-windows-x64.zip" "glasswake-$version-web.zip" SHA256SUMS)
