#!/bin/sh
# Runs a test program of the 64-bit build against the shipped 32-bit
# programs of build/ (the lane of the shipped image), in the build tree's own
# prefix, where they are the only 32-bit programs. Where Wine's 32-bit side
# does not run, the case is skipped with the reason (exit code 77, which
# CTest counts as skipped).
# usage: lane.sh BUILD_DIR PROGRAM [ARGS...]
here=$(dirname "$0")
build=$1
shift
kind=$("$here/../../tools/setup-machine" --i386-kind)
case $kind in
  none*)
    echo "skipped: the shipped 32-bit image can't run here: ${kind#none: }"
    exit 77
    ;;
esac
exec "$here/../../cmake/wine-run" "$build" "$@"
