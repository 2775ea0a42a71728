#!/bin/sh
# Mounts a small tmpfs, links it as drive T: into the build tree's Wine
# prefix, makes a folder with a long name in drive C: and links drive M: to
# it as well, and runs the drive test program against them. Without the
# right to mount, the test is skipped (exit 77), not passed.
# usage: full-disk.sh BUILD_DIR TEST_EXE [ARGS...]
build=$(cd "$1" && pwd)
exe=$2
shift 2
link="$build/wineprefix/dosdevices/t:"
alias="$build/wineprefix/dosdevices/m:"
longname="Long Medium Folder $$"
longdir="$build/wineprefix/drive_c/$longname"
mnt=$(mktemp -d /tmp/setup1-fulldisk.XXXXXX)
faults=$(mktemp -d "$build/readfault.XXXXXX")
cleanup() {
  [ -L "$link" ] && [ "$(readlink "$link")" = "$mnt" ] && rm -f "$link"
  [ -L "$alias" ] && [ "$(readlink "$alias")" = "$longdir" ] && rm -f "$alias"
  rm -rf "$longdir"
  mountpoint -q "$mnt" && umount "$mnt"
  rmdir "$mnt" 2>/dev/null
  rm -rf "$faults"
}
trap cleanup EXIT INT TERM

if ! mount -t tmpfs -o size=256k,mode=0777 setup1-fulldisk "$mnt" 2>/dev/null; then
  echo "SKIPPED: mounting a tmpfs was refused"
  exit 77
fi
# A link left by a run that was killed before its cleanup.
case "$(readlink "$link" 2>/dev/null)" in
  /tmp/setup1-fulldisk.*) mountpoint -q "$(readlink "$link")" || rm -f "$link" ;;
esac
if [ -e "$link" ] || [ -L "$link" ]; then
  echo "SKIPPED: drive T: already exists in the prefix"
  exit 77
fi
ln -s "$mnt" "$link"
case "$(readlink "$alias" 2>/dev/null)" in
  "$build/wineprefix/drive_c/Long Medium Folder "*) rm -f "$alias" ;;
esac
if [ -e "$alias" ] || [ -L "$alias" ]; then
  echo "SKIPPED: drive M: already exists in the prefix"
  exit 77
fi
mkdir -p "$longdir"
ln -s "$longdir" "$alias"
free=$(( $(stat -f -c '%a' "$mnt") * $(stat -f -c '%S' "$mnt") ))
# A file that opens but whose reads fail.
ln -s /proc/self/mem "$faults/BAD.DAT"
head -c 5000 /dev/urandom >"$faults/GOOD.DAT"
echo "T: is a tmpfs of 256k at $mnt with $free bytes free"
"$(dirname "$0")/../../cmake/wine-run" "$build" "$exe" --drive=T: --free="$free" --readfault="$faults" \
  "--longmedium=C:\\$longname" --alias=M: "$@" </dev/null
