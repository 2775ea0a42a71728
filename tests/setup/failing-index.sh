#!/bin/sh
# tools/setup-machine on a machine whose package registry fails one index: a
# scratch copy of the machine's sources with one more that does not answer,
# a scratch package state in which nothing is installed (so every package is
# "missing"), and apt-get simulating the installs. What the 64-bit test build
# needs must still be installable, and the set-up must end with 0.
# usage: failing-index.sh SOURCE_DIR
set -u
src=$1
[ "$(id -u)" = 0 ] || { echo "skipped: apt-get update needs root"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/parts" "$work/lists/partial" "$work/archives/partial" "$work/dpkg/updates" "$work/dpkg/info"
cp /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list "$work/parts/" 2>/dev/null
[ -f /etc/apt/sources.list ] && cp /etc/apt/sources.list "$work/parts/machine.list"
# Nothing listens on the discard port of the loopback: the index fails at once.
echo "deb [trusted=yes] http://127.0.0.1:9/debian bookworm main" >"$work/parts/not-answering.list"
: >"$work/dpkg/status"
cp /var/lib/dpkg/arch "$work/dpkg/arch" 2>/dev/null
cat >"$work/apt.conf" <<CONF
Dir::Etc::sourcelist "$work/none.list";
Dir::Etc::sourceparts "$work/parts";
Dir::State::Lists "$work/lists";
Dir::State::status "$work/dpkg/status";
Dir::Cache::Archives "$work/archives";
Dir::Cache::pkgcache "";
Dir::Cache::srcpkgcache "";
CONF
out=$(APT_CONFIG="$work/apt.conf" DPKG_ADMINDIR="$work/dpkg" SETUP1_APT_SIMULATE=1 "$src/tools/setup-machine" 2>&1)
status=$?
failures=0
check() {  # check WHAT GOT WANTED
  if [ "$2" = "$3" ]; then return; fi
  echo "FAIL: $1: got [$2], wanted [$3]"
  failures=$((failures + 1))
}
check "exit code of tools/setup-machine" $status 0
case $out in *"127.0.0.1:9"*) got=reported ;; *) got=silent ;; esac
check "the index that does not answer" $got reported
case $out in *"going on with those there are"*) got=yes ;; *) got=no ;; esac
check "the set-up goes on after the failed update" $got yes
for p in cmake g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64 xvfb nsis doctest-dev clang; do
  case $out in *"Inst $p "*) got=installed ;; *) got=missing ;; esac
  check "package $p" $got installed
done
if [ $failures != 0 ]; then
  echo "--- what tools/setup-machine said:"
  echo "$out" | tail -40
  exit 1
fi
echo "tools/setup-machine went on past the failing index and would install what the 64-bit build needs"
