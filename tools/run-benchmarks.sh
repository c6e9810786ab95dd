#!/usr/bin/env bash
# make bench: every benchmark program (tests/bench_*/bench_*.exe) under Wine, 64-bit prefix.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
cd "$(dirname "$0")/.."
ninja -C "$build" $(cd "$build" && ninja -t targets all | sed -n 's/^\(bench_[a-z_]*\): .*/\1/p' | sort -u)
for exe in "$build"/tests/bench_*/bench_*.exe; do
  [ -e "$exe" ] || continue
  echo "== $(basename "$exe")"
  tools/wine-bench.sh "$build/wine" run win64 "$exe"
done
