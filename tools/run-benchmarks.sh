#!/usr/bin/env bash
# make bench: every benchmark program (bench/*.cpp) under Wine, 64-bit prefix.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
cd "$(dirname "$0")/.."
ninja -C "$build" benchmarks
for exe in "$build"/bench/bench_*.exe; do
  [ -e "$exe" ] || continue
  echo "== $(basename "$exe")"
  tools/wine-bench.sh "$build/wine" run win64 "$exe"
done
