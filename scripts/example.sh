#!/usr/bin/env bash
# Builds morvelin and converts the sample raw data file in examples/,
# then shows what came out.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVELIN_BUILD_TESTS=OFF >/dev/null
cmake --build build/release --target morvelin_cli morvelin >/dev/null

morvelin=build/release/cli/morvelin
echo "== morvelin detect examples/sample.dat"
$morvelin detect examples/sample.dat
echo
echo "== morvelin convert examples/sample.dat"
$morvelin convert examples/sample.dat
for f in examples/sample.sta examples/sample.sum; do
  echo; echo "== $f"; cat "$f"
done
echo; echo "== examples/sample.epp (first block)"; head -n 9 examples/sample.epp
echo; echo "== morvelin inspect examples/sample.gpb (first lines)"
$morvelin inspect examples/sample.gpb | head -n 14 || true
