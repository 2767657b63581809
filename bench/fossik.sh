#!/usr/bin/env bash
# Times fossik, the matching-points tool, on a generated scene: 2000 x 2000
# pixels, 7 bands of 8 bits (4000 x 4000 with --large), rectangles of three
# colours over bands 3 and 4. Prints each run, the median, megapixels per
# second, and the median time of a plain `cat` of the two band files it
# reads for reference.
#
#   bench/fossik.sh [--large] [--runs <n>] [--keep <folder>]
#
# MSIKIT_BENCH_BUILD names the build folder (default: build-bench).
set -euo pipefail
cd "$(dirname "$0")/.."
bench_name=fossik
. bench/common.sh
bench_options "$@"
bench_build scenegen fossik
bench_folder

bench_scene
read_paths="$dir/band3.raw $dir/band4.raw"
areas="0:3:40:80:4:40:90,0:3:100:120:4:0:255,3:3:60:140:4:100:150"
areas+=",3:4:160:200:3:0:100,7:3:150:255:4:50:120,7:3:0:50:4:150:255"

# The reference reads only the bands that fossik reads.
# shellcheck disable=SC2086
bench_cat_band_files() { cat $read_paths; }

match() {
  "$BIN/fossik" "$read_paths" "3 4" NO-PCI "$TYPE" "$ROWS" "$COLS" \
    0 0 "$ROWS" "$COLS" "$areas" "$dir/matching.raw"
}

match  # warm the page cache
bench_time match
