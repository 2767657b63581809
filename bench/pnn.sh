# The benchmark of the probabilistic-neural-network classifiers, shared by
# bench/wimbel.sh and bench/sotrak.sh. Source it from the repository root
# after setting `bench_name` (wimbel or sotrak), then call
#
#   pnn_bench <options...>    the script's command-line options
#
# Per run: an 8-bit scene and a 16-bit one (10-bit values) of 7 bands and
# 8 classes, training sets of 300 samples per class, then the classifier on
# the first quarter of the rows (rows 0..499 of 2000) with maxSamples 100
# and sigma 8 (8-bit) or 32 (16-bit); sotrak with polynomialOrder 2.
. bench/common.sh

pnn_classify() {
  local sigma=$1
  if [ "$pnn_tool" = sotrak ]; then
    road_pnn "$scene" "$area_rows" sotrak "$sigma" 2 100
  else
    road_pnn "$scene" "$area_rows" wimbel "$sigma" 100
  fi
}

pnn_bench() {
  bench_options "$@"
  pnn_tool=$bench_name
  bench_build scenegen nuvira palvex cofcompare "$pnn_tool"
  bench_folder
  local bits sigma
  area_rows=$((rows / 4))
  for bits in 8 16; do
    sigma=8
    [ "$bits" = 16 ] && sigma=32
    scene=$dir/scene$bits
    echo "scene: $rows x $cols pixels, 7 bands, $bits bits, 8 classes in $scene"
    road_scene "$scene" "$rows" "$cols" 7 8 "$bits" 1 300 >/dev/null
    road_training_set "$scene" NO-PCI 300 >/dev/null
    # shellcheck disable=SC1091
    . "$scene/scene.env"
    echo "training set: $(wc -l <"$scene/training.ts") samples; rows 0..$((area_rows - 1)), sigma $sigma"
    pnn_classify "$sigma" >/dev/null  # warm the page cache
    head -c $((area_rows * cols)) "$scene/truth.raw" >"$scene/truth-area.raw"
    "$BIN/cofcompare" "$scene/$pnn_tool.cof" "$scene/truth-area.raw" | tail -n 1
    bench_name="$pnn_tool ($bits-bit)"
    rows=$area_rows bench_time pnn_classify "$sigma"
    bench_name=$pnn_tool
  done
}
