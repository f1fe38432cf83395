#!/usr/bin/env bash
# Builds morvelin and converts the simulated sample raw data file examples/SIMU3450.dat,
# then shows what came out.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVELIN_BUILD_TESTS=OFF >/dev/null
cmake --build build/release --target morvelin_cli morvelin >/dev/null

# Converted where it lies, as a host does: the outputs land beside it.
morvelin=$PWD/build/release/cli/morvelin
cd examples
echo "== morvelin detect SIMU3450.dat"
$morvelin detect SIMU3450.dat
echo
echo "== morvelin convert SIMU3450.dat"
$morvelin convert SIMU3450.dat
for f in SIMU3450.sta SIMU3450.sum; do
  echo; echo "== examples/$f"; cat "$f"
done
echo; echo "== examples/SIMU3450.epp (first block)"; head -n 9 SIMU3450.epp
echo; echo "== morvelin inspect SIMU3450.gpb (first lines)"
$morvelin inspect SIMU3450.gpb | head -n 14 || true
