#!/usr/bin/env bash
# Redraws the manual's picture of the sample session: docs/qc-sample.svg
# and its PNG (rsvg-convert, Debian package librsvg2-bin).
# Usage: scripts/qc-sample.sh [BUILD_DIR]   (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release}"
cmake --build "$build" --target morvelin_cli >/dev/null
"$build/cli/morvelin" qc examples/SIMU3450.dat --svg docs/qc-sample.svg >/dev/null
rsvg-convert docs/qc-sample.svg -o docs/qc-sample.png
echo "docs/qc-sample.svg docs/qc-sample.png"
