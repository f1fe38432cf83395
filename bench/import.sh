#!/usr/bin/env bash
# RINEX import speed and peak memory: a RINEX 3.04 observation file of a
# 24 h, 1 Hz session (the export of a simulated one, up to 12 satellites an
# epoch) imported into the host's four files, side by side with RTKLIB's
# convbin rewriting the same file (RINEX -> RINEX). Signals are the code and
# phase values of the file. Two session lengths show whether peak memory
# grows with the input.
# Usage: bench/import.sh [HOURS]   (default 24)
set -euo pipefail
cd "$(dirname "$0")/.."
hours=${1:-24}
command -v convbin >/dev/null || { echo "convbin not found: apt-get install rtklib" >&2; exit 1; }
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release --target morvelin_sim morvelin_cli >/dev/null
cli=build/release/cli/morvelin
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

rate() { awk -v n="$1" -v t="$2" 'BEGIN { if (t < 0.005) t = 0.005; printf "%.1f M signals/s", n / t / 1e6 }'; }

for fraction in 4 1; do
  seconds=$((hours * 3600 / fraction))
  dir="$work/$seconds"
  mkdir -p "$dir/host" "$dir/convbin"
  build/release/tools/sim/morvelin-sim --start 2292:0 --duration "$seconds" --rate 1 \
      --position 47.3769,8.5417,408 --seed 3 --slip-rate 0.0001 "$dir/BIG.dat" >/dev/null
  "$cli" convert -q --rinex "$dir/BIG.dat" >/dev/null
  obs=$(ls "$dir"/*.??o) nav=$(ls "$dir"/*.??n)
  signals=$(awk 'f && /^G/ { n += int((length($0) - 3 + 2) / 16) } /END OF HEADER/ { f = 1 } END { print n }' "$obs")
  /usr/bin/time -f "%e %M" -o "$dir/ours.time" "$cli" import -q "$obs" "$nav" -d "$dir/host" >/dev/null
  /usr/bin/time -f "%e %M" -o "$dir/convbin.time" \
      convbin -r rinex -v 3.04 -d "$dir/convbin" -o "$dir/convbin/OUT.obs" "$obs" >/dev/null 2>&1
  read -r ours_s ours_kb <"$dir/ours.time"
  read -r cb_s cb_kb <"$dir/convbin.time"
  echo "session ${seconds} s at 1 Hz: $(stat -c %s "$obs") bytes of RINEX 3.04, ${signals} signals"
  echo "  RINEX -> host files (morvelin import): ${ours_s} s  $(rate "$signals" "$ours_s")  peak ${ours_kb} KiB"
  echo "  RINEX -> RINEX (convbin -r rinex):     ${cb_s} s  $(rate "$signals" "$cb_s")  peak ${cb_kb} KiB"
  awk -v a="$ours_s" -v b="$cb_s" 'BEGIN { if (a < 0.005) a = 0.005; printf "  ratio: %.1f x convbin'"'"'s rate\n", b / a }'
done
