#!/usr/bin/env bash
# Fuzzes one target (or all) for a given time with libFuzzer, in a clang build of its own.
#   scripts/fuzz.sh [target|all] [seconds per target]      e.g. scripts/fuzz.sh replyparse 600
# Targets: the fuzz_<name>.cpp files in fuzz/. New inputs that raise coverage are written to
# build-fuzz/corpus/<name>; a crash is written as build-fuzz/crash-* and stops that target.
# Copy crashes into fuzz/corpus/<name>/ once fixed, so every test run replays them.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
which="${1:-all}"
seconds="${2:-60}"
build="$root/build-fuzz"

LAUNCHER_BUILD_DIR="$build" LAUNCHER_EXTRA_PACKAGES="clang libclang-rt-dev" \
LAUNCHER_CMAKE_ARGS="-DCMAKE_CXX_COMPILER=clang++ -DLAUNCHER_FUZZ=ON -DLAUNCHER_BUILD_TESTS=OFF" \
    "$root/scripts/setup.sh"

targets=()
if [ "$which" = all ]; then
    for f in "$root"/fuzz/fuzz_*.cpp; do n="$(basename "$f" .cpp)"; targets+=("${n#fuzz_}"); done
else
    targets=("$which")
fi

export QT_QPA_PLATFORM=offscreen
for name in "${targets[@]}"; do
    mkdir -p "$build/corpus/$name"
    # A target's dictionary of tokens, fuzz/data/<name>.dict, is used when there is one.
    dict=()
    if [ -f "$root/fuzz/data/$name.dict" ]; then dict=(-dict="$root/fuzz/data/$name.dict"); fi
    echo "== fuzzing $name for ${seconds}s" >&2
    (cd "$build" && "$build/fuzz/fuzz_$name" -max_total_time="$seconds" \
        -print_final_stats=1 -artifact_prefix="$build/" "${dict[@]}" \
        "$build/corpus/$name" "$root/fuzz/corpus/$name")
done
