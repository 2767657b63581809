#!/usr/bin/env bash
# Times quenta, the maximum-likelihood classifier, on a generated scene:
# 2000 x 2000 pixels, 7 bands of 8 bits, 8 classes (4000 x 4000 with
# --large), training set from the scene's interpreted points. Prints each
# run, the median, megapixels per second, and the median time of a plain
# `cat` of the band files for reference.
#
#   bench/quenta.sh [--large] [--runs <n>] [--keep <folder>]
#
# MSIKIT_BENCH_BUILD names the build folder (default: build-bench).
set -euo pipefail
cd "$(dirname "$0")/.."
bench_name=quenta
. bench/common.sh
bench_options "$@"
bench_build scenegen nuvira palvex quenta
bench_folder

bench_scene
road_training_set "$dir" NO-PCI 1000
echo "training set: $(wc -l <"$dir/training.ts") samples"

classify() {
  "$BIN/quenta" "$BAND_PATHS" "$BAND_NUMBERS" "$TYPE_NAME" "$ROWS" "$COLS" \
    0 0 "$ROWS" "$COLS" "$dir/training.ts" "$dir/out.cof"
}

# A degenerate class would add the report's pauses to every run. The output
# is captured whole first: grep -q stops reading at its first match, which
# would end quenta by SIGPIPE and, under pipefail, hide the warning.
report=$(classify)
if grep -q -v '%$' <<<"$report"; then
  echo "warning: quenta printed a report of degenerate bands; times include its pauses"
fi
bench_time classify
