#!/usr/bin/env bash
# Runs the Windows build of scripts/windows/build.sh under Wine, on a private Xvfb display with a
# throw-away Wine prefix, and checks one row at a time what only shows across processes: the
# file's icon and subsystem, the arguments the product receives, the single-instance guard, the
# update question, the offered version in the registry and the choice of language.
#   scripts/windows/check.sh     # PASS/FAIL per row; exit 1 when a row fails
# Rows marked "hooks" run build-windows/check/launcher.exe, the real launcher with
# tests/support/testhooks.cpp (the answer to the update question and the server's address come
# from the environment, what it asks is recorded); the others run bin/launcher.exe as it ships.
# Every row's stand-in product is check/qpr.exe, which records the arguments it was given.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${LAUNCHER_WIN_BUILD_DIR:-$root/build-windows}"
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
for file in "$build/bin/launcher.exe" "$build/check/launcher.exe" "$build/check/qpr.exe"; do
    [ -f "$file" ] || { echo "missing $file: run scripts/windows/build.sh first" >&2; exit 2; }
done
. "$here/packages.sh"
# wine64 brings /usr/lib/wine/wine64, its libwine /usr/lib/wine/wineserver.
need_packages wine64 xvfb xdotool icoutils python3 binutils-mingw-w64-x86-64
for tool in "$wine" "$wineserver" Xvfb xdotool wrestool icotool python3; do
    command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 2; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/launcher-wine.XXXXXX")"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=C.UTF-8
