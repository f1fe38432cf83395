#!/usr/bin/env bash
# Runs every test: the native suite (library, CLI, conformance cases); the
# whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer;
# the abort, thread, -j and quality report tests under ThreadSanitizer; the end-to-end tests
# under valgrind's memcheck with descriptor tracking; a 30-second run of
# each fuzz target; and, cross-built with mingw-w64, the Windows suite and
# host program under Wine. Each step's time is printed at the end.
# Usage: scripts/test.sh [--native-only] [--quick]
#   --native-only  no Windows build and Wine run
#   --quick        the native suite (and Wine) only: no sanitizers, memcheck or fuzzing
set -euo pipefail
cd "$(dirname "$0")/.."

native_only=0
quick=0
for option in "$@"; do
  case "$option" in
    --native-only) native_only=1 ;;
    --quick) quick=1 ;;
    *) echo "usage: scripts/test.sh [--native-only] [--quick]" >&2; exit 64 ;;
  esac
done

deps=()
[ "$native_only" = 0 ] && deps+=(--windows)
[ "$quick" = 0 ] && deps+=(--reliability)
scripts/install-deps.sh "${deps[@]}"

jobs=$(nproc)
[ "$jobs" -gt 2 ] || jobs=2
times=()
step_start=0
begin() {
  echo "== $1"
  step_name=$1
  step_start=$SECONDS
}
end() { times+=("$(printf '%4d s  %s' $((SECONDS - step_start)) "$step_name")"); }
report() {
  echo "== step times"
  printf '%s\n' "${times[@]}"
  echo "total $SECONDS s"
}
trap report EXIT

begin "native build and tests"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVELIN_BUILD_TESTS=ON >/dev/null
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j "$jobs"
end

if [ "$quick" = 0 ]; then
  # The install test builds a consumer with the system's plain compiler
  # against the installed library, which a sanitizer build cannot serve:
  # it runs in the release step only.
  begin "AddressSanitizer + UndefinedBehaviorSanitizer: whole suite"
  cmake --preset debug >/dev/null
  cmake --build --preset debug -j "$jobs"
  ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --preset debug -LE install -j "$jobs"
  end

  begin "ThreadSanitizer: abort, thread, -j and quality report tests"
  cmake --preset tsan >/dev/null
  cmake --build --preset tsan -j "$jobs"
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions="$PWD/tests/tsan.supp" \
    ctest --preset tsan -j "$jobs"
  end

  begin "valgrind memcheck (--track-fds) over the end-to-end tests"
  scripts/memcheck.sh build/release
  end

  begin "fuzzing: 30 s of each target"
  FUZZ_BUILD_DIR=build/fuzz scripts/fuzz-long.sh 30 "$jobs"
  end
fi

if [ "$native_only" = 0 ] && [ -x scripts/test-windows.sh ]; then
  begin "Windows build and tests (Wine)"
  scripts/test-windows.sh
  end
fi
