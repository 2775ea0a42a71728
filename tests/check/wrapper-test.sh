#!/bin/bash
# tools/setup1-check on media given as Linux paths: exit 0 for a good plan,
# 1 for a faulty one, 2 for bad usage, 0 for --help.
# usage: wrapper-test.sh BUILD_DIR
export SETUP1_BUILD=$1
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/setup1-check-XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0

expect() {  # expect STATUS PATTERN ARGS...
  local want=$1 pattern=$2
  shift 2
  local out status
  out=$("$here/tools/setup1-check" "$@" 2>&1)
  status=$?
  if [ "$status" != "$want" ] || ! grep -q -- "$pattern" <<<"$out"; then
    echo "FAILED: setup1-check $*: status $status (wanted $want), output:"
    echo "$out"
    echo "(wanted a line matching: $pattern)"
    failures=$((failures + 1))
  fi
}

mkdir -p "$work/good disk" "$work/faulty"
printf 'program' >"$work/good disk/P2.EXE"
printf 'driver' >"$work/good disk/KB.SY\$"
printf '[phasetwo]\r\ntarget=4\r\ncopyfiles=P2.EXE,KB.SYS\r\ntempdir=C:\\STAGE\r\ntempspace=10\r\nrun=P2.EXE\r\n' \
  >"$work/good disk/SETUP1.INF"
printf 'program' >"$work/faulty/P2.EXE"
printf '[phasetwo]\r\ntarget=4\r\ncopyfiles=P2.EXE, KB.SYS\r\ntempdir=C:\\STAGE\r\ntempspace=10\r\nrun=P2.EXE\r\n' \
  >"$work/faulty/SETUP1.INF"

expect 0 '^note: copyfiles\[2\] "KB.SYS": KB.SY\$ is staged as KB.SYS \[staged\]$' "$work/good disk"
expect 0 '^0 findings$' "$work/good disk" 'C:\OTHER'
expect 1 '^warning: copyfiles\[2\] " KB.SYS": .*\[blank\]$' "$work/faulty"
expect 1 'Z:\\.*\\P2.EXE -p4 ' "$work/faulty" "$work/stage"
expect 2 'usage:' 
expect 2 'is not a folder' "$work/none"
expect 0 '^Exit status' --help
exit $((failures > 0))