unset QT_QPA_PLATFORM LC_ALL
pids=()
cleanup() {
    exec 2>/dev/null # no word from bash about the jobs it kills
    for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null; done
    "$wineserver" -k 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# --- the display, the prefix and the download server ---------------------------------------
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
"$wine" wineboot -i >"$work/wineboot.log" 2>&1
"$wineserver" -w
"$wineserver" -p # one server for every row

cat >"$work/server.py" <<'EOF'
# Answers every GET with the bytes of the file "reply" and appends the request's path to
# "requests"; ends by itself after ten minutes.
import http.server, os, sys, threading
work = sys.argv[1]
class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        with open(os.path.join(work, "requests"), "a") as log:
            log.write(self.path + "\n")
        body = open(os.path.join(work, "reply"), "rb").read()
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
with open(os.path.join(work, "port.part"), "w") as out:
    out.write(str(server.server_address[1]))
os.rename(os.path.join(work, "port.part"), os.path.join(work, "port"))
threading.Timer(600, os._exit, [0]).start()
server.serve_forever()
EOF
python3 "$work/server.py" "$work" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
reply() { printf 'new_version=%s\r\nurl=http://dl.example/q\r\n' "$1" >"$work/reply"; }
reply 4.11

# --- product trees ---------------------------------------------------------------------------
# tree DIR LAUNCHER [PRODUCT]: the launcher, the stand-in product (qpr.exe unless PRODUCT says
# where) and the product data.
tree() {
    mkdir -p "$1/$(dirname "${3:-qpr.exe}")"
    cp "$2" "$1/launcher.exe"
    cp "$build/check/qpr.exe" "$1/${3:-qpr.exe}"
    cp -r "$build/bin/resources" "$1/"
}
# settings EXE TEXT: replaces the hooked launcher's built-in settings, which it keeps
# uncompressed between two marker lines.
settings() {
    python3 - "$1" "$2" <<'EOF'
import sys
path, text = sys.argv[1], sys.argv[2].encode() + b"\r\n;"
data = open(path, "rb").read()
begin, end = data.index(b"; test settings begin"), data.index(b"; test settings end")
assert len(text) <= end - begin
open(path, "wb").write(data[:begin] + text + b" " * (end - begin - len(text)) + data[end:])
EOF
}
tree "$work/a" "$build/bin/launcher.exe"
cp -r "$work/a" "$work/b"
cp -r "$work/a" "$work/Ж"
cp -r "$work/a" "$work/Д"
tree "$work/h" "$build/check/launcher.exe"
tree "$work/s" "$build/check/launcher.exe" bin/qpr.exe
settings "$work/s/launcher.exe" "$(printf '[target]\r\nproduct_name = Pellam Author\r\nproduct = quill\r\nversion = 4.10\r\nname = bin\\\\qpr.exe\r\n\r\n[language]\r\ndefault_ini = resources\\\\default_settings.ini\r\nstrings_dir = resources\\\\languages')"

# --- running and looking ---------------------------------------------------------------------
export LAUNCHER_TEST_UPDATE_URL="http://127.0.0.1:$(cat "$work/port")/sw"
export LAUNCHER_TEST_RECORD="Z:$work/record"
# run DIR ARGS...: the launcher of DIR, from another working directory; its exit code in $code,
# what it wrote in $work/output. (Wine hands no QT_* variable of the Unix environment to a
# Windows program; WINEQT_X=value arrives as QT_X=value.)
run() {
    local dir="$1"
    shift
    : >"$work/record"
    (cd "$work" && timeout 60 "$wine" "$dir/launcher.exe" "$@" >"$work/output" 2>&1)
    code=$?
}
# hold DIR: a launcher of DIR with its window open, in the background ($holder); false when no
# window shows within 30 seconds.
hold() {
    (cd "$work" && exec "$wine" "$1/launcher.exe" -f >/dev/null 2>&1) &
    holder=$!
    pids+=("$holder")
    for _ in $(seq 300); do
        xdotool search --onlyvisible --class launcher.exe >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}
release() {
    kill -9 "$holder" 2>/dev/null
    wait "$holder" 2>/dev/null
    for _ in $(seq 100); do
        xdotool search --onlyvisible --class launcher.exe >/dev/null 2>&1 || break
        sleep 0.1
    done
}
# starts DIR: one line per start of the stand-in product below DIR, its arguments joined by
# " | ", once one has come, or after 3 s of none; the records are then removed.
starts() {
    python3 - "$1" <<'EOF'
import glob, os, sys, time
pattern = os.path.join(sys.argv[1], "**", "*.args")
deadline = time.time() + 3
while not glob.glob(pattern, recursive=True) and time.time() < deadline:
    time.sleep(0.1)
for name in sorted(glob.glob(pattern, recursive=True), key=os.path.getmtime):
    arguments = open(name, "rb").read().split(b"\0")[:-1]
    print(" | ".join(a.decode("utf-8", "replace") for a in arguments))
    os.remove(name)
EOF
}
record() { tr -d '\r' <"$work/record"; }
stored() {
    "$wine" reg query 'HKCU\Software\Nimbrel\Update\en_US\quill' /v version 2>/dev/null \
        | tr -d '\r' | awk '$1 == "version" { print $3 }'
}
question() {
    python3 - "$build/bin/resources/languages/strings_$1.launcher.xml" <<'EOF'
import sys, xml.etree.ElementTree as tree
texts = {s.findtext("id"): s.findtext("value") for s in tree.parse(sys.argv[1]).getroot().iter("string")}
# The box's Yes and No as the tables name them (lic_yes_btn and lic_no_btn).
print("\t".join(["question", "Pellam Author"] + [texts[t] for t in ("lic_update_question", "lic_yes_btn", "lic_no_btn")]))
EOF
}

failed=0
total=0
saw=""
# see LABEL ACTUAL EXPECTED: adds to $saw what differs.
see() { [ "$2" == "$3" ] || saw+="${saw:+; }$1 \"$2\", not \"$3\""; }
# row NAME RUN MUST: the verdict on everything seen since the last row.
row() {
    total=$((total + 1))
    if [ -z "$saw" ]; then
        printf 'PASS  %-22s %s  =>  %s\n' "$1" "$2" "$3"
    else
        failed=$((failed + 1))
        printf 'FAIL  %-22s %s  =>  %s\n      saw: %s\n' "$1" "$2" "$3" "${saw//$'\n'/\\n}"
    fi
    saw=""
}

# --- the rows ----------------------------------------------------------------------------------
exe="$build/bin/launcher.exe"
see "icon group" "$(wrestool -l "$exe" | grep -c "^--type=14 --name='IDI_ICON1' --language=1033 ")" 1
wrestool -x -t 14 -n IDI_ICON1 "$exe" >"$work/icon.ico"
see "images" "$(icotool -l "$work/icon.ico" | sed 's/ --palette-size=[0-9]*//' | tr '\n' ' ')" \
    "--icon --index=1 --width=256 --height=256 --bit-depth=8 --icon --index=2 --width=256 --height=256 --bit-depth=32 --icon --index=3 --width=128 --height=128 --bit-depth=32 --icon --index=4 --width=48 --height=48 --bit-depth=32 --icon --index=5 --width=32 --height=32 --bit-depth=32 "
headers=""
for name in $(wrestool -l "$exe" | sed -n 's/^--type=3 --name=\([0-9]*\) .*/\1/p'); do
    headers+="$(wrestool -x --raw -t 3 -n "$name" "$exe" | head -c 4 | od -An -tx1 | tr -d ' \n') "
done
see "image headers" "$headers" "28000000 28000000 28000000 28000000 28000000 "
row "file icon" "wrestool/icotool on launcher.exe" \
    "group IDI_ICON1, en-US, 5 bitmaps (DIB): 256/8, 256/32, 128/32, 48/32, 32/32 bpp"

see "subsystem" "$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^Subsystem\s*[0-9]*\s*//p')" "(Windows GUI)"
see "Qt's WinMain and qMain" "$(x86_64-w64-mingw32-nm "$exe" | grep -cE ' T (WinMain|_Z5qMainiPPc)$')" 2
see "plugins" "$(x86_64-w64-mingw32-nm "$exe" | sed -n 's/.* T _Z[0-9]*qt_static_plugin_\(.*\)v$/\1/p' | sort | tr '\n' ' ')" \
    "QWindowsIntegrationPlugin QWindowsVistaStylePlugin "
row "GUI program" "objdump/nm on launcher.exe" \
    "Windows GUI subsystem, entered through Qt's WinMain (main is qMain), only the windows platform and style plugins"

run "$work/a" -x "a b" -style fusion -F -lfr -- "" 'q"t' 'b\' été.txt -l -f -l
see exit "$code" 1
see starts "$(starts "$work/a")" '?launcher=launcher.exe | -x | a b | -F | -lfr | -- |  | q"t | b\ | été.txt'
row "arguments" 'launcher.exe -x "a b" -style fusion -F -lfr -- "" q"t b\ été.txt -l -f -l' \
    'exit 1; product gets ?launcher=launcher.exe, -x, "a b", -F, -lfr, --, "", q"t, b\, été.txt'

run "$work/a" -s
see exit "$code" 1
see starts "$(starts "$work/a")" ""
row "-s" "launcher.exe -s" "exit 1, nothing started"

# A GUI program has no console: Qt itself shows its error in a box before the fatal message.
(WINEQT_QPA_PLATFORM=none-such run "$work/a"; echo "$code" >"$work/code") &
runner=$!
pids+=("$runner")
box=""
for _ in $(seq 300); do
    box="$(xdotool search --onlyvisible --class launcher.exe 2>/dev/null | head -n 1)"
    [ -n "$box" ] && break
    sleep 0.1
done
if [ -n "$box" ]; then
    see "box title" "$(xdotool getwindowname "$box")" launcher
    xdotool windowfocus --sync "$box" key Return
else
    saw="no error box"
fi
wait "$runner"
see exit "$(cat "$work/code")" 2
see output "$(tr -d '\r' <"$work/output")" "launcher.exe: cannot connect to the window system; nothing was started"
see starts "$(starts "$work/a")" ""
row "no window system" "launcher.exe with QT_QPA_PLATFORM=none-such; Return" \
    "Qt's error box titled launcher; then exit 2, that one line naming launcher.exe, nothing started"

if hold "$work/a"; then
    run "$work/a"
    see exit "$code" 0
    see starts "$(starts "$work/a")" ""
else
    saw="no window of launcher.exe -f"
fi
row "guard held" "launcher.exe -f, then launcher.exe" "window shown; the second: exit 0, nothing started"

run "$work/b"
see exit "$code" 1
see starts "$(starts "$work/b")" "?launcher=launcher.exe"
row "another path" "b\\launcher.exe while a\\ holds" "exit 1, product started: not excluded"

kill -0 "$holder" 2>/dev/null || saw="the first launcher ended"
release
run "$work/a"
see exit "$code" 1
see starts "$(starts "$work/a")" "?launcher=launcher.exe"
row "guard goes with it" "first still running? kill -9 it; launcher.exe" \
    "it was running; then exit 1, product started"

if hold "$work/Ж"; then
    run "$work/Д"
    see "Д exit" "$code" 1
    see "Д starts" "$(starts "$work/Д")" "?launcher=launcher.exe"
    run "$work/Ж"
    see "Ж exit" "$code" 0
    see "Ж starts" "$(starts "$work/Ж")" ""
    release
else
    saw="no window of Ж\\launcher.exe -f"
fi
row "non-ANSI paths" "Д\\launcher.exe, Ж\\launcher.exe while Ж\\ holds" \
    "Д: exit 1, started (code page 1252 has neither letter); Ж: exit 0"

: >"$work/requests"
run "$work/h"
see exit "$code" 1
see record "$(record)" "$(question en_US)"
see request "$(cat "$work/requests")" "/sw/en_US/quill/windows/info_4.10.php"
see registry "$(stored)" 4.11
see starts "$(starts "$work/h")" "?launcher=launcher.exe"
row "update asked" "hooks: server says 4.11, answer No" \
    "English question, its Yes and No; GET /sw/en_US/quill/windows/info_4.10.php; HKCU\\...\\Update\\en_US\\quill version=4.11; started"

run "$work/h"
see exit "$code" 1
see record "$(record)" ""
see registry "$(stored)" 4.11
see starts "$(starts "$work/h")" "?launcher=launcher.exe"
row "asked once" "hooks: the same again" "no question; registry still 4.11; started"

reply 4.12
LAUNCHER_TEST_ANSWER=yes run "$work/h"
see exit "$code" 1
see record "$(record)" "$(question en_US)"$'\n'"open	http://dl.example/q?platform=windows"
see registry "$(stored)" 4.12
see starts "$(starts "$work/h")" "?launcher=launcher.exe"
row "Yes opens the page" "hooks: server says 4.12, answer Yes" \
    "question; opens http://dl.example/q?platform=windows; registry 4.12; started"

reply 4.13
run "$work/h" -l de_DE
see record "$(record)" "$(question de_DE)"
see starts "$(starts "$work/h")" "?launcher=launcher.exe"
row "-l" "hooks: launcher.exe -l de_DE, server says 4.13" "the German question"

reply 4.14
"$wine" reg add 'HKCU\Software\Nimbrel\launcher' /v language /d fr_FR /f >/dev/null 2>&1
run "$work/h"
see record "$(record)" "$(question fr_FR)"
see starts "$(starts "$work/h")" "?launcher=launcher.exe"
"$wine" reg delete 'HKCU\Software\Nimbrel\launcher' /f >/dev/null 2>&1
row "user's language" "hooks: HKCU\\Software\\Nimbrel\\launcher language=fr_FR, 4.14" "the French question"

reply 4.15
printf 'language = it_IT\r\n' >"$work/h/resources/default_settings.ini"
run "$work/h"
see record "$(record)" "$(question it_IT)"
see starts "$(starts "$work/h")" "?launcher=launcher.exe"
row "default language" "hooks: resources\\default_settings.ini says it_IT, 4.15" "the Italian question"

run "$work/s"
see exit "$code" 1
see starts "$(starts "$work/s")" "?launcher=../launcher.exe"
row "product in bin\\" "hooks: name = bin\\\\qpr.exe" "exit 1; bin\\qpr.exe gets ?launcher=../launcher.exe"

echo "$((total - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
