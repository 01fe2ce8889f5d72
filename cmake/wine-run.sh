#!/bin/sh
# Runs a Windows program of the build under Wine: the cross-compiling emulator of the win64 preset.
# The prefix lives inside the build folder so that builds never touch the user's own ~/.wine.
: "${WINEPREFIX:=$(dirname "$0")/../build/win64/wineprefix}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
exec wine "$@"
