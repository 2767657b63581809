# Shell functions that walk the toolkit's main road on a synthetic scene.
# Source this file with BIN set to the folder of the built programs.
#
#   road_scene <dir> <rows> <cols> [<bands> <classes> <bits> <seed> <points>]
#       writes band files, truth.raw, points.bif (at most <points> per class,
#       default 60) and scene.env into <dir>
#   road_qor <dir> [<pci paths>|NO-PCI]
#       nuvira: <dir>/points.qor from the BIF, the bands and the PCI files
#   road_training_set <dir> [<pci paths>|NO-PCI] [<max samples>]
#       road_qor, then palvex: <dir>/training.ts (class first, raw values,
#       the scene's bands as channels in order)
#   road_quote <words...>
#       prints the words as one copyable command line
#   road_show <command...>, road_run <command...>
#       print a command as a copyable command line ("   $ ..."), when
#       ROAD_SHOW is set; road_run then runs it. Every tool runs through them.
#   road_pnn <dir> <area rows> <tool> <numbers...>
#       wimbel or sotrak on the first <area rows> rows of the scene from
#       <dir>/training.ts into <dir>/<tool>.cof; <numbers> are the tool's
#       own (wimbel: sigma maxSamples; sotrak: sigma polynomialOrder
#       maxSamples). With ROAD_SHOW set, prints the command line first.
#   road_grenik <dir> [<seed> <cellCount> <cellSamples> <nClasses>]
#       grenik over the whole scene: <dir>/grenik.cof
#   road_harvin <dir> [<nClasses> <threshold1>]
#       harvin over the whole scene: <dir>/harvin.cof

# The words as one copyable command line: a word with a line end or a
# quote as $'...', one with other special characters in single quotes.
road_quote() {
  local word line=""
  for word in "$@"; do
    case $word in
      *$'\n'* | *\'*) line+=" $(printf '%q' "$word")" ;;
      '' | *[!A-Za-z0-9_./:=+-]*) line+=" '$word'" ;;
      *) line+=" $word" ;;
    esac
  done
  printf '%s\n' "${line# }"
}

road_show() {
  [ -n "${ROAD_SHOW:-}" ] || return 0
  printf '   $ %s\n' "$(road_quote "$@")"
}

road_run() {
  road_show "$@"
  "$@"
}

road_scene() {
  local dir=$1 rows=$2 cols=$3 bands=${4:-7} classes=${5:-8} bits=${6:-8} seed=${7:-1} points=${8:-60}
  mkdir -p "$dir" || return 1
  road_run "$BIN/scenegen" "$dir" "$rows" "$cols" "$bands" "$classes" "$bits" "$seed" "$points" || return 1
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
  road_run "$BIN/nuvira" "$dir/points.qor" "$BAND_PATHS" "$BAND_NUMBERS" "$pci" "$TYPE" \
    "$dir/points.bif" "synthetic scene $ROWS x $COLS"$'\n' "$pciText" \
    "ground truth classes 1..$CLASSES"$'\n' "$countsText" \
    "$bandsText" "0 $hi"$'\n\n' "none"$'\n' "none"$'\n' \
    "$ROWS" "$COLS"
}

road_training_set() {
  local dir=$1 pci=${2:-NO-PCI} max=${3:-1000}
  road_qor "$dir" "$pci" || return 1
  road_run "$BIN/palvex" "$dir/training.ts" "$max" spectral "$BAND_NUMBERS" 1 1 7 "$dir/points.qor"
}

# Exploration of the scene: scatter-plot counts and matching points.
#
#   road_plot <dir> <band code 1> <band code 2> <areas> [<pci paths>|NO-PCI]
#       dramen: <dir>/scatter.plot over the whole scene
#   road_matching <dir> <areas> [<pci paths>|NO-PCI]
#       fossik: <dir>/matching.raw over the whole scene
#   road_colour_counts <matching points file>
#       one line per colour bit 0..7 set anywhere: how many pixels it marks

road_plot() {
  local dir=$1 code1=$2 code2=$3 areas=$4 pci=${5:-NO-PCI}
  # shellcheck disable=SC1091
  . "$dir/scene.env" || return 1
  road_run "$BIN/dramen" "$BAND_PATHS" "$BAND_NUMBERS" "$pci" "$TYPE" "$ROWS" "$COLS" \
    0 0 "$ROWS" "$COLS" "$code1" "$code2" "$areas" "$dir/scatter.plot"
}

road_matching() {
  local dir=$1 areas=$2 pci=${3:-NO-PCI}
  # shellcheck disable=SC1091
  . "$dir/scene.env" || return 1
  road_run "$BIN/fossik" "$BAND_PATHS" "$BAND_NUMBERS" "$pci" "$TYPE" "$ROWS" "$COLS" \
    0 0 "$ROWS" "$COLS" "$areas" "$dir/matching.raw"
}

road_colour_counts() {
  od -An -v -tu1 "$1" | awk '{
    for (i = 1; i <= NF; i++) for (k = 0; k < 8; k++) if (int($i / 2 ^ k) % 2) n[k]++
  } END { for (k = 0; k < 8; k++) if (n[k]) printf "colour %d: %d pixels\n", k, n[k] }'
}

road_pnn() {
  local dir=$1 rows=$2 tool=$3
  shift 3
  # shellcheck disable=SC1091
  . "$dir/scene.env" || return 1
  local cmd=("$BIN/$tool" "$BAND_PATHS" "$BAND_NUMBERS" "$TYPE_NAME" "$@" \
    "$ROWS" "$COLS" 0 0 "$rows" "$COLS" "$dir/training.ts" "$dir/$tool.cof")
  road_run "${cmd[@]}"
}

road_grenik() {
  local dir=$1 seed=${2:-1} cells=${3:-8} samples=${4:-4} classes=${5:-}
  # shellcheck disable=SC1091
  . "$dir/scene.env" || return 1
  road_run "$BIN/grenik" "$BAND_PATHS" "$BAND_NUMBERS" "$TYPE_NAME" "$ROWS" "$COLS" 0 0 \
    "$ROWS" "$COLS" "$seed" "$cells" "$samples" "${classes:-$CLASSES}" "$dir/grenik.cof"
}

road_harvin() {
  local dir=$1 classes=${2:-} threshold=${3:-30}
  # shellcheck disable=SC1091
  . "$dir/scene.env" || return 1
  road_run "$BIN/harvin" "$BAND_PATHS" "$BAND_NUMBERS" "$TYPE_NAME" "$ROWS" "$COLS" 0 0 \
    "$ROWS" "$COLS" "${classes:-$CLASSES}" "$threshold" "$dir/harvin.cof"
}
