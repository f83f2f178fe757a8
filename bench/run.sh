#!/usr/bin/env bash
# Start-up benchmark: the launcher beside the floor (a Qt program that only creates its
# application object and starts the product). Builds its own Release tree, sets up throw-away
# product directories, a clean environment and a local download server, measures every row many
# times, alternating the rows round by round, and writes
#
#   bench/results/latest.md           the tables (medians with min and max, ratios to the floor)
#   bench/results/latest.csv          the same figures, one line per row
#   bench/results/latest-samples.csv  every measured run
#
# Run it from a clone after ./test.sh (which installs the build dependencies):
#
#   bench/run.sh [-n RUNS] [-w WARMUP] [-p PORT] [--sizes "100 1000 10000 100000"] [-o DIR]
#   bench/run.sh --profile [-p PORT] [-o DIR]
#
#   -n RUNS      measured runs per row (default 21)
#   -w WARMUP    warm-up rounds, not counted (default 2)
#   -p PORT      port of the local download server on 127.0.0.1 (default 18767); it is built
#                into the benchmark's launchers, so another port rebuilds them
#   --sizes      entries of the generated string tables (default "100 1000 10000 100000");
#                an empty table is always measured as their baseline
#   -o DIR       where the results go (default bench/results)
#   --profile    instead of timing, look at where the direct path's time goes beside the floor's:
#                shared objects and plugins loaded, dynamic loader statistics, threads and system
#                calls, perf counters and callgrind's inclusive instruction counts (each where the
#                tool is installed), written to DIR/profile.txt (default build-bench/profile.txt)
#
# The build goes to build-bench/ (or BENCH_BUILD_DIR) with BENCH_JOBS parallel jobs (default 2).
# The machine is shared and noisy: the ratio to the floor measured in the same run is the figure
# that counts, not the absolute times.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BENCH_BUILD_DIR:-$root/build-bench}"
runs=21
warmup=2
port=18767
sizes="100 1000 10000 100000"
output=""
profile=""

while [ $# -gt 0 ]; do
    case "$1" in
    -n) runs="$2"; shift 2 ;;
    -w) warmup="$2"; shift 2 ;;
    -p) port="$2"; shift 2 ;;
    --sizes) sizes="$2"; shift 2 ;;
    -o) output="$2"; shift 2 ;;
    --profile) profile=1; shift ;;
    -h | --help) awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0"; exit 0 ;;
    *) echo "bench/run.sh: unknown argument $1 (see --help)" >&2; exit 2 ;;
    esac
done
if [ -z "$output" ]; then
    # A profile is a look at one build, not a result to keep beside the benchmark's.
    if [ -n "$profile" ]; then output="$build"; else output="$root/bench/results"; fi
fi
case "$output" in /*) ;; *) output="$PWD/$output" ;; esac

echo "bench: building in $build" >&2
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DLAUNCHER_BENCH=ON \
    -DLAUNCHER_BUILD_TESTS=OFF -DLAUNCHER_UPDATE_HOST="127.0.0.1:$port" >/dev/null
cmake --build "$build" -j "${BENCH_JOBS:-2}" >/dev/null

bin="$build/bench"
settings="$bin/settings-locale.ini"
value() { tr -d '\r' <"$settings" | sed -n "s/^$1 *= *//p" | head -n1; }
version="$(value version)"
target="$(value name | sed 's/\\\\/\//g; s/\\/\//g')"
stringsDir="$(value strings_dir | sed 's/\\\\/\//g; s/\\/\//g')"
if [ -z "$target" ] || [ -z "$version" ]; then
    echo "bench/run.sh: the built-in settings name no product or no version" >&2
    exit 1
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/launcher-bench.XXXXXX")"
holder=""
cleanup() {
    if [ -n "$holder" ]; then kill "$holder" 2>/dev/null || true; wait "$holder" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

# A clean environment, as the tests use: own home and configuration, offscreen platform.
home="$work/home"
mkdir -p "$home/config" "$home/cache" "$home/run" "$work/logs"
chmod 700 "$home/run"
cleanEnv=(env -i "PATH=$PATH" "HOME=$home" "XDG_CONFIG_HOME=$home/config"
    "XDG_CACHE_HOME=$home/cache" "XDG_RUNTIME_DIR=$home/run" "QT_QPA_PLATFORM=offscreen"
    "LANG=C.UTF-8")

# Product directories: a program, the stand-in product under the configured name, and the
# product data (tables, default-language file) as the build lays it out.
product() { # directory, program, name of the program in it
    mkdir -p "$work/$1/$(dirname "$target")"
    cp "$2" "$work/$1/$3"
    cp "$bin/bench_standin" "$work/$1/$target"
    if [ -d "$build/bin/resources" ]; then cp -r "$build/bin/resources" "$work/$1/"; fi
    mkdir -p "$work/$1/$stringsDir"
}
product floor "$bin/bench_floor" floor
product floorfonts "$bin/bench_floor_fonts" floor
product direct "$bin/locale/launcher" launcher
product nolocale "$build/bin/launcher" launcher
product second "$build/bin/launcher" launcher

# Generated string tables beside the launcher without a locale, chosen with -l benchN.
for n in 0 $sizes; do
    awk -v n="$n" 'BEGIN {
        print "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
        print "<lum_objects>"
        for (i = 0; i < n; i++)
            printf "  <string><id>lic_bench_%d</id><value>Text number %d of the benchmark table</value></string>\n", i, i
        print "</lum_objects>"
    }' >"$work/nolocale/$stringsDir/strings_bench$n.launcher.xml"
