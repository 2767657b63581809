#!/usr/bin/env bash
# Times the shell's "RawImage" photo format on a generated scene of
# 2000 x 2000 pixels, 7 bands of 8 bits (4000 x 4000 with --large), in one
# morvel run under a virtual X server (Xvfb):
#   shrink: the whole scene in a 1000 x 1000 photo (half the size with
#           --large), grey, '(B4-B3)/(B4+B3)*127+128'
#   full:   the whole scene at its own size, RGB, 'B4', 'B3', 'B2'
# Prints each run (Tcl `time`) and the median of each.
#
#   bench/morvel.sh [--large] [--runs <n>] [--keep <folder>]
#
# MSIKIT_BENCH_BUILD names the build folder (default: build-bench).
set -euo pipefail
cd "$(dirname "$0")/.."
bench_name=morvel
. bench/common.sh
bench_options "$@"
bench_build scenegen morvel
bench_folder

bench_scene

# A virtual X server on a free display; it writes the display number to
# the file once it accepts clients.
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$dir/display" 2>/dev/null &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; [ -n "$keep" ] || rm -rf "$dir"' EXIT
for _ in $(seq 100); do grep -q . "$dir/display" 2>/dev/null && break; sleep 0.1; done
DISPLAY=:$(head -n 1 "$dir/display")
export DISPLAY

cat >"$dir/bench.tcl" <<TCL
source {$(pwd)/bench/median.tcl}
proc bench {name photo data} {
  \$photo put \$data -format RawImage  ;# warm the page cache
  bench_runs \$name $runs [list \$photo put \$data -format RawImage]
}
set head "x|$BAND_PATHS|x|$BAND_NUMBERS|x|NO-PCI|1 $ROWS $COLS 0 0 $ROWS $COLS"
image create photo small
image create photo full
bench "shrink to $((COLS / 2)) x $((ROWS / 2)), grey" small \
  "\$head $((ROWS / 2)) $((COLS / 2)) 1|(B4-B3)/(B4+B3)*127+128|"
bench "full size, RGB" full "\$head $ROWS $COLS 2|B4||B3||B2|"
exit 0
TCL
"$BIN/morvel" "$dir/bench.tcl"
