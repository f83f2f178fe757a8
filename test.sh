#!/usr/bin/env bash
# Sets up and builds the launcher, then runs the whole test suite headless.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
# The tests also build packages and check them with lintian and appstreamcli, validate the desktop
# entry, serve updates with nginx (over TLS with certificates of their own: openssl), look at
# processes (procps), run one of their holders in Python, and run Qt on an X server of their own
# (xvfb, xauth for xvfb-run).
export LAUNCHER_EXTRA_PACKAGES="dpkg-dev desktop-file-utils file lintian appstream nginx openssl procps python3 xvfb xauth ${LAUNCHER_EXTRA_PACKAGES:-}"
"$root/scripts/setup.sh"
export QT_QPA_PLATFORM=offscreen
build="${LAUNCHER_BUILD_DIR:-$root/build}"
# Without a runtime directory Qt makes /tmp/runtime-<user> and leaves it there: the tests get one
# of their own in the build directory, removed afterwards.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR="$(mktemp -d "$build/runtime.XXXXXX")"
    export XDG_RUNTIME_DIR
    trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi
cd "$build"
ctest --output-on-failure -j "$(nproc 2>/dev/null || echo 2)" "$@"
