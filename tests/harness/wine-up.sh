#!/bin/sh
# Brings up the build tree's X screen (Xvfb, 640x480x24 unless SETUP1_SCREEN
# says otherwise), its Wine prefix and a persistent wineserver. Quick when
# all of it is already up. usage: wine-up.sh BUILD_DIR
set -eu
build=$(cd "$1" && pwd)
screen=${SETUP1_SCREEN:-640x480x24}
. "$(dirname "$0")/wine-env.sh"

if ! { [ -s "$build/xvfb.pid" ] && kill -0 "$(cat "$build/xvfb.pid")" 2>/dev/null; }; then
  rm -f "$build/wine-display"
  # Xvfb picks a free display itself and writes its number to fd 3.
  Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$build/wine-display" </dev/null >/dev/null 2>&1 &
  echo $! >"$build/xvfb.pid"
  for _ in $(seq 100); do [ -s "$build/wine-display" ] && break; sleep 0.1; done
  [ -s "$build/wine-display" ] || { echo "Xvfb did not start" >&2; exit 1; }
fi
DISPLAY=":$(cat "$build/wine-display")"
export DISPLAY

# A prefix made while Wine's 32-bit side did not run has none of its 32-bit
# system files, and the shipped image's lane would fail in it: once that side
# runs, the prefix is made anew.
i386=$("$(dirname "$0")/../../tools/setup-machine" --i386-kind | cut -d: -f1)
if [ -f "$WINEPREFIX/.setup1-ready" ] && [ "$i386" != none ]; then
  case $(cat "$WINEPREFIX/.setup1-ready") in
    native | qemu) ;;
    *)
      wineserver -k </dev/null >/dev/null 2>&1 || true
      rm -rf "$WINEPREFIX" "$build/wineprefix-base"
      ;;
  esac
fi
# Wine's helpers inherit stdio; keep CTest's pipes out of their hands.
if [ ! -f "$WINEPREFIX/.setup1-ready" ]; then
  # Under emulation wineboot may give up waiting on its helpers and say so in
  # its exit code while the prefix is still made: the tests tell a broken one.
  "$WINE" wineboot -i </dev/null >/dev/null 2>&1 || echo "wineboot -i ended with $?" >&2
  # Without a window manager Wine waits for each window; let it draw its own.
  "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
  "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f </dev/null >/dev/null 2>&1
  # A crashing test program must fail, not wait at a crash dialog.
  "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
  echo "$i386" >"$WINEPREFIX/.setup1-ready"
fi
# A copy of the prefix as it stands before any test, for the tests on X
# screens of other sizes: the prefix itself changes under the tests that
# run beside them. Made with the wineserver down, so its registry is whole.
if [ ! -f "$build/wineprefix-base/.setup1-ready" ]; then
  wineserver -k </dev/null >/dev/null 2>&1 || true
  rm -rf "$build/wineprefix-base"
  cp -a --reflink=auto "$WINEPREFIX" "$build/wineprefix-base"
fi
wineserver -p </dev/null >/dev/null 2>&1 || true
# Start the services and the desktop now, with stdio on /dev/null: started
# later by a test program, they would keep that test's output pipe open.
"$WINE" wineboot </dev/null >/dev/null 2>&1 || echo "wineboot ended with $?" >&2
"$WINE" rundll32 user32.dll,GetDesktopWindow </dev/null >/dev/null 2>&1 || true
echo "Wine prefix $WINEPREFIX on display $DISPLAY ($screen)"