done

if [ -n "$profile" ]; then
    # shellcheck source=bench/profile.sh
    . "$root/bench/profile.sh"
    exit 0
fi

# The second-instance row needs a launcher that holds the guard: one with -f stays open. A probe
# started while the holder is still starting may take the guard first and make the holder end
# (with 0, as a second instance does); then the holder is started again.
startHolder() {
    "${cleanEnv[@]}" "$work/second/launcher" -f >>"$work/logs/holder.log" 2>&1 &
    holder=$!
}
startHolder
held=""
for _ in $(seq 100); do
    sleep 0.1
    if ! kill -0 "$holder" 2>/dev/null; then
        wait "$holder" || true
        startHolder
        continue
    fi
    code=0
    "${cleanEnv[@]}" "$work/second/launcher" >/dev/null 2>&1 || code=$?
    if [ "$code" -eq 0 ] && kill -0 "$holder" 2>/dev/null; then held=1; break; fi
done
if [ -z "$held" ]; then
    echo "bench/run.sh: the launcher started with -f does not hold the guard" >&2
    exit 1
fi

# key, label, expected exit code, server state, product starts per run, table entries, command.
plan="$work/plan.tsv"
row() { local IFS=$'\t'; echo "$*" >>"$plan"; }
row floor "floor" 0 - 1 -1 "$work/floor/floor" "$target"
row floorfonts "floor + font teardown (reference)" 0 - 1 -1 "$work/floorfonts/floor" "$target"
row direct "direct" 1 answer 1 -1 "$work/direct/launcher"
row nolocale "direct, no locale" 1 - 1 -1 "$work/nolocale/launcher"
row refused "refused" 1 closed 1 -1 "$work/direct/launcher"
row silent "silent" 1 silent 1 -1 "$work/direct/launcher"
row second "second instance" 0 - 0 -1 "$work/second/launcher"
for n in 0 $sizes; do
    entries="$(echo "$n" | sed -e ':a' -e 's/\B[0-9]\{3\}\>/,&/' -e 'ta')"
    row "table$n" "table of $entries entries (-l bench$n)" 1 - 1 "$n" "$work/nolocale/launcher" \
        -l "bench$n"
done

cpu="$(sed -n 's/^model name[[:space:]]*: *//p' /proc/cpuinfo | head -n1)"
memory="$(awk '/^MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)"
qt="$(pkg-config --modversion Qt5Core 2>/dev/null || echo 5)"
commit="$(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)"
if ! git -C "$root" diff --quiet HEAD -- . ':!bench/results' 2>/dev/null; then
    commit="$commit with local changes"
fi
machine="Machine: ${cpu:-unknown CPU}, nproc $(nproc), $memory RAM, Linux $(uname -r); Qt $qt; \
Release build of commit $commit; QT_QPA_PLATFORM=offscreen; $(date -u '+%Y-%m-%d %H:%M UTC'), \
load average at start $(cut -d' ' -f1-3 /proc/loadavg)."

echo "bench: $runs runs per row after $warmup warm-up rounds" >&2
status=0
(cd "$work" && "${cleanEnv[@]}" "$bin/bench_driver" --plan "$plan" --runs "$runs" \
    --warmup "$warmup" --server "$bin/bench_server" --port "$port" --version "$version" \
    --logs "$work/logs" --csv "$work/latest.csv" --samples "$work/latest-samples.csv" \
    --md "$work/latest.md" --note "$machine") || status=$?

mkdir -p "$output"
for file in latest.md latest.csv latest-samples.csv; do
    if [ -f "$work/$file" ]; then cp "$work/$file" "$output/$file.tmp" && mv "$output/$file.tmp" "$output/$file"; fi
done
echo "bench: results in $output" >&2
exit "$status"
