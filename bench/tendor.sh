#!/usr/bin/env bash
# Times tendor, the principal-component calculator, on a generated scene:
# 2000 x 2000 pixels, 7 bands of 8 bits (4000 x 4000 with --large), all 7
# components written. Prints each run, the median, megapixels per second,
# and the median time of a plain `cat` of the band files for reference.
#
#   bench/tendor.sh [--large] [--runs <n>] [--keep <folder>]
#
# MSIKIT_BENCH_BUILD names the build folder (default: build-bench).
set -euo pipefail
cd "$(dirname "$0")/.."
bench_name=tendor
. bench/common.sh
bench_options "$@"
bench_build scenegen tendor
bench_folder

bench_scene
pci_paths=""
for ((j = 1; j <= 7; j++)); do pci_paths+="$dir/pc$j.raw "; done

components() {
  "$BIN/tendor" "$BAND_PATHS" "$BAND_NUMBERS" "$TYPE" "$ROWS" "$COLS" \
    0 0 "$ROWS" "$COLS" "$pci_paths"
}

components >/dev/null  # warm the page cache
bench_time components
