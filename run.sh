#!/usr/bin/env bash
# Sets up and builds the launcher, then runs build/bin/launcher with the given arguments.
# Builds only what running needs (the launcher, the demo product and the product data);
# ./test.sh builds the rest in the same build directory.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
build="${LAUNCHER_BUILD_DIR:-$root/build}"
"$root/scripts/setup.sh" launcher demoproduct productdata
# Without a runtime directory Qt makes /tmp/runtime-<user> and leaves it there.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR="$build/runtime"
    mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
fi

# Without a display a start that shows nothing runs on Qt's offscreen platform. A window there
# would wait for ever for a click nobody can make: the window of -f, and the update question of
# a build whose settings name a locale (it asks the download server). Those end with the
# launcher's code for "no window system" instead.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    window=""
    for ((i = 1; i <= $#; i++)); do
        case "${!i}" in
        -l) i=$((i + 1)) ;; # its value is never an option
        -f) window="the launcher window (-f)" ;;
        esac
    done
    settings="$(sed -n 's/^LAUNCHER_SETTINGS_FILE:[A-Z]*=//p' "$build/CMakeCache.txt")"
    if [ -z "$window" ] && tr -d '\r' <"$settings" | awk '/^\[/ { target = $0 == "[target]" }
            target && /^[ \t]*locale[ \t]*=[ \t]*[^ \t]/ { found = 1 } END { exit !found }'; then
        window="the update question of a build with a locale"
    fi
    if [ -n "$window" ]; then
        echo "run.sh: no display (DISPLAY and WAYLAND_DISPLAY are unset) for $window;" \
            "nothing was started" >&2
        exit 2
    fi
    export QT_QPA_PLATFORM=offscreen
fi
set +e
"$build/bin/launcher" "$@"
code=$?
set -e
echo "launcher exit code: $code" >&2
# The demo product is started detached; give it a moment to print before the shell prompt returns.
sleep 0.3
exit "$code"
