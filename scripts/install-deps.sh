#!/usr/bin/env bash
# Installs what the native build and its tests need on Debian 12, when it
# is missing. Usage: scripts/install-deps.sh [--windows]
#   --windows  also the mingw-w64 cross compiler and Wine (32-bit).
set -euo pipefail

packages=(cmake ninja-build g++ googletest libgtest-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev
          pkg-config dpkg-dev groff-base librsvg2-bin rtklib)
windows=0
[ "${1:-}" = "--windows" ] && windows=1

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ "$windows" = 1 ]; then
  for p in g++-mingw-w64-i686 wine wine32:i386; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
fi
[ "${#missing[@]}" -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "installing: ${missing[*]}" >&2
if [ "$windows" = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
