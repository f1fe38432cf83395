#!/usr/bin/env bash
# Whole-process throughput of `morvelin convert` against copying the same
# file, on a 12-satellite dual-frequency session of at least 500 MB made by
# morvelin-sim (kept in build/bench for the next run).
#
#   bench/throughput.sh [RUNS]      (default 9 runs of each command)
#   MORVELIN=path/to/morvelin bench/throughput.sh   (another build, to compare)
#
# In one run, alternating, page cache warm: `morvelin convert`, `morvelin
# convert --rinex` (when the build has it), `morvelin convert --qc` (when the
# build has it), `cp` and `cat FILE > copy`. For
# each: median wall, user and system seconds, input MB/s, observations per
# second, peak memory; then each command's wall and CPU time over cp's,
# paired run by run (median, min-max).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-9}

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release --target morvelin_cli morvelin_sim >/dev/null
morvelin=${MORVELIN:-$PWD/build/release/cli/morvelin}
sim=$PWD/build/release/tools/sim/morvelin-sim

work=build/bench
mkdir -p "$work"
input=$work/TPUT0010.dat
# 12 satellites at every epoch (32 in the sky, on the equator, mask 0), L1
# and L2, 20 Hz, 9.5 hours: about 560 MB.
if [ ! -s "$input" ]; then
  echo "making $input with morvelin-sim (about half a minute)" >&2
  "$sim" --rate 20 --duration 34000 --satellites 32 --mask 0 --position 0,0,0 --seed 7 "$input" >&2
fi
size=$(stat -c %s "$input")
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# The help is read whole first: grep -q would stop reading it early, and
# under pipefail the help's broken pipe would count as "not there".
help=$("$morvelin" convert --help)
commands=("convert" "cp" "cat")
if grep -q -- '--rinex' <<<"$help"; then commands=("convert" "convert-rinex" "cp" "cat"); fi
if grep -q -- '--qc' <<<"$help"; then commands=("convert-qc" "${commands[@]}"); fi

# Each command runs under /usr/bin/time for its peak memory; bash's own
# timer gives wall, user and system time to the millisecond.
peak=$work/peak.txt
run() {
  local timed=(/usr/bin/time -f %M -o "$peak")
  case $1 in
    convert) "${timed[@]}" "$morvelin" convert -q -d "$out" "$input" >/dev/null ;;
    convert-rinex) "${timed[@]}" "$morvelin" convert -q --rinex --week 2291 -d "$out" "$input" >/dev/null ;;
    convert-qc) "${timed[@]}" "$morvelin" convert -q --qc -d "$out" "$input" >/dev/null ;;
    cp) "${timed[@]}" cp "$input" "$out/copy.dat" ;;
    cat) "${timed[@]}" cat "$input" >"$out/copy.dat" ;;
  esac
}
# Between runs the outputs go and the disk catches up, so that no command
# pays for the writing of the one before it.
clean() { rm -f "$out"/*; sync; }

# The input's pages are dropped from the cache and read back once, so that
# every command meets them cached as a file read from disk is (in large
# pieces), not as the simulator's writing left them.
sync
dd if="$input" iflag=nocache count=0 status=none
cat "$input" >/dev/null

# The observation count, from the summary of one conversion.
run convert
observations=$(awk '/Total Number of Observations/ {print $5}' "$out/TPUT0010.sum")
for c in "${commands[@]}"; do run "$c"; clean; done

results=$work/times.txt
: >"$results.raw"
TIMEFORMAT='%3R %3U %3S'
for ((i = 1; i <= runs; i++)); do
  for c in "${commands[@]}"; do
    times=$( { time run "$c"; } 2>&1 )
    echo "$c $i $times $(cat "$peak")" >>"$results.raw"
    # Every command writes into an empty folder: none pays for truncating
    # what an earlier run left.
    clean
  done
done

mv "$results.raw" "$results"
awk -v size="$size" -v obs="$observations" -v runs="$runs" '
  function median(a, n,   i, j, t) {
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  { wall[$1, $2] = $3; user[$1, $2] = $4; sys[$1, $2] = $5; peak[$1, $2] = $6; seen[$1] = 1 }
  END {
    printf "input: %.1f MB, %d observations, %d runs each\n\n", size / 1e6, obs, runs
    printf "%-14s %8s %8s %8s %10s %12s %9s\n", "command", "wall s", "user s", "sys s", "MB/s", "obs/s", "peak MB"
    for (c in seen) {
      for (i = 1; i <= runs; i++) { w[i] = wall[c, i]; u[i] = user[c, i]; s[i] = sys[c, i]; p[i] = peak[c, i] }
      mw = median(w, runs); mu = median(u, runs); ms = median(s, runs); mp = median(p, runs)
      printf "%-14s %8.3f %8.3f %8.3f %10.0f %12.0f %9.1f\n", c, mw, mu, ms, size / 1e6 / mw, \
             (c ~ /convert/ ? obs / mw : 0), mp / 1024
    }
    printf "\nratio to cp, paired by run: median (min-max)\n"
    for (c in seen) {
      if (c == "cp") continue
      for (i = 1; i <= runs; i++) {
        rw[i] = wall[c, i] / wall["cp", i]
        rc[i] = (user[c, i] + sys[c, i]) / (user["cp", i] + sys["cp", i] + 1e-9)
      }
      lo = 1e9; hi = 0; for (i = 1; i <= runs; i++) { if (rw[i] < lo) lo = rw[i]; if (rw[i] > hi) hi = rw[i] }
      lc = 1e9; hc = 0; for (i = 1; i <= runs; i++) { if (rc[i] < lc) lc = rc[i]; if (rc[i] > hc) hc = rc[i] }
      printf "%-14s wall %.2f (%.2f-%.2f)   cpu %.2f (%.2f-%.2f)\n", c, median(rw, runs), lo, hi, median(rc, runs), lc, hc
    }
  }' "$results"
