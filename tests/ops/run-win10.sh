#!/bin/sh
# Runs a test program in a 64-bit prefix of its own that reports Windows 10
# (the shared benches report Windows 7). Usage: run-win10.sh BENCH ROOT EXE [ARGS]
set -e
bench=$1
root=$2
shift 2
"$bench" "$root" ensure win64 >/dev/null 2>&1 </dev/null
eval "$("$bench" "$root" env win64)"
winecfg -v win10 >/dev/null 2>&1 </dev/null
exec "$bench" "$root" run win64 "$@"
