#!/usr/bin/env bash
# Times harvin, the leader clusterer, on a generated scene: 2000 x 2000
# pixels, 7 bands of 8 bits, 8 classes (4000 x 4000 with --large); the whole
# scene with threshold1 30, merged down to 8 clusters. Prints each run, the
# median, megapixels per second, the peak memory of one run and the median
# time of a plain `cat` of the band files.
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

echo "scene: $rows x $cols pixels, 7 bands, 8 bits, 8 classes in $dir"
road_scene "$dir" "$rows" "$cols" 7 8 8 1
. "$dir/scene.env"

command=("$BIN/harvin" "$BAND_PATHS" "$BAND_NUMBERS" "$TYPE_NAME" "$ROWS" "$COLS"
  0 0 "$ROWS" "$COLS" 8 30 "$dir/out.cof")
classify() { "${command[@]}"; }

classify >/dev/null  # warm the page cache
bench_time classify
bench_peak_memory "${command[@]}"
