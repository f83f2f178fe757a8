#!/bin/sh
# Runs a command as the Windows rows' host: Wine with a prefix of its own, on an X server of its
# own, one Wine server for everything the command starts; all of it goes when the command ends.
set -eu
work="$(mktemp -d "${TMPDIR:-/tmp}/launcher-wine.XXXXXX")"
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x800x24 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")" WINEPREFIX="$work/prefix" WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree,mshtml="
mkdir "$WINEPREFIX"
/usr/lib/wine/wineserver -p -f &
server=$!
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
status=0
"$@" || status=$?
/usr/lib/wine/wineserver -k || true
kill "$xvfb" "$server" 2>/dev/null || true
rm -rf "$work"
exit "$status"
