#!/bin/sh
# Runs a command as a Wayland client of weston (its x11 back end in an X server of its own; the
# headless one takes no keys) and presses keys into weston's window, which hands them to the
# client with the keyboard: each KIND:KEY once the record (LAUNCHER_TEST_RECORD) holds one more
# line beginning with KIND (a question or window shown). Exit code the command's; 77 where weston
# cannot start.
#   weston-session.sh 'KIND:KEY ...' COMMAND...
set -eu
keys="$1"
shift
work="$(mktemp -d "${TMPDIR:-/tmp}/launcher-weston.XXXXXX")"
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x800x24 3>"$work/display" 2>/dev/null &
xvfb=$! weston="" client=""
trap 'kill $client $weston $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
trap 'exit 143' TERM INT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")" XDG_RUNTIME_DIR="$work" WAYLAND_DISPLAY=wayland-launcher
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
# Weston starts its shell as a client of its own after the socket is there; a window mapped before
# the shell is up may not be given the keyboard.
sleep 2
QT_QPA_PLATFORM=wayland "$@" &
client=$! pressed=""
lines() { cat "$LAUNCHER_TEST_RECORD" 2>/dev/null | grep -c "^${1:-}"; }
ended() { ! ps -o stat= -p "$client" | grep -qv Z; }
for press in $keys; do
    pressed="$pressed ${press%%:*}"
    wanted="$(printf '%s\n' $pressed | grep -cx "${press%%:*}")"
    for _ in $(seq 100); do [ "$(lines "${press%%:*}")" -ge "$wanted" ] && break; sleep 0.1; done
    # Pressed again while nothing follows (a window not yet given the keyboard).
    for _ in 1 2 3 4 5 6 7 8; do
        before="$(lines)"
        sleep 0.5
        xdotool windowfocus --sync "$window" key "${press#*:}"
        for _ in $(seq 20); do
            { [ "$(lines)" -gt "$before" ] || ended; } && break 2
            sleep 0.1
        done
    done
done
status=0
wait "$client" || status=$?
exit "$status"
