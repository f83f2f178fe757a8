# Sourced by bench/run.sh --profile: the direct path beside the floor, the server answering "no
# newer version": shared objects loaded, threads started, perf stat, callgrind's inclusive counts.
set +e +o pipefail # a look, best effort: a tool that fails or is missing leaves a gap
report="$build/profile.txt" && serve answer
echo "Where the direct path's time goes, beside the floor's ($(git -C "$root" describe --always --dirty))" >"$report"
for which in floor direct; do
    e="$work/profile-$which" && cleanenv "$e"
    command=("$work/direct/launcher") && [ "$which" = direct ] || command=("$work/floor/bench_floor" "$target")
    {
        printf '\n== %s: %s\n\n' "$which" "${command[*]}"
        "${clean[@]}" LD_DEBUG=files "${command[@]}" 2>&1 >/dev/null \
            | sed -n 's/.*file=\([^ ]*\) \[0\];  \(generating link map\|dynamically loaded by\).*/\1/p' | sort -u >"$e.objects"
        echo "shared objects: $(wc -l <"$e.objects")"
        "${clean[@]}" LD_DEBUG=statistics "${command[@]}" 2>&1 >/dev/null \
            | grep -m2 -E 'total startup time|number of relocations:' | sed "s/^[[:space:]]*[0-9]*:[[:space:]]*//"
        "${clean[@]}" strace -f -qq -e trace=clone,clone3,prctl -o "$e.strace" "${command[@]}" >/dev/null 2>&1
        echo "threads started: $(grep -c CLONE_THREAD "$e.strace") ($(grep -o 'PR_SET_NAME, "[^"]*' "$e.strace" | cut -d'"' -f2 | paste -sd, -))"
        "${clean[@]}" perf stat -r 10 -e task-clock,page-faults,context-switches "${command[@]}" 2>&1 >/dev/null \
            | grep -E 'task-clock|faults|switches|elapsed' | sed 's/^ */perf: /'
        "${clean[@]}" valgrind --tool=callgrind --callgrind-out-file="$e.callgrind.%p" "${command[@]}" >/dev/null 2>&1
        main=$(grep -H '^totals:' "$e".callgrind.* | sort -t' ' -k2 -n | tail -n1 | cut -d: -f1) # not the fork's
        echo "callgrind: $(grep '^totals:' "$main" | cut -d' ' -f2) instructions; inclusive, the largest:"
        callgrind_annotate --inclusive=yes "$main" | grep -E '^ *[0-9,]+ \(' | grep -v -E '\?\?\?:0x|\(below main\)' \
            | awk 'NR <= 30' | sed 's/ \[[^]]*\]$//'
    } >>"$report" 2>&1
done
{ printf '\n== shared objects only in direct\n\n'; comm -13 "$work/profile-floor.objects" "$work/profile-direct.objects"; } >>"$report"
serve closed && cat "$report" && echo "bench: profile in $report" >&2
