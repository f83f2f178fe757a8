#!/usr/bin/env bash
# Installs what the build needs (when it is missing), then configures and builds in build/.
#   scripts/setup.sh [target...]   builds only the given targets (default: everything)
# Called by run.sh and test.sh; extra CMake arguments may be given in LAUNCHER_CMAKE_ARGS.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${LAUNCHER_BUILD_DIR:-$root/build}"

# XmlPatterns only for the string-table fuzz target, which checks the reader against its query.
packages=(cmake make g++ pkg-config qtbase5-dev qtbase5-dev-tools libqt5xmlpatterns5-dev libsodium-dev
          libqt5network5 fonts-dejavu-core ${LAUNCHER_EXTRA_PACKAGES:-})

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

# What to do by hand when this script cannot install the packages itself.
as_root_hint() {
    cat >&2 <<EOF
Missing packages: ${missing[*]}
Install them once as root, then run this again:
    apt-get update && apt-get install -y --no-install-recommends ${missing[*]}
(or run this script once as root, or as a user who may use sudo).
EOF
}

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing build dependencies: ${missing[*]}" >&2
    sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null 2>&1; then
            echo "Not root, and there is no sudo to install packages with." >&2
            as_root_hint
            exit 1
        fi
        sudo="sudo"
    fi
    export DEBIAN_FRONTEND=noninteractive
    # Nothing installed here may start a service (nginx would otherwise start on port 80):
    # the tests start what they need themselves.
    policy=/usr/sbin/policy-rc.d
    own_policy=""
    status=0
    if [ ! -e "$policy" ]; then
        if printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null \
            && $sudo chmod +x "$policy"; then
            own_policy=1
        else
            status=1
        fi
    fi
    if [ "$status" -eq 0 ]; then
        $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq >&2 \
            && $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
                --no-install-recommends "${missing[@]}" >&2 || status=$?
    fi
    if [ -n "$own_policy" ]; then $sudo rm -f "$policy"; fi
    if [ "$status" -ne 0 ]; then
        echo "Installing the packages failed (exit code $status)." >&2
        as_root_hint
        exit "$status"
    fi
    # The tests only need nginx's program. Its package enables the service for boot and a default
    # site on port 80: undone when it was installed just now, so that running the tests does not
    # leave a web server behind. (An upgrade keeps a service that was disabled so.)
    if [[ " ${missing[*]} " == *" nginx "* ]]; then
        if command -v systemctl >/dev/null 2>&1; then
            $sudo systemctl disable --quiet nginx.service >&2 || true
        fi
        $sudo rm -f /etc/systemd/system/multi-user.target.wants/nginx.service
        if command -v update-rc.d >/dev/null 2>&1 && [ -e /etc/init.d/nginx ]; then
            $sudo update-rc.d nginx disable >/dev/null 2>&1 || true
        fi
        if [ -L /etc/nginx/sites-enabled/default ]; then
            $sudo rm -f /etc/nginx/sites-enabled/default
        fi
        echo "nginx installed for the tests, its service disabled and its default site off." >&2
    fi
fi

jobs="$(nproc 2>/dev/null || echo 2)"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE="${LAUNCHER_BUILD_TYPE:-RelWithDebInfo}" \
    ${LAUNCHER_CMAKE_ARGS:-} >&2
targets=()
for target in "$@"; do targets+=(--target "$target"); done
cmake --build "$build" -j "$jobs" "${targets[@]}" >&2
