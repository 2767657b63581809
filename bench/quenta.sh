#!/usr/bin/env bash
# Times quenta, the maximum-likelihood classifier, on a generated scene:
# 2000 x 2000 pixels, 7 bands of 8 bits, 8 classes (4000 x 4000 with
# --large), training set from the scene's interpreted points. Prints each
# run, the median, megapixels per second, and the median time of a plain
# `cat` of the band files for reference.
#
#   bench/quenta.sh [--large] [--runs <n>] [--keep <folder>]
#
# MSIKIT_BENCH_BUILD names the build folder (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."

rows=2000 cols=2000 runs=5 keep=""
while [ $# -gt 0 ]; do
  case $1 in
    --large) rows=4000 cols=4000 ;;
    --runs) runs=$2; shift ;;
    --keep) keep=$2; shift ;;
    *) echo "usage: bench/quenta.sh [--large] [--runs <n>] [--keep <folder>]" >&2
       exit 2 ;;
  esac
  shift
done

build=${MSIKIT_BENCH_BUILD:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j3 --target scenegen nuvira palvex quenta >/dev/null
BIN=$(cd "$build/bin" && pwd)
export BIN
. scripts/road.sh

if [ -n "$keep" ]; then
  dir=$keep
  mkdir -p "$dir"
else
  dir=$(mktemp -d)
  trap 'rm -rf "$dir"' EXIT
fi

echo "scene: $rows x $cols pixels, 7 bands, 8 bits, 8 classes in $dir"
road_scene "$dir" "$rows" "$cols" 7 8 8 1
road_training_set "$dir" NO-PCI 1000
. "$dir/scene.env"
echo "training set: $(wc -l <"$dir/training.ts") samples"

# Seconds taken by a command, its output discarded.
seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f\n", e - s }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# shellcheck disable=SC2086
cat_band_files() { cat $BAND_PATHS; }

classify() {
  "$BIN/quenta" "$BAND_PATHS" "$BAND_NUMBERS" "$TYPE_NAME" "$ROWS" "$COLS" \
    0 0 "$ROWS" "$COLS" "$dir/training.ts" "$dir/out.cof"
}

# A degenerate class would add the report's pauses to every run.
if classify | grep -q -v '%$'; then
  echo "warning: quenta printed a report of degenerate bands; times include its pauses"
fi

times=()
for ((i = 1; i <= runs; i++)); do
  t=$(seconds classify)
  times+=("$t")
  echo "run $i: $t s"
done
cat_times=()
for ((i = 1; i <= runs; i++)); do cat_times+=("$(seconds cat_band_files)"); done

med=$(printf '%s\n' "${times[@]}" | median)
cat_med=$(printf '%s\n' "${cat_times[@]}" | median)
awk -v t="$med" -v c="$cat_med" -v r="$rows" -v k="$cols" 'BEGIN {
  printf "quenta median: %.3f s, %.2f megapixels/s\n", t, r * k / 1e6 / t
  printf "cat of the band files, median: %.3f s\n", c
}'
