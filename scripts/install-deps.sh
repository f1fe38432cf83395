#!/usr/bin/env bash
# Installs what the native build and its tests need on Debian 12, when it
# is missing. Usage: scripts/install-deps.sh [--windows] [--reliability]
#   --windows      also the mingw-w64 cross compiler and Wine (32-bit).
#   --reliability  also what the sanitizer, memcheck, fuzzing and hostile-host
#                  steps need: valgrind, clang with its libFuzzer runtime, and
#                  a decimal-comma locale (de_DE.UTF-8, generated).
set -euo pipefail

# Besides the compilers and libraries: pkg-config, dpkg-dev and file for the
# install test (cpack -G DEB reads the binaries' types with file and their
# dependencies with dpkg-shlibdeps), groff for the man page check,
# rsvg-convert and xmllint for the quality picture, rnx2rtkp for the RINEX
# files (and convbin, in the same package, for the epoch selection); zlib
# for the .gz files of the RINEX export and import; pybind11, the Python headers and
# numpy for the Python module, pytest, pandas and matplotlib for its tests
# and worked example, dask.distributed and GNU parallel for the campaign
# recipes.
packages=(cmake ninja-build g++ googletest libgtest-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev zlib1g-dev
          pkg-config dpkg-dev file groff-base librsvg2-bin libxml2-utils rtklib
          pybind11-dev python3-dev python3-numpy python3-pytest python3-pandas python3-matplotlib
          python3-distributed parallel)
windows=0
reliability=0
for option in "$@"; do
  case "$option" in
    --windows) windows=1 ;;
    --reliability) reliability=1 ;;
    *) echo "install-deps.sh: unknown option $option" >&2; exit 64 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ "$windows" = 1 ]; then
  for p in g++-mingw-w64-i686 libz-mingw-w64-dev wine wine32:i386; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
fi
if [ "$reliability" = 1 ]; then
  for p in valgrind clang libclang-rt-14-dev locales; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
fi

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

# The hostile-host tests convert under a decimal-comma locale.
make_locale() {
  [ "$reliability" = 1 ] || return 0
  locale -a 2>/dev/null | grep -qix 'de_DE.utf8' && return 0
  $sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8 >/dev/null 2>&1 ||
    echo "install-deps.sh: could not generate de_DE.UTF-8; the locale tests will be skipped" >&2
}

if [ "${#missing[@]}" -eq 0 ]; then
  make_locale
  exit 0
fi
echo "installing: ${missing[*]}" >&2
if [ "$windows" = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
make_locale
