#!/usr/bin/env bash
# Sets up and builds the launcher, then runs build/bin/launcher with the given arguments.
# Builds only what running needs (the launcher, the demo product and the product data);
# ./test.sh builds the rest in the same build directory.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
"$root/scripts/setup.sh" launcher demoproduct productdata

# Without a display there is no window system to talk to; fall back to the offscreen platform.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    export QT_QPA_PLATFORM=offscreen
fi
set +e
"${LAUNCHER_BUILD_DIR:-$root/build}/bin/launcher" "$@"
code=$?
set -e
echo "launcher exit code: $code" >&2
# The demo product is started detached; give it a moment to print before the shell prompt returns.
sleep 0.3
exit "$code"
