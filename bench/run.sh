#!/usr/bin/env bash
# Start-up benchmark, the launcher beside a floor: wall time by hyperfine, peak RSS by GNU time.
#   bench/run.sh [--record]  BENCH_RUNS (21) runs per row in BENCH_PASSES (7) hyperfine passes, the
#       rows' order rotated pass by pass, BENCH_WARMUP (1) warm-up run per pass; then BENCH_CHECKS (5)
#       checked runs per row under GNU time. Results in build-bench/results/; --record copies the
#       summary to bench/results/latest.md and its tables into bench/README.md (--update-readme:
#       that step alone).
#   bench/run.sh --profile             where the time goes, in build-bench/profile.txt
#   bench/run.sh --qt 6 [...]          the same against Qt 6, the floor built with it too, in
#       build-bench-qt6/; --record keeps each Qt's tables (bench/results/latest-qt<N>.md) and puts
#       both in bench/results/latest.md and bench/README.md
# Both first install what is missing (hyperfine, nginx, GNU time; for --profile strace, perf and
# valgrind) through scripts/setup.sh, as ./test.sh does.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)" && bench="$root/bench"
# The https row needs the bench's certificate authority among the system's ones: as root, in a
# mount namespace of its own where a copy of /etc/ssl/certs that also holds it is mounted over it.
if [ -z "${BENCH_NS:-}" ] && [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then
    BENCH_NS=1 exec unshare -m --propagation private bash "$0" "$@"
fi
if [ -z "${BENCH_REAPER:-}" ]; then # a child subreaper: the detached products end as its children
    BENCH_REAPER=1 exec python3 -c 'import ctypes, os, signal, sys
signal.signal(signal.SIGPIPE, signal.SIG_DFL)
ctypes.CDLL(None).prctl(36, 1)  # PR_SET_CHILD_SUBREAPER
if (child := os.fork()) == 0:
    os.execvp("bash", ["bash"] + sys.argv[1:])
signal.signal(signal.SIGINT, signal.SIG_IGN)  # the script cleans up
while (reaped := os.wait())[0] != child: pass
sys.exit(os.waitstatus_to_exitcode(reaped[1]) % 256)' "$0" "$@"
fi
runs=${BENCH_RUNS:-21} passes=${BENCH_PASSES:-7} warmup=${BENCH_WARMUP:-1} checks=${BENCH_CHECKS:-5} record="" profile="" qt=5
while [ $# -gt 0 ]; do
    case "$1" in
    --record) record=1 ;;
    --profile) profile=1 ;;
    --qt) qt="${2:-}" && shift && [[ "$qt" == [56] ]] || { echo "bench/run.sh: --qt 5 or --qt 6" >&2; exit 2; } ;;
    --update-readme) exec python3 "$bench/report.py" --readme "$bench/README.md" "$bench/results" ;;
    -h | --help) sed -n '2,/^set /{/^set /d; s/^# \{0,1\}//; p}' "$0" && exit 0 ;;
    *) echo "bench/run.sh: unknown argument $1 (see --help)" >&2 && exit 2 ;;
    esac
    shift
done
build="${BENCH_BUILD_DIR:-$root/build-bench$([ "$qt" = 5 ] || echo "-qt$qt")}" && out="$build/results" && port=18767

# What the benchmark runs besides the build (--profile: its tools too); scripts/setup.sh installs
# what is missing, as for ./test.sh, then configures and builds the Release tree.
extra="hyperfine nginx time python3 xvfb$([ "$qt" = 5 ] || echo " qt6-base-dev qt6-base-dev-tools")"
[ -z "$profile" ] || extra="$extra strace linux-perf valgrind"
mkdir -p "$out" && echo "bench: set-up and build in $build (log: $build/bench-build.log)" >&2
LAUNCHER_EXTRA_PACKAGES="$extra ${LAUNCHER_EXTRA_PACKAGES:-}" LAUNCHER_BUILD_DIR="$build" \
    LAUNCHER_BUILD_TYPE=Release LAUNCHER_CMAKE_ARGS="-DLAUNCHER_BENCH=ON \
    -DLAUNCHER_BUILD_TESTS=OFF -DLAUNCHER_UPDATE_HOST=127.0.0.1:$port -DQT_MAJOR_VERSION=$qt" \
    nice -n 5 "$root/scripts/setup.sh" 2>"$build/bench-build.log" \
    || { tail -n 30 "$build/bench-build.log" >&2; exit 1; }
