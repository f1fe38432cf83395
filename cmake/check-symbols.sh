#!/bin/sh
# Checks the export table of libmorvelin-cxx.so against the checked-in list
# of its public C++ interface (demangled, one a line, sorted).
#   check-symbols.sh NM LIBRARY LIST
# After a deliberate change of the public headers, write the list anew:
#   check-symbols.sh NM LIBRARY LIST --write
set -eu
nm_tool=$1 library=$2 list=$3
[ -e "$library" ] || { echo "no library at $library" >&2; exit 1; }
exports=$("$nm_tool" -D --defined-only -C "$library" |
  sed -n 's/^[0-9a-fA-F]* *[A-Za-z] \(.*\)$/\1/p' | sed 's/@@*[A-Z_0-9]*$//' | grep -v '^MORVELIN_CXX_[0-9]*$' |
  LC_ALL=C sort)
if [ "${4:-}" = --write ]; then
  printf '%s\n' "$exports" >"$list"
  exit 0
fi
if ! printf '%s\n' "$exports" | diff -u "$list" - >&2; then
  echo "$library: the exports differ from $list (- listed, + exported)" >&2
  exit 1
fi
echo "$(printf '%s\n' "$exports" | wc -l) exports, as listed"
