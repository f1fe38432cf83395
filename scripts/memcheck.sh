#!/usr/bin/env bash
# Runs the end-to-end tests, the fault and thread tests, the native host
# program (which loads libmorvelin.so as a host loads the plug-in) and the
# CLI converting the simulated sample under valgrind's memcheck with
# --track-fds=yes: each must end with 0 errors, no memory definitely lost
# and no descriptor left open that it did not inherit.
#   scripts/memcheck.sh [BUILD_DIR]   (default build/release, built with tests)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/release}")
command -v valgrind >/dev/null || { echo "memcheck.sh: valgrind is missing (scripts/install-deps.sh)" >&2; exit 2; }
cmake --build "$build" --target end_to_end_test driver_test fault_test threads_test morvelin_host_check morvelin \
  morvelin_cli >/dev/null

logs=$build/memcheck
rm -rf "$logs"
mkdir -p "$logs"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp examples/SIMU3450.dat "$work/"

status=0
# name, then the command
check() {
  local name=$1 log=$logs/$1.log
  shift
  local start=$SECONDS result=0
  valgrind --tool=memcheck --track-fds=yes --error-exitcode=99 --leak-check=full \
    --errors-for-leak-kinds=definite --log-file="$log" "$@" >"$logs/$name.out" 2>&1 || result=$?
  # Descriptors open at exit that the process opened itself (valgrind
  # marks the inherited ones).
  local leaked
  leaked=$(awk '/Open (file|AF_UNIX socket|AF_INET socket) descriptor [0-9]+/ {fd=$0; getline; if ($0 !~ /inherited from parent/) n++} END {print n+0}' "$log")
  local errors
  errors=$(grep -o 'ERROR SUMMARY: [0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
  printf 'memcheck %-16s exit %-3s errors %-3s leaked descriptors %s  (%ds)\n' "$name" "$result" "$errors" "$leaked" \
    $((SECONDS - start))
  if [ "$result" -ne 0 ] || [ "$errors" != 0 ] || [ "$leaked" -ne 0 ]; then
    echo "memcheck.sh: $name failed, see $log and $logs/$name.out" >&2
    status=1
  fi
}

check end_to_end "$build/tests/end_to_end_test" --gtest_brief=1
check driver "$build/tests/driver_test" --gtest_brief=1
check faults "$build/tests/fault_test" --gtest_brief=1
check threads "$build/tests/threads_test" --gtest_brief=1
# The host program writes its outputs into the folder it runs in.
source=$PWD
(cd "$work" && check host_check "$build/tests/windows/morvelin_host_check" "$source/tests/golden/windows_host" \
  "$build/libmorvelin.so") || status=1
check cli_convert "$build/cli/morvelin" convert -q -j 2 "$work/SIMU3450.dat"
exit "$status"
