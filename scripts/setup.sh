#!/usr/bin/env bash
# Installs what the build needs (when it is missing), then configures and builds in build/.
# Sourced by run.sh and test.sh; extra CMake arguments may be given in LAUNCHER_CMAKE_ARGS.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${LAUNCHER_BUILD_DIR:-$root/build}"

packages=(cmake make g++ pkg-config qtbase5-dev qtbase5-dev-tools libqt5xmlpatterns5-dev
          libqt5network5 fonts-dejavu-core ${LAUNCHER_EXTRA_PACKAGES:-})

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing build dependencies: ${missing[*]}" >&2
    sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    export DEBIAN_FRONTEND=noninteractive
    # Nothing installed here may start a service (nginx would otherwise start on port 80):
    # the tests start what they need themselves.
    policy=/usr/sbin/policy-rc.d
    own_policy=""
    if [ ! -e "$policy" ]; then
        printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
        $sudo chmod +x "$policy"
        own_policy=1
    fi
    $sudo apt-get update -qq >&2
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2 || status=$?
    if [ -n "$own_policy" ]; then $sudo rm -f "$policy"; fi
    if [ "${status:-0}" -ne 0 ]; then exit "$status"; fi
fi

jobs="$(nproc 2>/dev/null || echo 2)"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE="${LAUNCHER_BUILD_TYPE:-RelWithDebInfo}" \
    ${LAUNCHER_CMAKE_ARGS:-} >&2
cmake --build "$build" -j "$jobs" >&2
