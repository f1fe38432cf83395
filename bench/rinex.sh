#!/usr/bin/env bash
# RINEX export speed and peak memory: raw data -> RINEX 3.04 through the
# library in the same pass as the conversion (the host's four files are
# written too), side by side with RTKLIB's convbin rewriting the same
# observations (RINEX -> RINEX), in one run. Signals are the code and phase
# values written. Two session lengths show whether peak memory grows with
# the input.
# Usage: bench/rinex.sh [HOURS]   (default 6: 6 h at 5 Hz, about 4 M signals)
set -euo pipefail
cd "$(dirname "$0")/.."
hours=${1:-6}
command -v convbin >/dev/null || { echo "convbin not found: apt-get install rtklib" >&2; exit 1; }
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release --target morvelin_sim raw_to_rinex >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

rate() { awk -v n="$1" -v t="$2" 'BEGIN { if (t < 0.005) t = 0.005; printf "%.1f M signals/s", n / t / 1e6 }'; }

for fraction in 2 1; do
  seconds=$((hours * 3600 / fraction))
  dir="$work/$seconds"
  mkdir -p "$dir/rinex" "$dir/convbin"
  build/release/tools/sim/morvelin-sim --start 2292:86400 --duration "$seconds" --rate 5 \
      --position 47.3769,8.5417,408 --seed 3 --slip-rate 0.0001 "$dir/BIG.dat" >/dev/null
  size=$(stat -c %s "$dir/BIG.dat")
  /usr/bin/time -f "%e %M" -o "$dir/ours.time" \
      build/release/tests/rinex/raw_to_rinex "$dir/BIG.dat" "$dir/rinex" >"$dir/ours.out"
  signals=$(awk '/signals/ { print $3 }' "$dir/ours.out")
  obs=$(sed -n 1p "$dir/ours.out")
  /usr/bin/time -f "%e %M" -o "$dir/convbin.time" \
      convbin -r rinex -v 3.04 -d "$dir/convbin" -o "$dir/convbin/OUT.obs" "$obs" >/dev/null 2>&1
  read -r ours_s ours_kb <"$dir/ours.time"
  read -r cb_s cb_kb <"$dir/convbin.time"
  echo "session ${seconds} s at 5 Hz: raw input ${size} bytes, ${signals} signals"
  echo "  raw -> RINEX (morvelin, with the host files): ${ours_s} s  $(rate "$signals" "$ours_s")  peak ${ours_kb} KiB"
  echo "  RINEX -> RINEX (convbin -r rinex):            ${cb_s} s  $(rate "$signals" "$cb_s")  peak ${cb_kb} KiB"
  awk -v a="$ours_s" -v b="$cb_s" 'BEGIN { if (a < 0.005) a = 0.005; printf "  ratio: %.1f x convbin'"'"'s rate\n", b / a }'
done
