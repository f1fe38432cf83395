#!/usr/bin/env bash
# Runs every test: the native suite (library, CLI, conformance cases) and,
# cross-built with mingw-w64, the Windows suite and host program under Wine.
# Usage: scripts/test.sh [--native-only]
set -euo pipefail
cd "$(dirname "$0")/.."

native_only=0
[ "${1:-}" = "--native-only" ] && native_only=1

if [ "$native_only" = 1 ]; then scripts/install-deps.sh; else scripts/install-deps.sh --windows; fi

jobs=$(nproc)
echo "== native build and tests"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVELIN_BUILD_TESTS=ON >/dev/null
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j "$jobs"

if [ "$native_only" = 0 ] && [ -x scripts/test-windows.sh ]; then
  echo "== Windows build and tests (Wine)"
  scripts/test-windows.sh
fi