value() { tr -d '\r' <"$build/bench/settings-locale.ini" | sed -n "s/^$1 *= *//p" | head -n1 | sed 's/\\\\*/\//g'; }
version=$(value version) target=$(value name) strings=$(value strings_dir)

work="$(mktemp -d "${TMPDIR:-/tmp}/launcher-bench.XXXXXX")" && srv="$work/server" && holder="" xholder="" && mkdir "$srv"
serve() { bash "$bench/serve.sh" "$srv" "$1"; }
xvfb=""
cleanup() {
    serve closed || true
    for p in $holder $xholder $xvfb; do { kill "$p" && wait "$p"; } 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
cleanenv() { # DIR: "${clean[@]}" is then a clean environment with its throw-away directories there
    mkdir -p "$1/config/Nimbrel" "$1/cache" "$1/run" && chmod 700 "$1/run"
    printf '[en_US]\nquill\\version=9.9\n' >"$1/config/Nimbrel/Update.conf" # 9.9 offered before
    clean=(env -i "PATH=$PATH" "HOME=$1" "XDG_CONFIG_HOME=$1/config" "XDG_CACHE_HOME=$1/cache"
        "XDG_RUNTIME_DIR=$1/run" QT_QPA_PLATFORM=offscreen LANG=C.UTF-8)
    xclean=("${clean[@]/QT_QPA_PLATFORM=offscreen/QT_QPA_PLATFORM=xcb}" "DISPLAY=:$display")
}
platform() { [[ $1 == x* ]] && echo xcb || echo offscreen; } # rows whose key begins with x: on X
product() { # directory, program: the program beside the stand-in product and the product data
    mkdir -p "$work/$1/$(dirname "$target")" && cp "$2" "$work/$1/" && cp -r "$build/bin/resources" "$work/$1/"
    for lib in "$(dirname "$2")/lib" "$build/bin/lib"; do # the window module: its own, or the build's
        [ ! -d "$lib" ] || { cp -r "$lib" "$work/$1/" && break; }
    done
    cp "$build/bench/bench_standin" "$work/$1/$target"
}
for p in floor:bench/bench_floor core:bench/bench_core direct:bench/locale/launcher nolocale:bin/launcher \
    second:bin/launcher https:bench/https/launcher signed:bench/signed/launcher question:bench/question/launcher \
    xsecond:bin/launcher; do
    product "${p%%:*}" "$build/${p#*:}"
done
for n in 0 100 1000 10000 100000; do # tables beside the shipped ones, chosen with -l benchN
    awk -v n="$n" 'BEGIN { print "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<lum_objects>"
        for (i = 0; i < n; i++) printf "  <string><id>lic_bench_%d</id><value>Text number %d of the benchmark table</value></string>\n", i, i
        print "</lum_objects>" }' >"$work/nolocale/$strings/strings_bench$n.launcher.xml"
done
# nginx-MODE.conf for each mode of serve.sh that nginx serves: "no newer version" over http and
# https; 9.9 (offered before, so nothing is asked) from trees the vendor's tool wrote, signed or not.
tree() { "$build/tools/launcher-update-tree" --product quill --locales en_US --field-versions "$version" \
    --newest 9.9 --url "http://127.0.0.1:$port/download" --output "$srv/$1" "${@:2}" >/dev/null; }
tree newer && tree signed --signing-key "$root/tests/app/data/keys/vendor.key"
echo "$port" >"$srv/port" && data="$root/tests/app/data/tls"
for mode in answer tls newer signed; do
    listen="127.0.0.1:$port" answer="return 200 \"new_version=$version\\r\\nurl=http://127.0.0.1:$port/download\\r\\n\";"
    [ "$mode" != tls ] || listen="$listen ssl; ssl_certificate $data/server.pem; ssl_certificate_key $data/server.key"
    [ "$mode" != newer ] && [ "$mode" != signed ] \
        || answer="return 200 \"$(tr -d '\r' <"$srv/$mode/sw/en_US/quill/windows/info_$version.php" | sed 's/$/\\r\\n/' | tr -d '\n')\";"
    cat >"$srv/nginx-$mode.conf" <<EOF
