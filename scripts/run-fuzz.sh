#!/usr/bin/env bash
# Runs each fuzz target of a build folder (bin/fuzz_*) for the given seconds, seeded from the
# shared MIDI files and the regression inputs; new crashes land in fuzz/regressions/.
set -euo pipefail
dir="${1:-build-fuzz}"
seconds="${2:-60}"
root="$(cd "$(dirname "$0")/.." && pwd)"
shopt -s nullglob
for f in "$dir"/bin/fuzz_*; do
    name=$(basename "$f")
    corpus="$dir/corpus-$name"
    mkdir -p "$corpus" "$root/fuzz/regressions"
    seeds=("$root/fuzz/regressions")
    [ -d "$root/../shared/testdata/midi" ] && seeds+=("$root/../shared/testdata/midi")
    for s in "${seeds[@]}"; do find "$s" -type f -name '*.mid' -exec cp -n {} "$corpus/" \; ; done
    find "$root/fuzz/regressions" -type f -exec cp -n {} "$corpus/" \; 2>/dev/null || true
    echo "== $name for ${seconds}s"
    "$f" "$corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$root/fuzz/regressions/" -print_final_stats=1 2>&1 | tail -n 12
done
