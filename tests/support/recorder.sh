#!/bin/sh
# Stand-in product for tests: writes its arguments, each ended by a NUL, to a new file
# "<own path>.<pid>.args" beside itself; with RECORDER_LINGER_MS set it stays that long.
for argument in "$@"; do printf '%s\000' "$argument"; done >"$0.$$.part" && /bin/mv "$0.$$.part" "$0.$$.args"
/bin/sleep $((${RECORDER_LINGER_MS:-0} / 1000))
