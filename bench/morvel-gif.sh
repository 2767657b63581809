#!/usr/bin/env bash
# Times the viewer shell's scatter plots and window captures in one morvel
# run under a virtual X server (Xvfb, 24 bits): "Scatter2" of a full plot
# file (all 256 x 256 cells, 15 areas) shown at 512 x 512, and "CreateGif"
# of a 1000 x 1000 window showing a true-colour picture of 62 500 colours.
# Prints each run and the median of each.
#
#   bench/morvel-gif.sh [--runs <n>] [--keep <folder>]
#
# MSIKIT_BENCH_BUILD names the build folder (default: build-bench).
set -euo pipefail
cd "$(dirname "$0")/.."
bench_name=morvel-gif
. bench/common.sh
bench_options "$@"
bench_build morvel
bench_folder

# The plot file: 15 areas named by colours, a count in every cell.
awk 'BEGIN {
  srand(7)
  printf "15"
  for (a = 0; a < 15; a++) printf " #%04x%04x%04x", (a % 2) * 65535, int(a / 2) % 2 * 65535, int(a / 4) % 2 * 65535
  printf "\n1000"
  for (a = 0; a < 15; a++) printf " 100"
  for (v1 = 0; v1 < 256; v1++)
    for (v2 = 0; v2 < 256; v2++) {
      printf "\n%d %d %d", v1, v2, int(rand() * 1000)
      for (a = 0; a < 15; a++) printf " %d", (rand() < 0.1) ? int(rand() * 100) : 0
    }
  printf "\n"
}' >"$dir/plot.txt"

cat >"$dir/bench.tcl" <<EOF
source {$(pwd)/bench/median.tcl}

bench_runs "Scatter2 256 x 256 cells, 15 areas, at 512 x 512" $runs {
  image create photo plot -format Scatter2 -data "$dir/plot.txt 0 0 256 word 20 50 512 512"
}

# A 1000 x 1000 picture: red across, green down, blue along the diagonal.
image create photo pic -width 1000 -height 1000
for {set y 0} {\$y < 1000} {incr y} {
  set row {}
  for {set x 0} {\$x < 1000} {incr x} {
    lappend row [format #%02x%02x%02x [expr {\$x / 4}] [expr {\$y / 4}] [expr {(\$x + \$y) / 8}]]
  }
  pic put [list \$row] -to 0 \$y
}
wm geometry . +0+0
pack [label .l -image pic -bd 0 -padx 0 -pady 0 -highlightthickness 0]
update
bench_runs "CreateGif 1000 x 1000, true colour" $runs {
  CreateGif .l $dir/window.gif 1000 1000 0 {} {} {} {}
}
exit 0
EOF

# A virtual X server of our own, stopped on the way out.
xfifo=$dir/displayfd
mkfifo "$xfifo"
Xvfb -displayfd 4 -screen 0 1280x1024x24 -nolisten tcp 4>"$xfifo" >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; [ -z "$keep" ] && rm -rf "$dir"' EXIT
read -r display <"$xfifo"
DISPLAY=:$display "$BIN/morvel" "$dir/bench.tcl"
