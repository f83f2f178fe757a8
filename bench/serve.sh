#!/usr/bin/env bash
# bench/serve.sh DIR MODE: puts the benchmark's download server into that mode (at once when it
# is): silent, a socket that accepts and never answers; closed, nothing (connections are refused);
# any other, nginx with DIR/nginx-MODE.conf. DIR holds the port, state and logs; hyperfine runs
# this before each run.
set -eu
dir=$1 mode=$2
[ "$(cat "$dir/mode" 2>/dev/null)" != "$mode" ] || exit 0
pid=$(cat "$dir/pid" 2>/dev/null || true) && [ -z "$pid" ] || kill "$pid" 2>/dev/null || true
while [ -n "$pid" ] && state=$(cut -d' ' -f3 "/proc/$pid/stat" 2>/dev/null) && [ "$state" != Z ]; do sleep 0.01; done
rm -f "$dir/pid" "$dir/mode" "$dir/ready" "$dir/nginx.pid"
# nginx by its full path: /usr/sbin is not on the PATH of a user who is not root.
case "$mode" in
silent) python3 -c 'import socket, sys
listener, held = socket.create_server(("127.0.0.1", int(sys.argv[1]))), []
open(sys.argv[2], "w").write("ready")
while True: held.append(listener.accept()[0]); print("accepted", flush=True)' "$(cat "$dir/port")" "$dir/ready" </dev/null >>"$dir/silent.log" 2>&1 &
    ready="$dir/ready" ;;
closed) exit 0 ;;
*) [ -e "$dir/nginx-$mode.conf" ] || { echo "bench/serve.sh: unknown mode $mode" >&2 && exit 2; }
    /usr/sbin/nginx -p "$dir/" -c "nginx-$mode.conf" -e "$dir/error.log" </dev/null >>"$dir/nginx.out" 2>&1 &
    ready="$dir/nginx.pid" ;; # written once nginx listens
esac
echo $! >"$dir/pid"
for _ in $(seq 500); do [ -s "$ready" ] && break; sleep 0.01; done
[ -s "$ready" ] || { echo "bench/serve.sh: no $mode server on port $(cat "$dir/port")" >&2; exit 1; }
echo "$mode" >"$dir/mode"
