#!/usr/bin/env bash
# Times cellport on images of every layout against floor_copy (reading the
# same image bytes, writing a file the grid's size) and gdal_translate (the
# same cells to a grid of the same form and cell type), run by run in turn, and
# measures cellport's peak memory at two sizes four times apart in cells.
#
#   bench/run_benchmark.sh [--size N|small] [--runs R] [--scratch DIR] [BUILD_DIR]
#
# BUILD_DIR (default: build) is a Release build with bench/ in it; nothing is
# built here.
set -euo pipefail
shopt -s inherit_errexit

usage() {
  echo "usage: $0 [--size N|small] [--runs R] [--scratch DIR] [BUILD_DIR]" >&2
  echo "  --size     images of N x N cells (default 6000); small: 1000 x 1000" >&2
  echo "  --runs     timed runs per program after one warm-up (default 5)" >&2
  echo "  --scratch  folder for images and grids (default /dev/shm if writable, else TMPDIR)" >&2
  exit 2
}

size=6000
runs=5
scratch_parent=
build=build
while [ $# -gt 0 ]; do
  case $1 in
    --size) [ $# -ge 2 ] || usage; size=$2; shift 2 ;;
    --runs) [ $# -ge 2 ] || usage; runs=$2; shift 2 ;;
    --scratch) [ $# -ge 2 ] || usage; scratch_parent=$2; shift 2 ;;
    -h|--help) usage ;;
    -*) usage ;;
    *) build=$1; shift ;;
  esac
done
[ "$size" = small ] && size=1000
if ! [[ $size =~ ^[0-9]+$ && $size -ge 4 ]]; then
  echo "--size: a whole number of 4 or more, or small" >&2
  exit 2
fi
if ! [[ $runs =~ ^[0-9]+$ && $runs -ge 1 ]]; then
  echo "--runs: a whole number of 1 or more" >&2
  exit 2
fi
half=$((size / 2))

build=$(cd "$build" && pwd)
cellport=$build/cellport
make_image=$build/cellport-make-image
floor_copy=$build/bench/floor_copy
measure=$build/bench/measure_run
for program in "$cellport" "$make_image" "$floor_copy" "$measure" "$build/libmdgridio.so"; do
  [ -x "$program" ] || [ -f "$program" ] || { echo "missing $program: build $build first" >&2; exit 1; }
done
if grep -qs '^CMAKE_BUILD_TYPE:STRING=Release$' "$build/CMakeCache.txt"; then :; else
  echo "warning: $build is not a Release build" >&2
fi
gdal=$(command -v gdal_translate || true)
[ -n "$gdal" ] || echo "warning: gdal_translate not found (Debian gdal-bin): no GDAL column" >&2

. "$(dirname "$0")/scratch_folder.sh"
make_scratch_folder cellport-bench
log=$scratch/programs.log

# layout name, cell type, data layout, the grid's cell type for GDAL
layouts=(
  "byte-binary byte binary Int32"
  "integer-binary integer binary Int32"
  "real-binary real binary Float32"
  "byte-packed byte packed Int32"
  "integer-packed integer packed Int32"
)

flag_for() {
  case $1 in byte) echo 255 ;; *) echo -9999 ;; esac
}

# Packed images hold runs of 1 to a quarter row, so most rows end inside a
# run; binary images hold noise. Every image has a flag value in use.
pattern_for() {
  local layout=$1 columns=$2
  if [ "$layout" = packed ]; then
    echo "--pattern runs --max-run $((columns / 4 > 1 ? columns / 4 : 2))"
  else
    echo "--pattern noise"
  fi
}

make_image() {
  local type=$1 layout=$2 pattern=$3 columns=$4 base=$5
  # shellcheck disable=SC2086 # the pattern is a list of options
  "$make_image" --type "$type" --layout "$layout" --columns "$columns" --rows "$columns" \
    $pattern --flag "$(flag_for "$type")" --seed 1 "$base" >>"$log"
}

# GDAL reads the binary cells through a header of the grid's form beside a
# link to them.
gdal_input_header() {
  local type=$1 columns=$2 image=$3 base=$4
  local code
  case $type in byte) code=1 ;; integer) code=2 ;; real) code=4 ;; esac
  ln -s "$image" "$base.img"
  printf 'ENVI\nsamples = %s\nlines = %s\nbands = 1\nheader offset = 0\nfile type = ENVI Standard\ndata type = %s\ninterleave = bsq\nbyte order = 0\n' \
    "$columns" "$columns" "$code" >"$base.hdr"
}

# Prints "seconds peak_kib cpu_seconds" of one run; the output is removed
# afterwards.
run_program() {
  local program=$1 name=$2 columns=$3 grid_type=$4 result command
  local base=$scratch/images/$name
  case $program in
    cellport) command=("$cellport" "$base" "$scratch/out-cellport") ;;
    floor) command=("$floor_copy" "$base.img" "$scratch/out-floor.raw" $((columns * columns * 4))) ;;
    gdal) command=("$gdal" -q -of ENVI -ot "$grid_type" "$scratch/gdal-in/$name.img" "$scratch/out-gdal.raw") ;;
  esac
  if ! result=$("$measure" "${command[@]}" 2>>"$log"); then
    echo "$program failed on $name:" >&2
    tail -n 5 "$log" >&2
    exit 1
  fi
  rm -rf "$scratch/out-cellport" "$scratch/out-floor.raw" "$scratch"/out-gdal.*
  echo "$result"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
