#!/bin/sh
# Runs a command as the Windows rows' host: Wine with a prefix of its own, on an X server of its
# own, one Wine server for everything the command starts; all of it goes when the command ends.
set -eu
[ -n "${LAUNCHER_IN_X:-}" ] || LAUNCHER_IN_X=1 XVFB_ARGS='-screen 0 1280x800x24' \
    exec "$(dirname "$0")/x-session.sh" "$0" "$@"
work="$(mktemp -d "${TMPDIR:-/tmp}/launcher-wine.XXXXXX")"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir "$WINEPREFIX"
# Its output not the caller's: a server that outlives the session would hold the caller's pipes
# open, and ctest waits for them.
/usr/lib/wine/wineserver -p -f >/dev/null 2>&1 &
server=$!
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
status=0
"$@" || status=$?
/usr/lib/wine/wineserver -k || true
kill "$server" 2>/dev/null || true
rm -rf "$work"
exit "$status"
