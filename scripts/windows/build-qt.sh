#!/usr/bin/env bash
# Provides Qt 5.15.8 for 64-bit Windows (static, mingw-w64, TLS through Schannel) once, in the
# cache: unpacked from the prebuilt tarball in shared/vendor when it is there (its checksum
# checked), built otherwise, Qt Base from Debian's source package and Qt XmlPatterns from
# shared/vendor. A stamp in the tree says which Qt it is; a cache holding another Qt (one without
# TLS, or without the stamp) is replaced.
#   scripts/windows/build-qt.sh            # into ${LAUNCHER_WIN_CACHE:-~/.cache/launcher-win}
# LAUNCHER_WIN_VENDOR chooses another vendor directory (default <repo>/../shared/vendor),
# LAUNCHER_WIN_QT_TAR another tarball (then it must exist), LAUNCHER_XMLPATTERNS_TAR another
# source of Qt XmlPatterns.
# Needs: g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 and, to build, a deb-src entry for
# the configured Debian archive (installed or added when missing), about 1.5 hours on 2 cores.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
cache="${LAUNCHER_WIN_CACHE:-$HOME/.cache/launcher-win}"
prefix="$cache/qt5-win64"
jobs="$(nproc 2>/dev/null || echo 2)"
vendor="${LAUNCHER_WIN_VENDOR:-$root/../shared/vendor}"
qt_tar="${LAUNCHER_WIN_QT_TAR:-$vendor/qt5-win64-5.15.8-static-schannel.tar.xz}"
qt_tar_sha256=51c2eaae9c543adae282b8c961834852163225fce5713e400c278e8b55967598
xmlpatterns_tar="${LAUNCHER_XMLPATTERNS_TAR:-$vendor/qtxmlpatterns-everywhere-src-5.15.8.tar.xz}"
. "$here/packages.sh"

need_packages g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools xz-utils

# The posix-threads flavour of the cross compiler (std::thread, std::mutex), whichever
# alternative the machine has selected: a directory of links first in PATH.
tools="$cache/toolchain"
mkdir -p "$tools"
for t in gcc g++ cpp; do
    ln -sf "/usr/bin/x86_64-w64-mingw32-$t-posix" "$tools/x86_64-w64-mingw32-$t"
done
export PATH="$tools:$PATH"

# The stamp: which Qt the tree is (first line) and where it came from (second line). Both ways
# give the same Qt, so either second line is taken.
stamp_file=launcher-qt.stamp
identity="Qt 5.15.8 for Windows x86_64, mingw-w64 posix threads, static, release, TLS: schannel"
from_tar="from: $(basename "$qt_tar"), sha256 $qt_tar_sha256"
from_source="from: built from source with the same flags (-ssl -schannel; .prl: -lsecur32"
from_source+=" -lcrypt32; bin/qt.conf: Prefix=..)"
built() {
    [ -e "$prefix/lib/libQt5Widgets.a" ] && [ -e "$prefix/lib/libQt5Network.a" ] \
        && [ -e "$prefix/lib/libQt5XmlPatterns.a" ] \
        && [ -e "$prefix/include/QtXmlPatterns/QXmlQuery" ] || return 1
    local first second
    { IFS= read -r first && IFS= read -r second; } 2>/dev/null <"$prefix/$stamp_file" || return 1
    [ "$first" == "$identity" ] \
        && { [ "$second" == "$from_tar" ] || [ "$second" == "$from_source" ]; }
}
if built; then
    echo "Qt for Windows: $prefix ($(sed -n 2p "$prefix/$stamp_file"))" >&2
    exit 0
fi
# replace HOW: the Qt in the cache, if any, goes; HOW says what comes in its place.
replace() {
    if [ -e "$prefix" ]; then
        local was
        was="$(paste -s -d ';' "$prefix/$stamp_file" 2>/dev/null || true)"
        echo "Qt for Windows: $prefix holds another Qt (${was:-no stamp}): $1" >&2
        rm -rf "$prefix"
    fi
}
mkdir -p "$cache"

# --- from the prebuilt tarball ------------------------------------------------------------------
if [ -n "${LAUNCHER_WIN_QT_TAR:-}" ] && [ ! -f "$qt_tar" ]; then
    echo "LAUNCHER_WIN_QT_TAR: no file $qt_tar" >&2
    exit 1
