#!/usr/bin/env bash
# Runs every fuzz target of a fuzz-enabled build for a few seconds each, from its seed corpus.
set -euo pipefail
build=${1:-build-asan}
seconds=${2:-20}
root=$(cd "$(dirname "$0")/.." && pwd)

shopt -s nullglob
targets=("$build"/fuzz/*_fuzz)
if ((${#targets[@]} == 0)); then
    echo "no fuzz targets in $build/fuzz" >&2
    exit 1
fi
for target in "${targets[@]}"; do
    name=$(basename "$target")
    corpus="$root/fuzz-corpus/$name"
    mkdir -p "$corpus"
    echo "fuzzing $name for ${seconds}s"
    "$target" -max_total_time="$seconds" -print_final_stats=1 "$corpus" "$root/fuzz/seeds/$name"
done
