#!/usr/bin/env bash
# make bench: every figure against its baseline, measured in the same run, one line each:
#   <figure>: ours <value> baseline <value> ratio <r> target <t> ok|MISS
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
cd "$(dirname "$0")/.."
ninja -C "$build" benchmarks >/dev/null
echo "machine: $(uname -srm), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'),"\
     "$(wine --version 2>/dev/null), 64-bit prefix (the program under WoW64)"
for b in deletetree uninstall tarnlog startup; do
  tools/wine-bench.sh "$build/wine" run win64 "$build/bench/bench_$b.exe" | tr -d '\r' | grep -E '^[a-z].*: ' || true
done
size=$(stat -c %s "$build/AgentUninstaller_Win.exe")
awk -v s="$size" 'BEGIN { mb = s / 1048576; printf "shipped exe size: ours %.3f MB baseline - ratio - target <=0.60 MB %s\n", mb, mb <= 0.6 ? "ok" : "MISS" }'
