#!/usr/bin/env bash
# Times grenik, the grid-sampling clusterer, on a generated scene: 2000 x
# 2000 pixels, 7 bands of 8 bits, 8 classes (4000 x 4000 with --large); 16
# cells a side, 4 samples a cell (1024 draws), merged down to 8 clusters.
# Prints each run, the median, megapixels per second, the peak memory of
# one run and the median time of a plain `cat` of the band files.
#
#   bench/grenik.sh [--large] [--runs <n>] [--keep <folder>]
#
# MSIKIT_BENCH_BUILD names the build folder (default: build-bench).
set -euo pipefail
cd "$(dirname "$0")/.."
bench_name=grenik
. bench/common.sh
bench_options "$@"
bench_build scenegen grenik
bench_folder

bench_scene

command=("$BIN/grenik" "$BAND_PATHS" "$BAND_NUMBERS" "$TYPE_NAME" "$ROWS" "$COLS"
  0 0 "$ROWS" "$COLS" 1 16 4 8 "$dir/out.cof")
classify() { "${command[@]}"; }

classify >/dev/null  # warm the page cache
bench_time classify
bench_peak_memory "${command[@]}"
