#!/usr/bin/env bash
# Sets up and builds the launcher, then runs the whole test suite headless.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
# The tests also build packages and check them with lintian and appstreamcli, validate the desktop
# entry, serve updates with nginx (over TLS with certificates of their own: openssl), look at
# processes (procps), run one of their holders in Python, and run Qt on an X server of their own
# (xvfb), read the window as a screen reader does on a bus of their own
# (at-spi2-core, python3-pyatspi, dbus-daemon), show it on Wayland under weston (weston, each
# Qt's Wayland platform, x11-utils to find weston's window) and press its keys (xdotool).
# LAUNCHER_QT_VERSIONS: the Qts whose builds are tested, build/ with Qt 5 (as ./run.sh builds it)
# and build-qt6/ with Qt 6 (Debian's qt6-base); the Windows build is Qt 5's, tested once.
qt_versions="${LAUNCHER_QT_VERSIONS:-5 6}"
qt6_packages=""
if [[ " $qt_versions " == *" 6 "* ]]; then qt6_packages="qt6-base-dev qt6-base-dev-tools qt6-wayland"; fi
export LAUNCHER_EXTRA_PACKAGES="dpkg-dev desktop-file-utils file lintian appstream nginx openssl procps python3 xvfb at-spi2-core python3-pyatspi dbus-daemon weston qtwayland5 x11-utils xdotool $qt6_packages ${LAUNCHER_EXTRA_PACKAGES:-}"
builds=()
for qt in $qt_versions; do
    case "$qt" in
    5) build="${LAUNCHER_BUILD_DIR:-$root/build}"
       LAUNCHER_BUILD_DIR="$build" "$root/scripts/setup.sh" ;;
    6) build="${LAUNCHER_QT6_BUILD_DIR:-$root/build-qt6}"
       LAUNCHER_BUILD_DIR="$build" LAUNCHER_CMAKE_ARGS="-DQT_MAJOR_VERSION=6 ${LAUNCHER_CMAKE_ARGS:-}" \
           "$root/scripts/setup.sh" ;;
    *) echo "test.sh: LAUNCHER_QT_VERSIONS holds 5, 6 or both, not $qt" >&2; exit 1 ;;
    esac
    builds+=("$qt:$build")
done
export QT_QPA_PLATFORM=offscreen
# Without a runtime directory Qt makes /tmp/runtime-<user> and leaves it there: everything from
# here on gets one of its own in the first build directory, removed afterwards.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR="$(mktemp -d "${builds[0]#*:}/runtime.XXXXXX")"
    export XDG_RUNTIME_DIR
    trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi
# The Windows rows of the scenario tables run under Wine when the prebuilt Qt for Windows is at hand
# (building one from source takes about an hour: scripts/windows/build-qt.sh), with the first build.
windows=""
qt_tar="${LAUNCHER_WIN_QT_TAR:-${LAUNCHER_WIN_VENDOR:-$root/../shared/vendor}/qt5-win64-5.15.8-static-schannel.tar.xz}"
if [ -e "$qt_tar" ] || [ -e "${LAUNCHER_WIN_CACHE:-$HOME/.cache/launcher-win}/qt5-win64/launcher-qt.stamp" ]; then
    windows="${LAUNCHER_WIN_BUILD_DIR:-$root/build-windows}"
    "$root/scripts/windows/build.sh" >&2
else
    echo "test.sh: the Windows rows are skipped: no prebuilt Qt for Windows at $qt_tar" >&2
fi
status=0
for entry in "${builds[@]}"; do
    build="${entry#*:}"
    if [ "${entry%%:*}" = 5 ]; then
        cmake -B "$build" -DLAUNCHER_WINDOWS_BUILD="$windows" >/dev/null
    else
        cmake -B "$build" -DLAUNCHER_WINDOWS_BUILD= >/dev/null
    fi
    echo "test.sh: testing $build" >&2
    (cd "$build" && ctest --output-on-failure -j "$(nproc 2>/dev/null || echo 2)" "$@") || status=$?
done
exit "$status"
