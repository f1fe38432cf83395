#!/usr/bin/env bash
# Rewrites the reference outputs of the simulated sessions in
# tests/golden/sim/ from the current simulator and converter. Run it on
# purpose only, then review `git diff tests/golden/sim` before committing.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release --target sim_golden_test
MORVELIN_UPDATE_GOLDEN=1 build/release/tests/sim_golden_test --gtest_brief=1
build/release/tests/sim_golden_test --gtest_brief=1
git status --short tests/golden/sim
