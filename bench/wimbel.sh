#!/usr/bin/env bash
# Times wimbel, the Parzen-window classifier, on generated scenes: rows
# 0..499 of 2000 x 2000 pixels (a quarter of 4000 x 4000 with --large),
# 7 bands, 8 classes, 300 training samples per class of which maxSamples
# 100 are kept; 8-bit data with sigma 8, then 16-bit data with sigma 32.
# Prints each run, the medians, megapixels per second, and the median time
# of a plain `cat` of the band files for reference.
#
#   bench/wimbel.sh [--large] [--runs <n>] [--keep <folder>]
#
# MSIKIT_BENCH_BUILD names the build folder (default: build-bench).
set -euo pipefail
cd "$(dirname "$0")/.."
bench_name=wimbel
. bench/pnn.sh
pnn_bench "$@"
