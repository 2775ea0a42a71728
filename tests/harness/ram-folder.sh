#!/bin/sh
# Runs a test program with a RAM-backed folder for its files (--ramdir=DIR):
# a tmpfs mounted here. A write to the disk can hold up the whole machine
# for a quarter of a second now and then (write-back), which a test of how
# fast a program answers must not take for the program's doing. Where no
# tmpfs can be mounted, it says so, and the program runs without the option.
# usage: ram-folder.sh BUILD_DIR SIZE PROGRAM [ARGS...]
build=$(cd "$1" && pwd)
size=$2
shift 2
mnt=$(mktemp -d /tmp/setup1-ram.XXXXXX)
cleanup() {
  mountpoint -q "$mnt" && { umount "$mnt" || umount -l "$mnt"; }
  rmdir "$mnt" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 1' INT TERM
if mount -t tmpfs -o size="$size",mode=0700 setup1-ram "$mnt" 2>/dev/null; then
  echo "RAM folder: a tmpfs of $size at $mnt"
  set -- "$@" --ramdir="$mnt"
else
  echo "NOTE: no tmpfs could be mounted here: the files go to the disk, whose write-back may hold up answers"
fi
"$(dirname "$0")/../../cmake/wine-run" "$build" "$@" </dev/null
status=$?
exit $status
