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
. "$(dirname "$0")/wine-env.sh"
mnt=$(mktemp -d /tmp/setup1-ram.XXXXXX)
drive=
cleanup() {
  [ -n "$drive" ] && rm -f "$WINEPREFIX/dosdevices/$drive"
  mountpoint -q "$mnt" && { umount "$mnt" || umount -l "$mnt"; }
  rmdir "$mnt" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 1' INT TERM
if mount -t tmpfs -o size="$size",mode=0700 setup1-ram "$mnt" 2>/dev/null; then
  # Wine shows a mount point as a junction, which SETUP1.EXE rightly
  # refuses to stage through: the tmpfs gets a drive letter of its own,
  # whose root is no parent that is judged.
  for letter in r s t u v w x y; do
    [ -e "$WINEPREFIX/dosdevices/$letter:" ] || [ -L "$WINEPREFIX/dosdevices/$letter:" ] && continue
    ln -s "$mnt" "$WINEPREFIX/dosdevices/$letter:" && drive=$letter: && break
  done
  [ -n "$drive" ] || { echo "no free drive letter for the RAM folder" >&2; exit 1; }
  echo "RAM folder: a tmpfs of $size at $mnt, drive $drive"
  set -- "$@" --ramdir="$(echo "$drive" | tr a-z A-Z)\\"
else
  echo "NOTE: no tmpfs could be mounted here: the files go to the disk, whose write-back may hold up answers"
fi
"$(dirname "$0")/../../cmake/wine-run" "$build" "$@" </dev/null
status=$?
exit $status
