#!/bin/sh
# start PREFIX: creates the Wine prefix if needed and keeps one wineserver alive for the whole
# ctest run (each test program then starts in about a second); stop PREFIX: ends that server.
# Every Wine process started here has its output closed: ctest waits for the pipes it hands out,
# and Wine's background services would otherwise hold them open.
export WINEPREFIX=$2
export WINEDEBUG=-all
case "$1" in
  start)
    mkdir -p "$WINEPREFIX" || exit 1
    wineserver -p 900 </dev/null >/dev/null 2>&1
    wineboot -i </dev/null >/dev/null 2>&1
    # wineboot can return before the registry files are written: give them a minute.
    tries=0
    while [ ! -f "$WINEPREFIX/system.reg" ] && [ $tries -lt 120 ]; do sleep 0.5; tries=$((tries + 1)); done
    [ -f "$WINEPREFIX/system.reg" ] || { echo "wine prefix $WINEPREFIX was not created"; exit 1; }
    ;;
  stop)
    wineserver -k </dev/null >/dev/null 2>&1
    ;;
esac
exit 0
