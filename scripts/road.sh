# Shell functions that walk the toolkit's main road on a synthetic scene.
# Source this file with BIN set to the folder of the built programs.
#
#   road_scene <dir> <rows> <cols> [<bands> <classes> <bits> <seed>]
#       writes band files, truth.raw, points.bif and scene.env into <dir>
#   road_qor <dir> [<pci paths>|NO-PCI]
#       nuvira: <dir>/points.qor from the BIF, the bands and the PCI files
#   road_training_set <dir> [<pci paths>|NO-PCI] [<max samples>]
#       road_qor, then palvex: <dir>/training.ts (class first, raw values,
#       the scene's bands as channels in order)
#   road_grenik <dir> [<seed> <cellCount> <cellSamples> <nClasses>]
#       grenik over the whole scene: <dir>/grenik.cof
#   road_harvin <dir> [<nClasses> <threshold1>]
#       harvin over the whole scene: <dir>/harvin.cof
#   Both print their command line ("   $ ...") before running it.

road_scene() {
  local dir=$1 rows=$2 cols=$3 bands=${4:-7} classes=${5:-8} bits=${6:-8} seed=${7:-1}
  mkdir -p "$dir" || return 1
  "$BIN/scenegen" "$dir" "$rows" "$cols" "$bands" "$classes" "$bits" "$seed" || return 1
}

# Sets the variable named $1 to one line per word of $2, then the empty line
# that ends a QOR section.
road_section_lines() {
  local -n road_out=$1
  local word
  road_out=""
  for word in $2; do road_out+="$word"$'\n'; done
  road_out+=$'\n'
}

road_qor() {
  local dir=$1 pci=${2:-NO-PCI}
  # shellcheck disable=SC1091
  . "$dir/scene.env" || return 1
  local pciText countsText bandsText hi=255 pciWords="" path k=0
  # One short line per component: the reader only counts them.
  if [ "$pci" != NO-PCI ]; then
    for path in $pci; do k=$((k + 1)); pciWords+=" component$k"; done
  fi
  road_section_lines pciText "$pciWords"
  road_section_lines countsText "$POINT_COUNTS"
  road_section_lines bandsText "$BAND_NUMBERS"
  [ "$BITS" = 16 ] && hi=1023
  "$BIN/nuvira" "$dir/points.qor" "$BAND_PATHS" "$BAND_NUMBERS" "$pci" "$TYPE" \
    "$dir/points.bif" "synthetic scene $ROWS x $COLS"$'\n' "$pciText" \
    "ground truth classes 1..$CLASSES"$'\n' "$countsText" \
    "$bandsText" "0 $hi"$'\n\n' "none"$'\n' "none"$'\n' \
    "$ROWS" "$COLS"
}

road_training_set() {
  local dir=$1 pci=${2:-NO-PCI} max=${3:-1000}
  road_qor "$dir" "$pci" || return 1
  "$BIN/palvex" "$dir/training.ts" "$max" spectral "$BAND_NUMBERS" 1 1 7 "$dir/points.qor"
}

# Prints a command line that can be copied, then runs it.
road_show_run() {
  local word line="   \$"
  for word in "$@"; do line+=" $(printf '%q' "$word")"; done
  echo "$line"
  "$@"
}

road_grenik() {
  local dir=$1 seed=${2:-1} cells=${3:-8} samples=${4:-4} classes=${5:-}
  # shellcheck disable=SC1091
  . "$dir/scene.env" || return 1
  road_show_run "$BIN/grenik" "$BAND_PATHS" "$BAND_NUMBERS" "$TYPE_NAME" "$ROWS" "$COLS" 0 0 \
    "$ROWS" "$COLS" "$seed" "$cells" "$samples" "${classes:-$CLASSES}" "$dir/grenik.cof"
}

road_harvin() {
  local dir=$1 classes=${2:-} threshold=${3:-30}
  # shellcheck disable=SC1091
  . "$dir/scene.env" || return 1
  road_show_run "$BIN/harvin" "$BAND_PATHS" "$BAND_NUMBERS" "$TYPE_NAME" "$ROWS" "$COLS" 0 0 \
    "$ROWS" "$COLS" "${classes:-$CLASSES}" "$threshold" "$dir/harvin.cof"
}