maximum() { sort -g | tail -n 1; }

prepare_images() {
  local columns=$1 entry name type layout grid_type pattern
  rm -rf "$scratch/images" "$scratch/gdal-in"
  mkdir -p "$scratch/images" "$scratch/gdal-in"
  for entry in "${layouts[@]}"; do
    read -r name type layout grid_type <<<"$entry"
    pattern=$(pattern_for "$layout" "$columns")
    make_image "$type" "$layout" "$pattern" "$columns" "$scratch/images/$name"
    # GDAL cannot read the packed layout: it gets the binary twin, the same
    # cells from the same seed.
    if [ "$layout" = packed ]; then
      make_image "$type" binary "$pattern" "$columns" "$scratch/images/$name-twin"
      gdal_input_header "$type" "$columns" "$scratch/images/$name-twin.img" "$scratch/gdal-in/$name"
    else
      gdal_input_header "$type" "$columns" "$scratch/images/$name.img" "$scratch/gdal-in/$name"
    fi
  done
}

programs=(cellport floor)
[ -n "$gdal" ] && programs+=(gdal)

# One warm-up round, then the timed rounds; each round runs every program
# once, starting one further along each time, so no program always follows
# the same one.
time_layout() {
  local name=$1 grid_type=$2 columns=$3 round index program count=${#programs[@]}
  for ((round = 0; round <= runs; round++)); do
    for ((index = 0; index < count; index++)); do
      program=${programs[(round + index) % count]}
      if [ "$round" -eq 0 ]; then
        run_program "$program" "$name" "$columns" "$grid_type" >/dev/null
      else
        run_program "$program" "$name" "$columns" "$grid_type" >>"$scratch/times-$name-$program"
      fi
    done
  done
}

peak_at_half_size() {
  local name=$1 grid_type=$2 round
  for ((round = 0; round < 3; round++)); do
    run_program cellport "$name" "$half" "$grid_type"
  done | awk '{ print $2 }' | maximum
}

echo "machine: $(lscpu | sed -n 's/^Model name: *//p' | head -n 1), $(nproc) cores"
echo "load before: $(uptime)"
[ -n "$gdal" ] && echo "gdal: $("$gdal" --version)"
echo "scratch: $scratch_parent ($(df -P "$scratch_parent" | awk 'NR == 2 { print $1 }'))"

declare -A half_peak
prepare_images "$half"
for entry in "${layouts[@]}"; do
  read -r name type layout grid_type <<<"$entry"
  half_peak[$name]=$(peak_at_half_size "$name" "$grid_type")
done

prepare_images "$size"
for entry in "${layouts[@]}"; do
  read -r name type layout grid_type <<<"$entry"
  time_layout "$name" "$grid_type" "$size"
done
echo "load after:  $(uptime)"
echo

cells=$((size * size))
echo "$size x $size cells; median of $runs runs after a warm-up. Ratios: the other's time / cellport's,"
echo "of wall time, and of processor time (user + system; cpu), which other load disturbs less."
echo
printf '| %-14s | %10s | %10s | %8s | %8s | %7s | %8s | %12s | %7s | %7s | %15s | %15s |\n' \
  layout cells "cellport s" "Mcells/s" "out MB/s" "floor s" "floor/cp" "floor/cp cpu" "gdal s" "gdal/cp" \
  "peak ${half}x${half}" "peak ${size}x${size}"
echo "|----------------|-----------:|-----------:|---------:|---------:|--------:|---------:|-------------:|--------:|--------:|----------------:|----------------:|"
column_of() { awk -v column="$1" '{ print $column }' "$2"; }
for entry in "${layouts[@]}"; do
  read -r name type layout grid_type <<<"$entry"
  times=$scratch/times-$name
  gdal_s=-
  [ -n "$gdal" ] && gdal_s=$(column_of 1 "$times-gdal" | median)
  awk -v name="$name" -v cells="$cells" -v gd="$gdal_s" \
      -v cp="$(column_of 1 "$times-cellport" | median)" -v fl="$(column_of 1 "$times-floor" | median)" \
      -v cp_cpu="$(column_of 3 "$times-cellport" | median)" -v fl_cpu="$(column_of 3 "$times-floor" | median)" \
      -v half_kib="${half_peak[$name]}" -v kib="$(column_of 2 "$times-cellport" | maximum)" 'BEGIN {
    gdal_time = gd == "-" ? "-" : sprintf("%.3f", gd)
    gdal_ratio = gd == "-" ? "-" : sprintf("%.2f", gd / cp)
    printf "| %-14s | %10d | %10.3f | %8.1f | %8.0f | %7.3f | %8.2f | %12.2f | %7s | %7s | %11.1f MiB | %11.1f MiB |\n",
      name, cells, cp, cells / cp / 1e6, cells * 4 / cp / 1e6, fl, fl / cp, fl_cpu / cp_cpu,
      gdal_time, gdal_ratio, half_kib / 1024, kib / 1024
  }'
done
echo
echo "targets: floor/cp >= 0.80 (cellport within 1.25x of the floor), gdal/cp >= 2, peak < 16 MiB"
