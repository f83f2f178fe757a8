# Sourced by bench/run.sh --profile once the product directories exist: where the direct path's
# time goes, beside the floor's. Uses $work, $bin, $cleanEnv, $port, $version, $target, $output.
# Every probe runs the launcher with the download server answering "no newer version".

report="$work/profile.txt"
floorCommand=("$work/floor/floor" "$target")
directCommand=("$work/direct/launcher")

coproc server { "$bin/bench_server" --port "$port" --version "$version"; }
serverIn=${server[1]}
serverOut=${server[0]}
read -r line <&"$serverOut"
echo answer >&"$serverIn"
read -r line <&"$serverOut"
if [ "$line" != ok ]; then
    echo "bench/run.sh: the download server cannot listen on port $port" >&2
    exit 1
fi

section() { printf '\n== %s\n\n' "$1" >>"$report"; }
have() { command -v "$1" >/dev/null 2>&1; }
# Runs a command in the clean environment with extra variables: run VAR=value... -- command...
# The launcher's exit code (1 after a direct start) is no failure here.
run() {
    local vars=()
    while [ "$1" != -- ]; do vars+=("$1"); shift; done
    shift
    (cd "$work" && "${cleanEnv[@]}" "${vars[@]}" "$@") || true
}
# Shared objects a run maps, from the dynamic loader's own trace.
objects() {
    run LD_DEBUG=files -- "$@" 2>&1 >/dev/null \
        | sed -n 's/.*file=\([^ ]*\) \[0\];  \(generating link map\|dynamically loaded by\).*/\1/p' \
        | sed 's/\.avx2$//' | sort -u
}

echo "Where the direct path's time goes, beside the floor" >"$report"
echo "direct: ${directCommand[*]}" >>"$report"
echo "floor:  ${floorCommand[*]}" >>"$report"

section "Shared objects (LD_DEBUG=files)"
objects "${floorCommand[@]}" >"$work/objects-floor"
objects "${directCommand[@]}" >"$work/objects-direct"
echo "floor $(wc -l <"$work/objects-floor"), direct $(wc -l <"$work/objects-direct"); only in direct:" >>"$report"
comm -13 "$work/objects-floor" "$work/objects-direct" | sed 's/^/  /' >>"$report"

section "Plugins loaded by the direct path (QT_DEBUG_PLUGINS=1)"
run QT_DEBUG_PLUGINS=1 -- "${directCommand[@]}" 2>&1 | sed -n 's/^loaded library "\(.*\)"$/  \1/p' >>"$report"

section "Dynamic loader (LD_DEBUG=statistics, the launcher's own process)"
for which in floor direct; do
    if [ "$which" = floor ]; then command=("${floorCommand[@]}"); else command=("${directCommand[@]}"); fi
    run LD_DEBUG=statistics -- "${command[@]}" 2>&1 >/dev/null \
        | grep -m3 -E 'total startup time|time needed for relocation|number of relocations:' \
        | sed "s/^ *[0-9]*:[[:space:]]*/  $which: /" >>"$report"
done

if have strace; then
    section "Threads and system calls (strace -f)"
    for which in floor direct; do
        if [ "$which" = floor ]; then command=("${floorCommand[@]}"); else command=("${directCommand[@]}"); fi
        run -- strace -f -o "$work/strace-$which" "${command[@]}" >/dev/null 2>&1
        threads="$(sed -n 's/.*PR_SET_NAME, "\([^"]*\)".*/\1/p' "$work/strace-$which" | sort -u | paste -sd, -)"
        echo "  $which: $(wc -l <"$work/strace-$which") calls, threads started: ${threads:-none}" >>"$report"
    done
    echo >>"$report"
    run -- strace -c -f -o "$work/strace-summary" "${directCommand[@]}" >/dev/null 2>&1
    head -n 16 "$work/strace-summary" >>"$report"
else
    section "strace not installed: no system call figures"
fi

if have perf && perf stat -e task-clock true >/dev/null 2>&1; then
    section "perf stat -r 10 (software counters)"
    for which in floor direct; do
        if [ "$which" = floor ]; then command=("${floorCommand[@]}"); else command=("${directCommand[@]}"); fi
        echo "  $which:" >>"$report"
        run -- perf stat -r 10 -e task-clock,page-faults,context-switches "${command[@]}" 2>&1 >/dev/null \
            | grep -E 'task-clock|page-faults|context-switches|elapsed' | sed 's/^ */    /' >>"$report"
    done
else
    section "perf not usable here: no counters"
fi

if have valgrind && have callgrind_annotate; then
    section "callgrind: inclusive instruction counts of the launcher's own process"
    for which in floor direct; do
        if [ "$which" = floor ]; then command=("${floorCommand[@]}"); else command=("${directCommand[@]}"); fi
        rm -f "$work"/callgrind.*
        run -- valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.%p" "${command[@]}" \
            >/dev/null 2>&1
        # The detached start forks: the launcher is the process with the most instructions.
        main="$(grep -H '^totals:' "$work"/callgrind.* | sort -t' ' -k2 -n | tail -n1 | cut -d: -f1)"
        echo "  $which: $(grep '^totals:' "$main" | cut -d' ' -f2) instructions; the largest entries:" >>"$report"
        callgrind_annotate --inclusive=yes "$main" 2>/dev/null \
            | grep -E '\?\?\?:main \[|QApplication::(Q|~Q)Application|FcInitLoadConfigAndFonts|_dl_start \[|dl_open_worker \[|QNetworkAccessManager::QNetworkAccessManager|QNetworkConfigurationManager::QNetworkConfigurationManager|QXmlQuery::|launcher::|QProcess::startDetached\(QString|QEventLoop::exec|QSettings::QSettings' \
            | grep -v "'" | head -n 25 | sed 's/^ */    /; s/ \[.*$//' >>"$report"
    done
else
    section "valgrind not installed: no instruction counts"
fi

exec {serverIn}>&-
wait "$server_PID" 2>/dev/null || true
mkdir -p "$output"
cp "$report" "$output/profile.txt"
cat "$report"
echo "bench: profile in $output/profile.txt" >&2
