#!/bin/sh
# Runs the C++ example against a quote server simulator started for the purpose on a free port;
# succeeds when the client logged on and printed quotes for its symbol.
server=$1
client=$2
dir=$(mktemp -d)
printf 'vokuser:vokpass\n' >"$dir/users"
"$server" --listen 127.0.0.1:0 --users "$dir/users" --rate 5 --quiet </dev/null >"$dir/port" &
pid=$!
tries=0
while [ ! -s "$dir/port" ] && [ $tries -lt 100 ]; do sleep 0.1; tries=$((tries + 1)); done
port=$(head -1 "$dir/port")
"$client" "127.0.0.1:$port" vokuser vokpass 2 MSFT >"$dir/out"
status=$?
kill "$pid"
cat "$dir/out"
grep -q '^MSFT ' "$dir/out" || status=1
rm -rf "$dir"
exit $status
