#!/usr/bin/env bash
# Builds morvelin and converts the sample raw data file examples/MORV3450.dat,
# then shows what came out.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVELIN_BUILD_TESTS=OFF >/dev/null
cmake --build build/release --target morvelin_cli morvelin >/dev/null

# Converted where it lies, as a host does: the outputs land beside it.
morvelin=$PWD/build/release/cli/morvelin
cd examples
echo "== morvelin detect MORV3450.dat"
$morvelin detect MORV3450.dat
echo
echo "== morvelin convert MORV3450.dat"
$morvelin convert MORV3450.dat
for f in MORV3450.sta MORV3450.sum; do
  echo; echo "== examples/$f"; cat "$f"
done
echo; echo "== examples/MORV3450.epp (first block)"; head -n 9 MORV3450.epp
echo; echo "== morvelin inspect MORV3450.gpb (first lines)"
$morvelin inspect MORV3450.gpb | head -n 14 || true