fi
if [ -f "$qt_tar" ]; then
    sum="$(sha256sum "$qt_tar" | cut -d ' ' -f 1)"
    if [ "$sum" != "$qt_tar_sha256" ]; then
        echo "$qt_tar: sha256 $sum, expected $qt_tar_sha256; not used" >&2
        exit 1
    fi
    unpack="$(mktemp -d "$cache/unpack.XXXXXX")"
    trap 'rm -rf "$unpack"' EXIT
    tar -C "$unpack" -xJf "$qt_tar"
    if [ ! -e "$unpack/qt5-win64/lib/libQt5Widgets.a" ]; then
        echo "$qt_tar holds no qt5-win64/lib/libQt5Widgets.a" >&2
        exit 1
    fi
    printf '%s\n%s\n' "$identity" "$from_tar" >"$unpack/qt5-win64/$stamp_file"
    replace "replaced by the one unpacked"
    mv "$unpack/qt5-win64" "$prefix"
    echo "Qt for Windows: $prefix (unpacked from $qt_tar)" >&2
    exit 0
fi

# --- from source ---------------------------------------------------------------------------------
echo "Qt for Windows: no $qt_tar, building from source" >&2
need_packages dpkg-dev make perl python3
replace "removed, built anew"
mkdir -p "$cache/src" "$cache/build"
src="$cache/src/qtbase-everywhere-src-5.15.8"
if [ ! -d "$src" ]; then
    orig=$(ls "$cache"/src/qtbase-opensource-src_5.15.8*.orig.tar.xz 2>/dev/null | head -n 1 \
        || true)
    if [ -z "$orig" ]; then
        need_deb_src qtbase-opensource-src
        (cd "$cache/src" \
            && { apt-get source -qq --download-only qtbase-opensource-src=5.15.8+dfsg-11+deb12u3 \
                || apt-get source -qq --download-only qtbase-opensource-src; })
        orig=$(ls "$cache"/src/qtbase-opensource-src_5.15.8*.orig.tar.xz | head -n 1)
    fi
    tar -C "$cache/src" -xf "$orig"
fi
# -no-feature-tabletevent: Debian's source drops wintab.h, which the Windows platform plugin
# includes for tablet input otherwise.
flags=(-xplatform win32-g++ -device-option CROSS_COMPILE=x86_64-w64-mingw32-
    -prefix "$prefix" -static -release -opensource -confirm-license
    -nomake examples -nomake tests -no-opengl -no-dbus -qt-zlib -qt-pcre -qt-libpng -no-libjpeg
    -ssl -schannel -no-feature-sql -no-feature-concurrent -no-icu -no-fontconfig
    -no-feature-tabletevent -platform linux-g++)
build="$cache/build/qtbase"
# A build directory configured otherwise (an earlier Qt without TLS) is started anew.
if [ "$(cat "$build/launcher-configure" 2>/dev/null)" != "${flags[*]}" ]; then
    rm -rf "$build"
fi
mkdir -p "$build"
(cd "$build" && "$src/configure" "${flags[@]}")
printf '%s\n' "${flags[*]}" >"$build/launcher-configure"
make -C "$build" -j "$jobs"
make -C "$build" install

src="$cache/src/qtxmlpatterns-everywhere-src-5.15.8"
[ -d "$src" ] || tar -C "$cache/src" -xf "$xmlpatterns_tar"
build="$cache/build/qtxmlpatterns"
rm -rf "$build"
mkdir -p "$build"
# A tarball of the module's repository: its forwarding headers are made by syncqt into the
# source tree, where a release tarball ships them. Outside a git checkout qmake installs the
# public headers listed in <source>/include/QtXmlPatterns/headers.pri, and only those.
(cd "$src" && perl "$prefix/bin/syncqt.pl" -version 5.15.8 -outdir "$src" "$src")
(cd "$build" && "$prefix/bin/qmake" "$src" && make -j "$jobs" sub-src \
    && make sub-src-install_subtargets)

# mingw-w64's import libraries are named in lower case; Qt's CMake package reads the libraries to
# link from the .prl files and fails with "Library not found: Secur32" otherwise.
find "$prefix" -name '*.prl' \
    -exec sed -i 's/-lSecur32\b/-lsecur32/g; s/-lCrypt32\b/-lcrypt32/g' {} +
# A relocatable tree.
printf '[Paths]\nPrefix=..\n' >"$prefix/bin/qt.conf"
printf '%s\n%s\n' "$identity" "$from_source" >"$prefix/$stamp_file"
echo "Qt for Windows: $prefix (built from source)" >&2
