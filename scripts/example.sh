#!/usr/bin/env bash
# Builds morvelin and converts the simulated sample raw data file examples/SIMU3450.dat,
# then shows what came out.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release --target morvelin_cli morvelin >/dev/null

# The outputs go to a scratch folder (build/example), not into examples/.
morvelin=$PWD/build/release/cli/morvelin
out=$PWD/build/example
mkdir -p "$out"
echo "== morvelin detect examples/SIMU3450.dat"
$morvelin detect examples/SIMU3450.dat
echo
echo "== morvelin convert -d build/example examples/SIMU3450.dat"
$morvelin convert -d "$out" examples/SIMU3450.dat
for f in SIMU3450.sta SIMU3450.sum; do
  echo; echo "== build/example/$f"; cat "$out/$f"
done
echo; echo "== build/example/SIMU3450.epp (first block)"; head -n 9 "$out/SIMU3450.epp"
echo; echo "== morvelin inspect build/example/SIMU3450.gpb (first lines)"
$morvelin inspect "$out/SIMU3450.gpb" | head -n 14 || true
