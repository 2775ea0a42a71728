#!/bin/sh
# Stops what wine-up.sh started for this build tree, and nothing else.
# usage: wine-down.sh BUILD_DIR
build=$(cd "$1" && pwd)
WINEPREFIX="$build/wineprefix" wineserver -k </dev/null >/dev/null 2>&1
if [ -s "$build/xvfb.pid" ]; then
  kill "$(cat "$build/xvfb.pid")" 2>/dev/null
  rm -f "$build/xvfb.pid" "$build/wine-display"
fi
exit 0
