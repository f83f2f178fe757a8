#!/usr/bin/env bash
# Takes a picture of the launcher window ("-f") as a person sees it: a real X server (Xvfb), a
# throw-away product directory and a local download server that reports a newer version, so the
# window shows its download link. Also checks that the window sits in the middle of the screen.
#
#   scripts/screenshot.sh [-o FILE.png] [-p PORT] [-l LANGUAGE] [--screen WxHxD] [--dpi N] [--wayland]
#                         [--no-update] [--keep]
#
#   -o FILE.png    where the picture of the window goes (default build-screenshot/launcher-window.png);
#                  the whole screen goes beside it as FILE-screen.png
#   -p PORT        port of the local download server on 127.0.0.1 (default 18765); it is built into
#                  the launcher, so changing it rebuilds
#   -l LANGUAGE    handed to the launcher as "-l LANGUAGE"
#   --screen       size and depth of the X screen (default 1280x800x24)
#   --dpi N        the X screen's density (default 96); 192 draws the window at twice the size
#   --wayland      on Wayland, under weston (its x11 back end) in the X server: the picture is
#                  weston's screen, where the compositor placed the window (not checked)
#   --no-update    no download server: the window shows no link
#   --keep         keep the throw-away directory and print where it is
#
# The launcher is built in its own build directory (build-screenshot, or LAUNCHER_SCREENSHOT_BUILD_DIR)
# with a settings file that adds a locale to the shipped one, since the update check needs one, and
# with LAUNCHER_UPDATE_HOST pointing at the local server. The shipped build in build/ is not touched.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${LAUNCHER_SCREENSHOT_BUILD_DIR:-$root/build-screenshot}"
output=""
port=18765
language=""
screen="1280x800x24"
dpi=96
wayland=0
withUpdate=1
keep=0
locale="en_US"

while [ $# -gt 0 ]; do
    case "$1" in
    -o) output="$2"; shift 2 ;;
    -p) port="$2"; shift 2 ;;
    -l) language="$2"; shift 2 ;;
    --screen) screen="$2"; shift 2 ;;
    --dpi) dpi="$2"; shift 2 ;;
    --wayland) wayland=1; shift ;;
    --no-update) withUpdate=0; shift ;;
    --keep) keep=1; shift ;;
    -h | --help) sed -n '2,20p' "$0"; exit 0 ;;
    *) echo "screenshot.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done
output="${output:-$build/launcher-window.png}"
case "$output" in /*) ;; *) output="$PWD/$output" ;; esac
screenOutput="${output%.png}-screen.png"
mkdir -p "$(dirname "$output")"

# The shipped settings with a locale added to [target] (unless it has one), CRLF like the original.
mkdir -p "$build"
settings="$build/screenshot-settings.ini"
shipped="$root/resources/launcher/settings/settings.ini"
if grep -q '^locale *=' "$shipped"; then
    tr -d '\r' <"$shipped"
else
    tr -d '\r' <"$shipped" | sed "s/^\[target\]\$/[target]\nlocale = $locale/"
fi | sed 's/$/\r/' >"$settings.new"
if ! cmp -s "$settings.new" "$settings"; then mv "$settings.new" "$settings"; else rm "$settings.new"; fi
locale="$(tr -d '\r' <"$settings" | sed -n 's/^locale *= *//p' | head -n1)"
product="$(tr -d '\r' <"$settings" | sed -n 's/^product *= *//p' | head -n1)"

LAUNCHER_BUILD_DIR="$build" \
LAUNCHER_EXTRA_PACKAGES="xvfb x11-utils imagemagick python3 weston qtwayland5" \
LAUNCHER_CMAKE_ARGS="-DLAUNCHER_BUILD_TESTS=OFF -DLAUNCHER_SETTINGS_FILE=$settings -DLAUNCHER_UPDATE_HOST=127.0.0.1:$port" \
    "$root/scripts/setup.sh"

work="$(mktemp -d "${TMPDIR:-/tmp}/launcher-screenshot.XXXXXX")"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    if [ "$keep" = 1 ]; then echo "kept: $work" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT

# The product as installed: launcher, product executable and product data side by side.
productDir="$work/product"
mkdir -p "$productDir"
cp "$build/bin/launcher" "$build/bin/qpr.exe" "$productDir/"
if [ -d "$build/bin/resources" ]; then cp -r "$build/bin/resources" "$productDir/"; fi
if [ -d "$build/bin/lib" ]; then cp -r "$build/bin/lib" "$productDir/"; fi # the window module

# A user of its own. The version the server reports counts as offered already, so the launcher
# goes straight to its window instead of asking about the download first.
home="$work/home"
mkdir -p "$home/config/Nimbrel" "$home/run"
chmod 700 "$home/run"
printf '[%s]\n%s\\version=4.11\n' "$locale" "$product" >"$home/config/Nimbrel/Update.conf"

if [ "$withUpdate" = 1 ]; then
    # Answers every GET with a newer version and a download page, and logs what was asked.
    python3 - "$port" "http://127.0.0.1:$port/downloads/$product" >"$work/server.log" 2>&1 <<'EOF' &
