#!/bin/sh
# Runs a command on an X server of its own: Xvfb picks a free display itself, so servers started at
# once (other tests, another user's suite) never take the same one, as xvfb-run -a's can.
#   XVFB_ARGS='-screen 0 1920x960x24 -dpi 192' x-session.sh COMMAND...
set -eu
work="$(mktemp -d "${TMPDIR:-/tmp}/launcher-x.XXXXXX")"
# shellcheck disable=SC2086 # the server's options, one word each
Xvfb -displayfd 3 -nolisten tcp -noreset ${XVFB_ARGS:-} 3>"$work/display" 2>/dev/null &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
trap 'exit 143' TERM INT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
DISPLAY=":$(cat "$work/display")" "$@"
