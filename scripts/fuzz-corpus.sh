#!/usr/bin/env bash
# Writes the fuzz targets' seed corpus (fuzz/corpus/<target>/) from short
# sessions of morvelin-sim and their conversions. Deterministic: run it again
# after a change of the simulator or the output formats, and commit the
# result. Needs a native build: scripts/fuzz-corpus.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
sim=$build/tools/sim/morvelin-sim
cli=$build/cli/morvelin
cmake --build "$build" --target morvelin_sim morvelin_cli >/dev/null
corpus=fuzz/corpus
rm -rf "$corpus"
mkdir -p "$corpus"/{convert_fuzz,autodetect_fuzz,gpb_reader_fuzz,text_readers_fuzz,time_parsers_fuzz,rinex_reader_fuzz}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# name: options of one short session (24 satellites keep the files small).
sessions=(
  "static:--duration 6"
  "kinematic:--duration 6 --kinematic --rate 2"
  "single:--duration 5 --single-frequency --code ca"
  "squared:--duration 5 --squared-l2"
  "slips:--duration 8 --slip-rate 0.2 --invalid-rate 0.2"
  "events:--duration 8 --event-interval 2 --clock-offset 0.995 --clock-drift 0.00001"
  "weekend:--duration 6 --start 2291:604797"
  "junk:--duration 6 --junk-rate 0.3"
  "flips:--duration 6 --bit-flips 40"
  "cut:--duration 4 --cut-end 333"
)
seed=1
for entry in "${sessions[@]}"; do
  name=${entry%%:*}
  # shellcheck disable=SC2086
  "$sim" --seed "$seed" --satellites 24 --position 47.3769,8.5417,408 --station FZ${seed} ${entry#*:} \
    "$work/${name}3450.dat" >/dev/null
  seed=$((seed + 1))
  cp "$work/${name}3450.dat" "$corpus/convert_fuzz/$name.dat"
  head -c 32000 "$work/${name}3450.dat" >"$corpus/autodetect_fuzz/$name.dat"
  "$cli" convert -q "$work/${name}3450.dat" >/dev/null 2>&1 || true
  cp "$work/${name}3450.gpb" "$corpus/gpb_reader_fuzz/$name.gpb"
  for extension in epp sta sum; do
    cp "$work/${name}3450.$extension" "$corpus/text_readers_fuzz/$name.$extension"
  done
done
# The RINEX import's: a session's RINEX export (observation, a NUL byte,
# navigation), strict and lenient, in both versions.
for name in static slips events single; do
  for version in 3.04 2.11; do
    rm -rf "$work/rinex" && mkdir "$work/rinex"
    "$cli" convert -q --rinex=$version -d "$work/rinex" "$work/${name}3450.dat" >/dev/null 2>&1 || true
    obs=$(ls "$work"/rinex/*o) nav=$(ls "$work"/rinex/*n)
    { printf '\000'; head -c 6000 "$obs"; printf '\000'; head -c 3000 "$nav"; } \
      >"$corpus/rinex_reader_fuzz/$name-$version"
  done
done
printf '\001' | cat - "$corpus/rinex_reader_fuzz/slips-3.04" >"$corpus/rinex_reader_fuzz/slips-lenient"
# The text readers' other formats: keyword lines and quoted values.
cat >"$corpus/text_readers_fuzz/keywords.txt" <<'TEXT'
Antenna { Height = 1.500, 0.25 ; measured
  Name = "BASE ONE" Type=choke
  Count = 0x1F 017 -3
}
STATION KEY = a, b c ; comment
1.5000 PT01   KIN  pole
TEXT
for text in "12:34:56.789|12/07/2023" "00:00:00|01/06/1980" "23:59:60.0|12/31/99" "255:60:59.999999|02/29/2096" \
            "1:2:3|1/2/3" "12:00|13/45/2024"; do
  name=$(printf '%s' "$text" | tr -c 'A-Za-z0-9' '_')
  printf '%s' "$text" >"$corpus/time_parsers_fuzz/$name"
done
du -sh "$corpus"/*
