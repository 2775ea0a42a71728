# Sourced with $build set to a build tree: the Wine prefix of that tree and
# the loader for its programs' word size. A tree of the mingw64 preset holds
# 64-bit programs (see tools/test): they run natively under Wine's 64-bit
# side in a 64-bit prefix, which still runs a 32-bit program (the sample
# second phase) wherever Wine's 32-bit side runs at all.
wine_arch=$(cat "$build/wine-arch" 2>/dev/null || echo win32)
if [ "$wine_arch" = win64 ]; then
  WINE=/usr/lib/wine/wine64
else
  WINE=wine
fi
export WINEPREFIX="${WINEPREFIX_OVERRIDE:-$build/wineprefix}" WINEARCH="$wine_arch"
export WINEDEBUG="${SETUP1_WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
