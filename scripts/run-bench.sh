#!/usr/bin/env bash
# Runs every benchmark program of a build folder (bin/bench_*) one after the other.
set -euo pipefail
dir="${1:-build-bench}"
shopt -s nullglob
found=0
for b in "$dir"/bin/bench_*; do
    [ -x "$b" ] || continue
    found=1
    echo "== $(basename "$b")"
    "$b"
done
[ $found = 1 ] || echo "no benchmarks built"
