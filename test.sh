#!/usr/bin/env bash
# Sets up and builds the launcher, then runs the whole test suite headless.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
# The tests also build packages and check them with lintian and appstreamcli, validate the desktop
# entry, serve updates with nginx (over TLS with certificates of their own: openssl), look at
# processes (procps), run one of their holders in Python, and run Qt on an X server of their own
# (xvfb, xauth for xvfb-run), read the window as a screen reader does on a bus of their own
# (at-spi2-core, python3-pyatspi, dbus-daemon), show it on Wayland under weston (weston,
# qtwayland5, x11-utils to find weston's window) and press its keys (xdotool).
export LAUNCHER_EXTRA_PACKAGES="dpkg-dev desktop-file-utils file lintian appstream nginx openssl procps python3 xvfb xauth at-spi2-core python3-pyatspi dbus-daemon weston qtwayland5 x11-utils xdotool ${LAUNCHER_EXTRA_PACKAGES:-}"
"$root/scripts/setup.sh"
export QT_QPA_PLATFORM=offscreen
build="${LAUNCHER_BUILD_DIR:-$root/build}"
# The Windows rows of the scenario tables run under Wine when the prebuilt Qt for Windows is at hand
# (building one from source takes about an hour: scripts/windows/build-qt.sh).
windows=""
qt_tar="${LAUNCHER_WIN_QT_TAR:-${LAUNCHER_WIN_VENDOR:-$root/../shared/vendor}/qt5-win64-5.15.8-static-schannel.tar.xz}"
if [ -e "$qt_tar" ] || [ -e "${LAUNCHER_WIN_CACHE:-$HOME/.cache/launcher-win}/qt5-win64/launcher-qt.stamp" ]; then
    windows="${LAUNCHER_WIN_BUILD_DIR:-$root/build-windows}"
    "$root/scripts/windows/build.sh" >&2
else
    echo "test.sh: the Windows rows are skipped: no prebuilt Qt for Windows at $qt_tar" >&2
fi
cmake -B "$build" -DLAUNCHER_WINDOWS_BUILD="$windows" >/dev/null
# Without a runtime directory Qt makes /tmp/runtime-<user> and leaves it there: the tests get one
# of their own in the build directory, removed afterwards.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR="$(mktemp -d "$build/runtime.XXXXXX")"
    export XDG_RUNTIME_DIR
    trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi
cd "$build"
ctest --output-on-failure -j "$(nproc 2>/dev/null || echo 2)" "$@"
