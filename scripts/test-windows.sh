#!/bin/sh
# Builds morvelin.dll and the whole test suite for 32-bit Windows with
# mingw-w64 and runs every test under Wine (build/win32).
#
#   scripts/test-windows.sh [extra ctest arguments, e.g. -R host_check]
#
# On a fresh Debian 12 machine, run as root, it first installs what is
# missing: cmake, ninja, the mingw-w64 i686 compiler, the GoogleTest and
# nlohmann/json sources, and Wine with its 32-bit part (after adding the
# i386 architecture).
set -eu

cd "$(dirname "$0")/.."

missing=""
command -v cmake >/dev/null 2>&1 || missing="$missing cmake"
command -v ninja >/dev/null 2>&1 || missing="$missing ninja-build"
command -v i686-w64-mingw32-g++ >/dev/null 2>&1 || missing="$missing g++-mingw-w64-i686"
[ -f /usr/src/googletest/CMakeLists.txt ] || missing="$missing googletest"
[ -f /usr/include/nlohmann/json.hpp ] || missing="$missing nlohmann-json3-dev"
command -v wine >/dev/null 2>&1 || missing="$missing wine"
dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed' || missing="$missing wine32:i386"

if [ -n "$missing" ]; then
  echo "test-windows.sh: installing$missing"
  if [ "$(id -u)" -ne 0 ]; then
    echo "test-windows.sh: run as root to install them, or install them yourself" >&2
    exit 1
  fi
  case "$missing" in
    *wine32*) dpkg --add-architecture i386 ;;
  esac
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  # shellcheck disable=SC2086
  apt-get install -y $missing
fi

jobs=$(nproc 2>/dev/null || echo 2)

cmake --preset win32
cmake --build --preset win32 --parallel "$jobs"

echo "test-windows.sh: running the suite under Wine"
start=$(date +%s)
status=0
ctest --preset win32 --parallel "$jobs" "$@" || status=$?
echo "test-windows.sh: Wine part took $(( $(date +%s) - start )) s"

# Wine's server lingers a few seconds after the last program: stop it now.
WINEPREFIX="$PWD/build/win32/wineprefix" wineserver -k >/dev/null 2>&1 || true
exit "$status"
