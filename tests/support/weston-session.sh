#!/bin/sh
# Runs a command as a Wayland client: weston on its own X server (its x11 back end; the headless
# one takes no keys), the command with QT_QPA_PLATFORM=wayland, and keys pressed as a person
# would, into weston's window, which hands them to the client that has the keyboard.
#
#   weston-session.sh 'KIND:KEY ...' COMMAND...
#
# Each KIND:KEY waits until the record (LAUNCHER_TEST_RECORD) has one line more beginning with
# KIND, that is a question or window shown, then presses KEY (an xdotool key name). Ends with the
# command's exit code, or 77 when weston cannot start here (the row is then skipped).
set -eu
keys="$1"
shift
work="$(mktemp -d "${TMPDIR:-/tmp}/launcher-weston.XXXXXX")"
chmod 700 "$work"
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x800x24 3>"$work/display" 2>/dev/null &
xvfb=$!
weston=""
finish() {
    kill $weston "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap finish EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")" XDG_RUNTIME_DIR="$work" WAYLAND_DISPLAY=wayland-launcher
weston --backend=x11-backend.so --use-pixman --socket="$WAYLAND_DISPLAY" --width=1024 \
    --height=768 --idle-time=0 >"$work/weston.log" 2>&1 &
weston=$!
window=""
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
QT_QPA_PLATFORM=wayland "$@" &
client=$!
pressed=""
for press in $keys; do
    kind="${press%%:*}"
    pressed="$pressed $kind"
    wanted="$(printf '%s\n' $pressed | grep -cx "$kind")"
    for _ in $(seq 100); do
        [ "$(cat "$LAUNCHER_TEST_RECORD" 2>/dev/null | grep -c "^$kind")" -ge "$wanted" ] && break
        sleep 0.1
    done
    sleep 0.5 # mapped and given the keyboard
    xdotool windowfocus --sync "$window" key "${press#*:}"
done
status=0
wait "$client" || status=$?
exit "$status"
