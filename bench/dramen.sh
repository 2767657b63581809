#!/usr/bin/env bash
# Times dramen, the scatter-plot tool, on a generated scene: 2000 x 2000
# pixels, 7 bands of 8 bits (4000 x 4000 with --large), bands 1 and 2
# plotted with three groups of two rectangles each. Prints each run, the
# median, megapixels per second, and the median time of a plain `cat` of
# the two band files it reads for reference.
#
#   bench/dramen.sh [--large] [--runs <n>] [--keep <folder>]
#
# MSIKIT_BENCH_BUILD names the build folder (default: build-bench).
set -euo pipefail
cd "$(dirname "$0")/.."
bench_name=dramen
. bench/common.sh
bench_options "$@"
bench_build scenegen dramen
bench_folder

bench_scene
read_paths="$dir/band1.raw $dir/band2.raw"
areas="#ff0000000000:1:40:80:2:40:90,#ff0000000000:1:100:120:2:0:255"
areas+=",#00ff00000000:1:60:140:2:100:150,#00ff00000000:2:160:200:1:0:100"
areas+=",#0000ff000000:1:150:255:2:50:120,#0000ff000000:1:0:50:2:150:255"

# The reference reads only the bands that dramen reads.
# shellcheck disable=SC2086
bench_cat_band_files() { cat $read_paths; }

plot() {
  "$BIN/dramen" "$read_paths" "1 2" NO-PCI "$TYPE" "$ROWS" "$COLS" \
    0 0 "$ROWS" "$COLS" 1 2 "$areas" "$dir/scatter.plot"
}

plot  # warm the page cache
echo "plot file: $(wc -l <"$dir/scatter.plot") lines"
bench_time plot
