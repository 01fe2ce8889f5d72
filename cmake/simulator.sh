#!/bin/sh
# start DIR SERVER [CERTIFICATES] [ARGS...]: starts the Linux quote server simulator on a free
# loopback port for the Windows tests (they run under Wine and connect over 127.0.0.1), with one
# known user "vokuser" / "vokpass"; writes "127.0.0.1 PORT" to DIR/simulator.endpoint. With
# CERTIFICATES (the vokquote-test-certificates program, any argument not starting with "-") the
# simulator serves TLS with a certificate made for this run, and the line goes on with the CA file
# as Wine names it (drive Z:) and the certificate's SHA-256 fingerprint. Further arguments go to the
# simulator (a test's own --script). stop DIR: ends it and removes the certificates.
dir=$2
case "$1" in
  start)
    server=$3
    shift 3
    certificates=
    case "${1:-}" in
      "" | -*) ;;
      *) certificates=$1; shift ;;
    esac
    [ -x "$server" ] || { echo "quote server simulator not built: $server (build the linux preset first)"; exit 1; }
    mkdir -p "$dir" || exit 1
    printf 'vokuser:vokpass\n' >"$dir/simulator.users"
    rm -f "$dir/simulator.endpoint" "$dir/simulator.port"
    fingerprint=
    if [ -n "$certificates" ]; then
      [ -x "$certificates" ] || { echo "certificate maker not built: $certificates (build the linux preset first)"; exit 1; }
      fingerprint=$("$certificates" "$dir/certificates") || exit 1
      set -- --tls-cert "$dir/certificates/server0.pem" --tls-key "$dir/certificates/server.key" "$@"
    fi
    "$server" --listen 127.0.0.1:0 --users "$dir/simulator.users" --seed 7 --rate 5 --quiet "$@" \
      </dev/null >"$dir/simulator.port" 2>"$dir/simulator.log" &
    echo $! >"$dir/simulator.pid"
    tries=0
    while [ ! -s "$dir/simulator.port" ] && [ $tries -lt 100 ]; do sleep 0.1; tries=$((tries + 1)); done
    port=$(head -1 "$dir/simulator.port")
    [ -n "$port" ] || { echo "quote server simulator did not start"; cat "$dir/simulator.log"; exit 1; }
    if [ -n "$certificates" ]; then
      printf '127.0.0.1 %s Z:%s %s\n' "$port" "$dir/certificates/ca.pem" "$fingerprint" >"$dir/simulator.endpoint"
    else
      printf '127.0.0.1 %s\n' "$port" >"$dir/simulator.endpoint"
    fi
    ;;
  stop)
    [ -f "$dir/simulator.pid" ] && kill "$(cat "$dir/simulator.pid")" 2>/dev/null
    rm -f "$dir/simulator.pid"
    rm -rf "$dir/certificates"
    ;;
esac
exit 0
