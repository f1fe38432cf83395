#!/usr/bin/env bash
# Whole-file throughput and peak memory of `morvelin convert` against `cp`
# of the same file (the natural limit: read once, write about as much).
# Usage: bench/throughput.sh [EPOCHS]   (default 200000, about 120 MB)
set -euo pipefail
cd "$(dirname "$0")/.."
epochs=${1:-200000}
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release --target morvelin_cli morvelin_make_sample >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build/release/tools/morvelin-make-sample "$work/BIG.dat" "$epochs"
size=$(stat -c %s "$work/BIG.dat")
for run in 1 2 3; do
  /usr/bin/time -f "cp      %e s  %M KiB" cp "$work/BIG.dat" "$work/COPY.dat"
  /usr/bin/time -f "convert %e s  %M KiB" build/release/cli/morvelin convert "$work/BIG.dat" >/dev/null
done
echo "input: $size bytes"
