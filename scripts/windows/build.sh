#!/usr/bin/env bash
# Cross-builds the launcher for 64-bit Windows: build-windows/bin/launcher.exe, the demo product
# qpr.exe and the product data (resources/default_settings.ini, resources/languages/*.xml), and
# for the Windows rows of the scenario tables (./test.sh runs them under Wine) a launcher with the
# test hooks and a recording stand-in product (build-windows/check); build-windows/host is a native
# build of the one tool the build runs.
#   scripts/windows/build.sh     # Qt for Windows from build-qt.sh's cache, made there if missing
# It also builds libsodium for Windows into the cache (build-sodium.sh), which the launcher does
# not use yet; the toolchain file lets find_path/find_library find it (LAUNCHER_WIN_SODIUM).
# LAUNCHER_WIN_BUILD_DIR chooses another build directory, LAUNCHER_WIN_CACHE another cache.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
cache="${LAUNCHER_WIN_CACHE:-$HOME/.cache/launcher-win}"
build="${LAUNCHER_WIN_BUILD_DIR:-$root/build-windows}"
qt="$cache/qt5-win64"
sodium="$cache/sodium-win64"
. "$here/packages.sh"

# What it builds with, and what the Windows rows run on (Wine on an X server of its own).
need_packages cmake make icoutils g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
    wine64 xvfb xdotool g++ qtbase5-dev
nice -n 5 "$here/build-qt.sh"
nice -n 5 "$here/build-sodium.sh"

# The build writes the texts that name the product with launcher-brand, which has to run here,
# and nothing the cross compiler makes does: a native build of that tool alone comes first, and
# the cross build runs it (LAUNCHER_BRAND_TOOL).
host="$build/host"
nice -n 5 cmake -S "$root" -B "$host" -DCMAKE_BUILD_TYPE=Release -DLAUNCHER_BUILD_TESTS=OFF \
    >/dev/null
nice -n 5 cmake --build "$host" -j 2 --target launcher-brand

nice -n 5 cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PROJECT_launcher_INCLUDE="$here/checktargets.cmake" \
    -DCMAKE_TOOLCHAIN_FILE="$here/mingw-w64.cmake" -DLAUNCHER_WIN_QT="$qt" \
    -DLAUNCHER_WIN_SODIUM="$sodium" -DLAUNCHER_BRAND_TOOL="$host/tools/launcher-brand" \
    -DCMAKE_PREFIX_PATH="$qt" -DQt5_DIR="$qt/lib/cmake/Qt5" -DLAUNCHER_BUILD_TESTS=OFF >/dev/null
nice -n 5 cmake --build "$build" -j 2 --target launcher demoproduct productdata checklauncher recorder

exe="$build/bin/launcher.exe"
echo "== $exe"
x86_64-w64-mingw32-objdump -p "$exe" | grep -E '^Subsystem'
wrestool -l "$exe"
icon="$(mktemp)"
trap 'rm -f "$icon"' EXIT
wrestool -x -t 14 -n IDI_ICON1 "$exe" >"$icon"
icotool -l "$icon"
