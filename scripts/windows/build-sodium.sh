#!/usr/bin/env bash
# Builds libsodium for 64-bit Windows (static, mingw-w64) once, from Debian's source package with
# its patches: include/sodium.h, lib/libsodium.a and lib/pkgconfig/libsodium.pc under the prefix,
# and a stamp saying what was built. Skipped when the stamp is there.
#   scripts/windows/build-sodium.sh  # into $LAUNCHER_WIN_CACHE/sodium-win64 (~/.cache/launcher-win)
# Needs: the mingw-w64 compiler, autoconf, automake, libtool (installed when missing) and a deb-src
# entry for the configured Debian archive (added when missing); a few minutes on 2 cores.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cache="${LAUNCHER_WIN_CACHE:-$HOME/.cache/launcher-win}"
prefix="$cache/sodium-win64"
jobs="$(nproc 2>/dev/null || echo 2)"
triple=x86_64-w64-mingw32
. "$here/packages.sh"

stamp="$prefix/launcher-sodium.stamp"
identity="libsodium for Windows x86_64, mingw-w64, static"
if [ -e "$prefix/lib/libsodium.a" ] && [ -e "$prefix/include/sodium.h" ] \
    && [ "$(head -n 1 "$stamp" 2>/dev/null)" == "$identity" ]; then
    echo "libsodium for Windows: $prefix ($(sed -n 2p "$stamp"))" >&2
    exit 0
fi

need_packages gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 dpkg-dev autoconf automake \
    libtool make
need_deb_src libsodium

# apt-get source unpacks the upstream source and applies Debian's patches.
work="$cache/src/libsodium"
rm -rf "$work"
mkdir -p "$work"
(cd "$work" && apt-get source -qq libsodium >/dev/null)
src="$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'libsodium-*' | head -n 1)"
version="$(sed -n 's/^Version: //p' "$work"/libsodium_*.dsc 2>/dev/null | head -n 1 || true)"
if [ -z "$src" ] || [ -z "$version" ]; then
    echo "apt-get source libsodium gave no source" >&2
    exit 1
fi
build="$cache/build/sodium"
rm -rf "$build" "$prefix"
mkdir -p "$build"
# step NAME COMMAND...: COMMAND's output goes to $build/NAME.log, shown when it fails.
step() {
    local name="$1"
    shift
    "$@" >"$build/$name.log" 2>&1 || { tail -n 40 "$build/$name.log" >&2; exit 1; }
}

# Debian's source has no configure script. autogen.sh would otherwise fetch newer
# config.guess and config.sub from the network; autoreconf installs the local ones.
(cd "$src" && step autogen env DO_NOT_UPDATE_CONFIG_SCRIPTS=1 ./autogen.sh)
(cd "$build" && step configure "$src/configure" --host="$triple" --prefix="$prefix" \
    --disable-shared --enable-static CC="$triple-gcc-posix")
step make make -C "$build" -j "$jobs"
step install make -C "$build" install
printf '%s\nfrom: Debian source package libsodium %s, configure --host=%s --disable-shared\n' \
    "$identity" "$version" "$triple" >"$stamp"
echo "libsodium for Windows: $prefix (built from libsodium $version)" >&2