daemon off; worker_processes 1; pid nginx.pid; error_log error.log;
events { worker_connections 64; }
http { access_log access.log; default_type text/plain;
    client_body_temp_path tmp; proxy_temp_path tmp; fastcgi_temp_path tmp; uwsgi_temp_path tmp; scgi_temp_path tmp;
    server { listen $listen; location / { $answer } } }
EOF
done
https=""
if [ -n "${BENCH_NS:-}" ]; then # the authority, under the name OpenSSL looks it up by
    cp -a /etc/ssl/certs "$work/certs" && cp "$data/ca.pem" "$work/certs/bench-ca.pem"
    ln -s bench-ca.pem "$work/certs/$(openssl x509 -hash -noout -in "$data/ca.pem").0"
    mount --bind "$work/certs" /etc/ssl/certs && https=1
fi
[ -n "$https" ] || echo "bench: the https row needs root and a mount namespace of its own; left out" >&2
# A private X server for the xcb rows; it tells its display number once it listens.
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x1024x24 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$! && for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
display=$(cat "$work/display") && [ -n "$display" ] || { echo "bench/run.sh: Xvfb did not start" >&2; exit 1; }

# key|label|server|exit code|product starts|requests|table entries|command (no spaces in paths)
rows=()
row() { local IFS='|' && rows+=("$*"); }
row floor "floor" answer 0 1 0 "" "$work/floor/bench_floor $target"
row floorfonts "floor + font teardown (reference)" answer 0 1 0 "" "$work/floor/bench_floor $target --font-teardown"
row direct "direct" answer 1 1 1 "" "$work/direct/launcher"
row nolocale "direct, no locale" answer 1 1 0 "" "$work/nolocale/launcher"
[ -z "$https" ] || row https "direct over https" tls 1 1 1 "" "$work/https/launcher"
row offered "direct, 9.9 offered before" newer 1 1 1 "" "$work/direct/launcher"
row signed "signed, 9.9 offered before" signed 1 1 1 "" "$work/signed/launcher"
row refused "refused" closed 1 1 0 "" "$work/direct/launcher"
row silent "silent" silent 1 1 1 "" "$work/direct/launcher"
row second "second instance" answer 0 0 0 "" "$work/second/launcher"
for n in 0 100 1000 10000 100000; do row "table$n" "" answer 1 1 0 "$n" "$work/nolocale/launcher -l bench$n"; done
# The same starts on X (xcb): the floor, a core application object alone, the launcher's starts that
# ask nothing, a second instance, and one that shows the question (its store cannot be written, so
# it asks every time; its reference pays for the same env).
row xfloor "floor (xcb)" answer 0 1 0 "" "$work/floor/bench_floor $target"
row xfloorq "floor + the question (xcb, reference)" answer 0 1 0 "" "env XDG_CONFIG_HOME=/proc/none $work/floor/bench_floor $target --question"
row xcore "QCoreApplication + start (xcb, reference)" answer 0 1 0 "" "$work/core/bench_core $target"
row xskip "-s (xcb)" answer 1 0 0 "" "$work/nolocale/launcher -s"
row xnolocale "direct, no locale (xcb)" answer 1 1 0 "" "$work/nolocale/launcher"
row xdirect "direct, no newer version (xcb)" answer 1 1 1 "" "$work/direct/launcher"
row xoffered "direct, 9.9 offered before (xcb)" newer 1 1 1 "" "$work/direct/launcher"
row xsecond "second instance (xcb)" answer 0 0 0 "" "$work/xsecond/launcher"
row xquestion "the question, answered No (xcb)" newer 1 1 1 "" "env XDG_CONFIG_HOME=/proc/none $work/question/launcher"
[ -z "$profile" ] || { . "$bench/profile.sh"; exit 0; }
rm -f "$out"/* && printf '%s\n' "${rows[@]}" >"$out/rows.tsv"

# The second-instance row needs a launcher that holds the guard: one started with -f stays open.
cleanenv "$work/holder"
"${clean[@]}" "$work/second/launcher" -f >"$work/holder.log" 2>&1 & holder=$!
"${xclean[@]}" "$work/xsecond/launcher" -f >"$work/xholder.log" 2>&1 & xholder=$!
sleep 1 && "${clean[@]}" "$work/second/launcher" >/dev/null 2>&1 && kill -0 "$holder" \
    && "${xclean[@]}" "$work/xsecond/launcher" >/dev/null 2>&1 && kill -0 "$xholder" \
    || { echo "bench/run.sh: the launcher started with -f holds no guard (a probe came first?)" >&2; exit 1; }

for p in $(seq "$passes"); do
    for on in offscreen xcb; do
        args=()
        for i in "${!rows[@]}"; do
            IFS='|' read -r key _ mode _ _ _ _ command <<<"${rows[$(((i + p - 1) % ${#rows[@]}))]}"
            [ "$(platform "$key")" = "$on" ] || continue
            args+=(-p "bash $bench/serve.sh $srv $mode" -n "$key" "$command") # the same cost before every row
        done
        echo "bench: hyperfine, pass $p of $passes, $on" >&2
        cleanenv "$work/env" && [ "$on" = offscreen ] && env=("${clean[@]}") || env=("${xclean[@]}")
        "${env[@]}" hyperfine -N -i --style basic -w "$warmup" -r $(((runs + passes - 1) / passes)) \
            --export-json "$out/hyperfine-$on-$p.json" --export-markdown "$out/hyperfine-$on-$p.md" "${args[@]}" \
            >"$out/hyperfine-$on-$p.log" 2>&1 || { tail -n 20 "$out/hyperfine-$on-$p.log" >&2; exit 1; }
    done
done

echo "bench: $checks checked runs per row under GNU time, each row in its own environment" >&2
requests() { cat "$srv/access.log" "$srv/silent.log" 2>/dev/null | wc -l; }
for _ in $(seq "$checks"); do
    for r in "${rows[@]}"; do
        IFS='|' read -r key _ mode _ _ _ _ command <<<"$r"
        e="$work/check/$key" && cleanenv "$e" && serve "$mode" && rm -f "$e.started" && before=$(requests) && code=0
        [ "$(platform "$key")" = offscreen ] && env=("${clean[@]}") || env=("${xclean[@]}")
        "${env[@]}" BENCH_STARTED="$e.started" /usr/bin/time -q -o "$e.rss" -f %M $command >"$e.out" 2>&1 || code=$?
        for _ in $(seq 20); do [ -e "$e.started" ] && break; sleep 0.05; done
        echo "$key|$code|$(cat "$e.rss")|$(cat "$e.started" 2>/dev/null | wc -l)|$(($(requests) - before))|$(tr '\n|' ' /' <"$e.out")" >>"$out/checks.tsv"
    done
done
serve closed && cp "$srv/access.log" "$srv/silent.log" "$out/"

note="Machine: $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -n1), nproc $(nproc), Linux $(uname -r); \
Qt $(pkg-config --modversion Qt${qt}Core 2>/dev/null || echo "$qt"); $(hyperfine --version); Release build of \
$(git -C "$root" describe --always --dirty); $(date -u '+%Y-%m-%d %H:%M UTC'), load $(cut -d' ' -f1-3 /proc/loadavg)."
status=0 && python3 "$bench/report.py" "$out" "$note" "$runs" "$passes" "$warmup" "$checks" || status=$?
if [ -n "$record" ] && [ "$status" = 0 ]; then
    cp "$out"/latest.md "$bench/results/latest-qt$qt.md"
    python3 "$bench/report.py" --readme "$bench/README.md" "$bench/results"
fi
echo "bench: results in $out$([ -z "$record" ] || echo ", bench/results/latest-qt$qt.md, latest.md and bench/README.md")" >&2
exit "$status"
