#!/usr/bin/env bash
# Runs every fuzz target for a given time, several at once, from the seed
# corpus (fuzz/corpus/<target>) into a working corpus that grows from run
# to run (build/fuzz/corpus/<target>; FUZZ_BUILD_DIR names another folder). A crash, leak, hang or broken
# property is kept in build/fuzz/findings/<target>/ and the target goes on
# fuzzing. At the end one line per target: executions, seconds, findings;
# the lines are also added to build/fuzz/runs.log, which sums all runs.
#
#   scripts/fuzz-long.sh SECONDS [JOBS] [TARGET...]
#     SECONDS  time per target (e.g. 3600); JOBS targets at a time
#              (default: the processor count). CI's smoke run: SECONDS=30.
#   FUZZ_NICE=19 (default) runs the fuzzers at the lowest priority, each in
#   a session of its own (so Ctrl-C stops the script, not a fuzzer already
#   running: that one ends at its time).
# Exit status 1 when a target found something.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:?usage: scripts/fuzz-long.sh SECONDS [JOBS] [TARGET...]}
jobs=${2:-$(nproc)}
shift $(( $# >= 2 ? 2 : 1 ))
targets=("$@")
[ "${#targets[@]}" -eq 0 ] && targets=(convert_fuzz autodetect_fuzz gpb_reader_fuzz text_readers_fuzz time_parsers_fuzz rinex_reader_fuzz)

command -v clang++ >/dev/null || { echo "fuzz-long.sh: clang++ is missing (scripts/install-deps.sh --fuzz)" >&2; exit 2; }
out=${FUZZ_BUILD_DIR:-build/fuzz}  # another folder keeps a long run apart from a rebuild
cmake --preset fuzz -B "$out" >/dev/null
# The whole preset, the plug-in library included, so that it is known to build.
cmake --build "$out" -j "$jobs" >/dev/null

declare -A max_len=([convert_fuzz]=24000 [autodetect_fuzz]=40000 [gpb_reader_fuzz]=8000
                    [text_readers_fuzz]=12000 [time_parsers_fuzz]=64)
mkdir -p "$out/logs"

# One target for its time: restarted after a finding until the time is up.
run_target() {
  local target=$1 corpus=$out/corpus/$1 findings=$out/findings/$1 log=$out/logs/$1.log
  mkdir -p "$corpus" "$findings"
  : >"$log"
  local end=$(( $(date +%s) + seconds )) executions=0 found=0 left
  while left=$(( end - $(date +%s) )); [ "$left" -gt 0 ]; do
    local status=0
    # Where the scheduler groups processes by session (autogroup), nice
    # counts only inside a session: the fuzzer gets a session of its own,
    # lowered as a whole.
    nice -n "${FUZZ_NICE:-19}" setsid --wait sh -c 'echo "$0" >/proc/self/autogroup 2>/dev/null; exec "$@"' \
      "${FUZZ_NICE:-19}" "$out/fuzz/$target" "$corpus" "fuzz/corpus/$target" \
      -max_total_time="$left" -max_len="${max_len[$target]:-4096}" -timeout=20 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$findings/" >>"$log" 2>&1 || status=$?
    executions=$(( executions + $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | tail -1 | grep -o '[0-9]*$' || echo 0) ))
    # A run that stopped before its time found something.
    [ "$status" -eq 0 ] && break
    found=$(( found + 1 ))
    sed -i 's/stat::number_of_executed_units/counted::executed_units/' "$log"
  done
  printf '%s %s executions=%d seconds=%d findings=%d\n' "$(date -u +%FT%TZ)" "$target" "$executions" "$seconds" "$found"
}

export -f run_target
export out seconds
summary=$(mktemp)
printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c "$(declare -p max_len); run_target {}" >"$summary"

sort -k2 "$summary" | tee -a "$out/runs.log"
awk '{for(i=3;i<=NF;i++){split($i,a,"="); t[a[1]]+=a[2]}} END{printf "all runs so far ('"$out"'/runs.log): %d executions, %.2f target-hours, %d findings\n", t["executions"], t["seconds"]/3600, t["findings"]}' "$out/runs.log"
if grep -q 'findings=[1-9]' "$summary"; then
  echo "fuzz-long.sh: findings in $out/findings (logs in $out/logs)" >&2
  rm -f "$summary"
  exit 1
fi
rm -f "$summary"
