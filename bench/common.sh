# Shared pieces of the benchmark scripts. Source it from the repository root
# after setting `bench_name` (the tool timed).
#
#   bench_options "$@"          --large (4000 x 4000), --runs <n>, --keep <folder>
#   bench_build <targets...>    Release build into $MSIKIT_BENCH_BUILD (default
#                               build-bench), sanitizers off, all cores
#   bench_folder                sets dir: the kept folder or a temporary one
#   bench_time <command...>     runs the command $runs times, prints each time,
#                               then the median, megapixels per second and the
#                               median time of a plain `cat` of the band files

rows=2000 cols=2000 runs=5 keep=""

bench_options() {
  while [ $# -gt 0 ]; do
    case $1 in
      --large) rows=4000 cols=4000 ;;
      --runs) runs=$2; shift ;;
      --keep) keep=$2; shift ;;
      *) echo "usage: bench/$bench_name.sh [--large] [--runs <n>] [--keep <folder>]" >&2
         exit 2 ;;
    esac
    shift
  done
}

bench_build() {
  local build=${MSIKIT_BENCH_BUILD:-build-bench}
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DMSI_SANITIZE=OFF -DMSI_WERROR=ON -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$build" -j"$(nproc)" --target "$@" >/dev/null
  BIN=$(cd "$build/bin" && pwd)
  export BIN
  . scripts/road.sh
}

bench_folder() {
  if [ -n "$keep" ]; then
    dir=$keep
    mkdir -p "$dir"
  else
    dir=$(mktemp -d)
    trap 'rm -rf "$dir"' EXIT
  fi
}

# The benchmarks' scene in $dir: $rows x $cols pixels, 7 bands of 8 bits, 8
# classes, seed 1; its scene.env is read (BAND_PATHS, BAND_NUMBERS, ROWS,
# COLS ...).
bench_scene() {
  echo "scene: $rows x $cols pixels, 7 bands, 8 bits, 8 classes in $dir"
  road_scene "$dir" "$rows" "$cols" 7 8 8 1
  . "$dir/scene.env"
}

# Seconds taken by a command, its output discarded.
bench_seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f\n", e - s }'
}

bench_median() {
  sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# shellcheck disable=SC2086
bench_cat_band_files() { cat $BAND_PATHS; }

bench_time() {
  local i t times=() cat_times=() med cat_med
  for ((i = 1; i <= runs; i++)); do
    t=$(bench_seconds "$@")
    times+=("$t")
    echo "run $i: $t s"
  done
  for ((i = 1; i <= runs; i++)); do cat_times+=("$(bench_seconds bench_cat_band_files)"); done
  med=$(printf '%s\n' "${times[@]}" | bench_median)
  cat_med=$(printf '%s\n' "${cat_times[@]}" | bench_median)
  awk -v n="$bench_name" -v t="$med" -v c="$cat_med" -v r="$rows" -v k="$cols" 'BEGIN {
    printf "%s median: %.3f s, %.2f megapixels/s\n", n, t, r * k / 1e6 / t
    printf "cat of the band files, median: %.3f s\n", c
  }'
}

# Peak resident memory of one run of a program (not a shell function), in MB: from GNU time when it
# is installed, otherwise from the high-water mark in /proc, read while the
# command runs.
bench_peak_memory() {
  local kb=0 pid hwm record
  if [ -x /usr/bin/time ]; then
    record=$(mktemp)
    /usr/bin/time -f '%M' -o "$record" "$@" >/dev/null 2>&1 || true
    kb=$(tail -n 1 "$record")
    rm -f "$record"
  else
    "$@" >/dev/null 2>&1 &
    pid=$!
    while kill -0 "$pid" 2>/dev/null; do
      hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
      [ -n "$hwm" ] && [ "$hwm" -gt "$kb" ] && kb=$hwm
      sleep 0.01
    done
    wait "$pid" || true
  fi
  awk -v k="$kb" 'BEGIN { printf "peak memory: %.0f MB\n", k / 1024 }'
}
