#!/bin/sh
# Runs a Windows program on an X screen of another size. A wineserver keeps
# the display of the first GUI program it served, so the program gets its
# own Xvfb and its own copy of the build tree's Wine prefix (of the copy the
# fixture made before any test ran), and everything started here is stopped again.
# usage: other-screen.sh BUILD_DIR WIDTHxHEIGHTxDEPTH PROGRAM [ARGS...]
set -u
build=$(cd "$1" && pwd)
screen=$2
shift 2
[ -f "$build/wineprefix-base/.setup1-ready" ] || { echo "no Wine prefix in $build; run wine-up.sh first" >&2; exit 1; }
work=$(mktemp -d "$build/screen-XXXXXX")
xvfb=
cleanup() {
  WINEPREFIX="$work/prefix" wineserver -k </dev/null >/dev/null 2>&1
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$work/display" </dev/null >/dev/null 2>&1 &
xvfb=$!
cp -a --reflink=auto "$build/wineprefix-base" "$work/prefix" || exit 1
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb $screen did not start" >&2; exit 1; }

WINEPREFIX_OVERRIDE="$work/prefix"
. "$(dirname "$0")/../harness/wine-env.sh"
export DISPLAY=":$(cat "$work/display")"
wineserver -p </dev/null >/dev/null 2>&1
# The services and the desktop with stdio on /dev/null, as the fixture does.
"$WINE" wineboot </dev/null >/dev/null 2>&1
"$WINE" rundll32 user32.dll,GetDesktopWindow </dev/null >/dev/null 2>&1
"$WINE" "$@"
status=$?
exit $status
