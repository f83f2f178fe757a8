#!/usr/bin/env bash
# Builds Qt 5.15.8 for 64-bit Windows (static, mingw-w64) once: Qt Base from Debian's source
# package, Qt XmlPatterns from shared/vendor. What is already built is skipped.
#   scripts/windows/build-qt.sh            # into ${LAUNCHER_WIN_CACHE:-~/.cache/launcher-win}
# Needs: g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 (installed when missing), a deb-src
# entry for the configured Debian archive (added when missing), about 1.5 hours on 2 cores.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
cache="${LAUNCHER_WIN_CACHE:-$HOME/.cache/launcher-win}"
prefix="$cache/qt5-win64"
jobs="$(nproc 2>/dev/null || echo 2)"
xmlpatterns_tar="${LAUNCHER_XMLPATTERNS_TAR:-$root/../shared/vendor/qtxmlpatterns-everywhere-src-5.15.8.tar.xz}"
mkdir -p "$cache/src" "$cache/build"

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
need=()
for p in g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools dpkg-dev xz-utils perl python3; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

# The posix-threads flavour of the cross compiler (std::thread, std::mutex), whichever
# alternative the machine has selected: a directory of links first in PATH.
tools="$cache/toolchain"
mkdir -p "$tools"
for t in gcc g++ cpp; do ln -sf "/usr/bin/x86_64-w64-mingw32-$t-posix" "$tools/x86_64-w64-mingw32-$t"; done
export PATH="$tools:$PATH"

if [ ! -e "$prefix/lib/libQt5Widgets.a" ]; then
    src="$cache/src/qtbase-everywhere-src-5.15.8"
    if [ ! -d "$src" ]; then
        orig=$(ls "$cache"/src/qtbase-opensource-src_5.15.8*.orig.tar.xz 2>/dev/null | head -n 1 || true)
        if [ -z "$orig" ]; then
            if ! grep -rqs '^Types: deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
                sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
                    | $sudo tee /etc/apt/sources.list.d/launcher-deb-src.sources >/dev/null
            fi
            $sudo apt-get update -qq
            (cd "$cache/src" && apt-get source -qq --download-only qtbase-opensource-src=5.15.8+dfsg-11+deb12u3 \
                || apt-get source -qq --download-only qtbase-opensource-src)
            orig=$(ls "$cache"/src/qtbase-opensource-src_5.15.8*.orig.tar.xz | head -n 1)
        fi
        tar -C "$cache/src" -xf "$orig"
    fi
    build="$cache/build/qtbase"
    mkdir -p "$build"
    # -no-feature-tabletevent: Debian's source drops wintab.h, which the Windows platform plugin
    # includes for tablet input otherwise.
    (cd "$build" && "$src/configure" -xplatform win32-g++ -device-option CROSS_COMPILE=x86_64-w64-mingw32- \
        -prefix "$prefix" -static -release -opensource -confirm-license \
        -nomake examples -nomake tests -no-opengl -no-dbus -qt-zlib -qt-pcre -qt-libpng -no-libjpeg \
        -no-ssl -no-feature-sql -no-feature-concurrent -no-icu -no-fontconfig -no-feature-tabletevent \
        -platform linux-g++)
    make -C "$build" -j "$jobs"
    make -C "$build" install
fi

# Done when the library and its public headers are installed.
if [ ! -e "$prefix/lib/libQt5XmlPatterns.a" ] || [ ! -e "$prefix/include/QtXmlPatterns/QXmlQuery" ]; then
    src="$cache/src/qtxmlpatterns-everywhere-src-5.15.8"
    [ -d "$src" ] || tar -C "$cache/src" -xf "$xmlpatterns_tar"
    build="$cache/build/qtxmlpatterns"
    rm -rf "$build"
    mkdir -p "$build"
    # A tarball of the module's repository: its forwarding headers are made by syncqt into the
    # source tree, where a release tarball ships them. Outside a git checkout qmake installs the
    # public headers listed in <source>/include/QtXmlPatterns/headers.pri, and only those.
    (cd "$src" && perl "$prefix/bin/syncqt.pl" -version 5.15.8 -outdir "$src" "$src")
    (cd "$build" && "$prefix/bin/qmake" "$src" && make -j "$jobs" sub-src && make sub-src-install_subtargets)
fi
echo "Qt for Windows: $prefix" >&2
