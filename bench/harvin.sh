#!/usr/bin/env bash
# Times harvin, the leader clusterer, on a generated scene: 2000 x 2000
# pixels, 7 bands of 8 bits, 8 classes (4000 x 4000 with --large). First the
# whole scene with threshold1 30, merged down to 8 clusters, where the leader
# pass takes the time; then rows 0..499 with threshold1 12, whose leader
# pass leaves thousands of clusters for the merging (the part that the SSE2
# sums of the merge speed up). Prints each run, the medians, megapixels per
# second, the peak memory of one run of each and the median time of a plain
# `cat` of the band files.
#
#   bench/harvin.sh [--large] [--runs <n>] [--keep <folder>]
#
# MSIKIT_BENCH_BUILD names the build folder (default: build-bench).
set -euo pipefail
cd "$(dirname "$0")/.."
bench_name=harvin
. bench/common.sh
bench_options "$@"
bench_build scenegen harvin
bench_folder

bench_scene

command=("$BIN/harvin" "$BAND_PATHS" "$BAND_NUMBERS" "$TYPE_NAME" "$ROWS" "$COLS"
  0 0 "$ROWS" "$COLS" 8 30 "$dir/out.cof")
classify() { "${command[@]}"; }

classify >/dev/null  # warm the page cache
echo "whole scene, threshold1 30"
bench_time classify
bench_peak_memory "${command[@]}"

merge_rows=500
merging=("$BIN/harvin" "$BAND_PATHS" "$BAND_NUMBERS" "$TYPE_NAME" "$ROWS" "$COLS"
  0 0 "$merge_rows" "$COLS" 8 12 "$dir/merging.cof")
merge_heavy() { "${merging[@]}"; }

echo "rows 0..$((merge_rows - 1)), threshold1 12 (merge-heavy)"
bench_name="harvin (merge-heavy)"
rows=$merge_rows bench_time merge_heavy
bench_peak_memory "${merging[@]}"