import http.server, sys
port, page = int(sys.argv[1]), sys.argv[2]
body = ("new_version=4.11\r\nurl=%s\r\n" % page).encode()
class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        self.send_response(200)
        self.send_header("Content-Type", "text/plain; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, format, *args):
        sys.stderr.write("GET %s -> %s\n" % (self.path, args[1] if len(args) > 1 else "?"))
        sys.stderr.flush()
server = http.server.HTTPServer(("127.0.0.1", port), Handler)
print("listening", flush=True)
server.serve_forever()
EOF
    pids+=($!)
    for _ in $(seq 50); do grep -q listening "$work/server.log" 2>/dev/null && break; sleep 0.1; done
    grep -q listening "$work/server.log" || { cat "$work/server.log" >&2; echo "the download server did not start (port $port taken?)" >&2; exit 1; }
fi

# A real X server on a free display number.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 "$screen" -dpi "$dpi" -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { cat "$work/xvfb.log" >&2; echo "Xvfb did not start" >&2; exit 1; }
DISPLAY=":$(head -n1 "$work/display")"
export DISPLAY

platform=(QT_QPA_PLATFORM=xcb)
if [ "$wayland" = 1 ]; then
    mkdir -m 700 "$home/wayland"
    XDG_RUNTIME_DIR="$home/wayland" weston --backend=x11-backend.so --use-pixman \
        --socket=wayland-screenshot --width=1024 --height=600 --idle-time=0 >"$work/weston.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do [ -S "$home/wayland/wayland-screenshot" ] && break; sleep 0.1; done
    [ -S "$home/wayland/wayland-screenshot" ] || { cat "$work/weston.log" >&2; echo "weston did not start" >&2; exit 1; }
    platform=(QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY="$home/wayland/wayland-screenshot")
fi

arguments=(-f)
if [ -n "$language" ]; then arguments+=(-l "$language"); fi
env -i PATH="$PATH" HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/run" \
    LANG=C.UTF-8 DISPLAY="$DISPLAY" "${platform[@]}" \
    "$productDir/launcher" "${arguments[@]}" >"$work/launcher.log" 2>&1 &
launcherPid=$!
pids+=("$launcherPid")

if [ "$wayland" = 1 ]; then
    # The compositor's screen is weston's one X window; Wayland tells nobody where the window is.
    sleep 3
    westonWindow="$(xwininfo -root -children | sed -n 's/^ *\(0x[0-9a-f]*\) "Weston Compositor.*/\1/p')"
    kill -0 "$launcherPid" 2>/dev/null || { cat "$work/launcher.log" >&2; echo "the launcher ended" >&2; exit 1; }
    import -window "$westonWindow" "$output"
    echo "weston's screen with the window: $output (placed by the compositor)"
    exit 0
fi

# The launcher window: a mapped top-level of the launcher whose name is the application's (its
# title is empty). Anything else that shows up (an update question) is reported.
window=""
for _ in $(seq 150); do
    if ! kill -0 "$launcherPid" 2>/dev/null; then break; fi
    while read -r id rest; do
        if xwininfo -id "$id" | grep -q 'Map State: IsViewable'; then window="$id"; fi
    done < <(xwininfo -root -children | grep -E '^ +0x[0-9a-f]+ "launcher": \("launcher" "launcher"\)')
    [ -n "$window" ] && break
    sleep 0.1
done
if [ -z "$window" ]; then
    import -window root "$screenOutput" 2>/dev/null || true
    echo "no launcher window appeared; the screen is in $screenOutput" >&2
    xwininfo -root -children >&2
    cat "$work/launcher.log" >&2
    exit 1
fi
sleep 1 # let the first paint land

import -window "$window" "$output"
import -window root "$screenOutput"

geometry="$(xwininfo -id "$window")"
value() { sed -n "s/^ *$1: *//p" <<<"$geometry" | head -n1; }
x="$(value 'Absolute upper-left X')"
y="$(value 'Absolute upper-left Y')"
width="$(value 'Width')"
height="$(value 'Height')"
rootInfo="$(xwininfo -root)"
screenWidth="$(sed -n 's/^ *Width: *//p' <<<"$rootInfo")"
screenHeight="$(sed -n 's/^ *Height: *//p' <<<"$rootInfo")"

# Without a window manager the frame is the window itself and the available area the screen.
# Inclusive edges, halves truncated, negative positions clamped to 0.
expectedX=$(((screenWidth - 1) / 2 - (width - 1) / 2))
expectedY=$(((screenHeight - 1) / 2 - (height - 1) / 2))
[ "$expectedX" -lt 0 ] && expectedX=0
[ "$expectedY" -lt 0 ] && expectedY=0

echo "window: ${width}x${height}+${x}+${y} on a ${screenWidth}x${screenHeight} screen;" \
    "gaps left/right $x/$((screenWidth - x - width)), top/bottom $y/$((screenHeight - y - height))"
if [ "$withUpdate" = 1 ]; then
    if grep -q '^GET ' "$work/server.log"; then
        echo "download server was asked: $(grep '^GET ' "$work/server.log" | head -n1)"
    else
        echo "download server was not asked: this launcher makes no update request, so no link"
    fi
fi
if [ -s "$work/launcher.log" ]; then
    echo "launcher output:"
    sed 's/^/  /' "$work/launcher.log"
fi
echo "window picture: $output"
echo "screen picture: $screenOutput"
if [ "$x" != "$expectedX" ] || [ "$y" != "$expectedY" ]; then
    echo "NOT centred: expected +${expectedX}+${expectedY}" >&2
    exit 1
fi
echo "centred: +${x}+${y} is where the centring puts a ${width}x${height} window"
