#!/bin/sh
# Runs a command as a Wayland client of weston: its x11 back end on an X server of its own (the
# headless one takes no keys), whose window has the X server's keyboard, so that keys sent there
# (xdotool key) reach the client weston gives its keyboard to. Exit code the command's; 77 where
# weston cannot start.
#   weston-session.sh COMMAND...
set -eu
[ -n "${LAUNCHER_IN_X:-}" ] || LAUNCHER_IN_X=1 XVFB_ARGS='-screen 0 1280x800x24' \
    exec "$(dirname "$0")/x-session.sh" "$0" "$@"
work="$(mktemp -d "${TMPDIR:-/tmp}/launcher-weston.XXXXXX")"
weston=""
trap 'kill $weston 2>/dev/null || true; rm -rf "$work"' EXIT
trap 'exit 143' TERM INT
export XDG_RUNTIME_DIR="$work" WAYLAND_DISPLAY=wayland-launcher
weston --backend=x11-backend.so --use-pixman --socket="$WAYLAND_DISPLAY" --width=1024 \
    --height=768 --idle-time=0 >"$work/weston.log" 2>&1 &
weston=$! window=""
for _ in $(seq 100); do
    window="$(xwininfo -root -children | sed -n 's/^ *\(0x[0-9a-f]*\) "Weston Compositor.*/\1/p')"
    [ -n "$window" ] && [ -S "$work/$WAYLAND_DISPLAY" ] && break
    kill -0 "$weston" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$window" ] || [ ! -S "$work/$WAYLAND_DISPLAY" ]; then
    echo "weston cannot start here: $(tail -n 1 "$work/weston.log")"
    exit 77
fi
xdotool windowfocus --sync "$window"
# Weston starts its shell as a client of its own after the socket is there; a window mapped before
# the shell is up may not be given the keyboard.
sleep 2
status=0
QT_QPA_PLATFORM=wayland "$@" || status=$?
exit "$status"
