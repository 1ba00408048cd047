#!/usr/bin/env bash
# Times one step, `cellport IMAGE g.tif`, against the two steps a user takes
# without it, `cellport IMAGE g` then gdal_translate to a tiled ZSTD GeoTIFF
# with the same predictor, run by run in turn on the same images
# (byte runs, integer runs, real noise); compares the files' sizes with each
# other and with the raw grid; measures the one step's peak memory at the
# image's width and at 50000 columns.
#
#   bench/geotiff_benchmark.sh [--size N|small] [--runs R] [--scratch DIR] [--check] [BUILD_DIR]
#
# BUILD_DIR (default: build) is a Release build with bench/ in it and the
# GeoTIFF module; nothing is built here. --check: exit 1 when a bound fails.
set -euo pipefail
shopt -s inherit_errexit

usage() {
  echo "usage: $0 [--size N|small] [--runs R] [--scratch DIR] [--check] [BUILD_DIR]" >&2
  echo "  --size     images of N x N cells (default 6000); small: 500 x 500" >&2
  echo "  --runs     timed runs of each way after one warm-up (default 3)" >&2
  echo "  --scratch  folder for images and grids (default /dev/shm if writable, else TMPDIR)" >&2
  echo "  --check    exit with status 1 when a bound is not met" >&2
  exit 2
}

size=6000
runs=3
scratch_parent=
check=false
build=build
while [ $# -gt 0 ]; do
  case $1 in
    --size) [ $# -ge 2 ] || usage; size=$2; shift 2 ;;
    --runs) [ $# -ge 2 ] || usage; runs=$2; shift 2 ;;
    --scratch) [ $# -ge 2 ] || usage; scratch_parent=$2; shift 2 ;;
    --check) check=true; shift ;;
    -*) usage ;;
    *) build=$1; shift ;;
  esac
done
[ "$size" = small ] && size=500
[[ $size =~ ^[0-9]+$ && $size -ge 4 ]] || { echo "--size: a whole number of 4 or more, or small" >&2; exit 2; }
[[ $runs =~ ^[0-9]+$ && $runs -ge 1 ]] || { echo "--runs: a whole number of 1 or more" >&2; exit 2; }

build=$(cd "$build" && pwd)
cellport=$build/cellport
make_image=$build/cellport-make-image
measure=$build/bench/measure_run
for file in "$cellport" "$make_image" "$measure" "$build/libmdgridio.so" "$build/libmdgridio_geotiff.so"; do
  [ -f "$file" ] || { echo "missing $file: build $build first (with libgdal-dev installed)" >&2; exit 1; }
done
gdal=$(command -v gdal_translate) || { echo "gdal_translate not found (Debian gdal-bin)" >&2; exit 1; }

. "$(dirname "$0")/scratch_folder.sh"
make_scratch_folder cellport-geotiff-bench
log=$scratch/programs.log

# name, cell type, data layout, pattern, flag, predictor for gdal_translate:
# the one the library uses for that cell type, which also gives the two
# steps their smallest file on these images.
images=(
  "byte-runs byte packed runs 255 2"
  "integer-runs integer packed runs -9999 2"
  "real-noise real binary noise -9999 3"
)

make_image() {
  local type=$1 layout=$2 pattern=$3 flag=$4 columns=$5 rows=$6 base=$7
  "$make_image" --type "$type" --layout "$layout" --columns "$columns" --rows "$rows" \
    --pattern "$pattern" --max-run $((columns / 4 > 1 ? columns / 4 : 2)) --flag "$flag" --seed 1 "$base" >>"$log"
}

# "seconds peak_kib cpu_seconds" of one command.
measured() {
  local result
  if ! result=$("$measure" "$@" 2>>"$log"); then
    echo "failed: $*" >&2
    tail -n 5 "$log" >&2
    exit 1
  fi
  echo "$result"
}

# Prints "seconds cpu_seconds file_bytes" of one way; keeps its file as $scratch/$way.tif.
run_way() {
  local way=$1 name=$2 predictor=$3
  rm -rf "$scratch/$way.tif" "$scratch/raw"
  if [ "$way" = one ]; then
    measured "$cellport" "$scratch/images/$name" "$scratch/one.tif" | awk '{ print $1, $3 }' >"$scratch/times"
  else
    {
      measured "$cellport" "$scratch/images/$name" "$scratch/raw"
      measured "$gdal" -q -co TILED=YES -co COMPRESS=ZSTD -co PREDICTOR="$predictor" \
        "$scratch/raw/cells.raw" "$scratch/two.tif"
    } | awk '{ wall += $1; cpu += $3 } END { print wall, cpu }' >"$scratch/times"
  fi
  echo "$(cat "$scratch/times") $(stat -c %s "$scratch/$way.tif")"
}

column() { awk -v c="$1" '{ print $c }' "$2" | median; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

echo "machine: $(lscpu | sed -n 's/^Model name: *//p' | head -n 1), $(nproc) cores"
echo "load before: $(uptime)"
echo "gdal: $("$gdal" --version)"
echo "scratch: $scratch_parent"
echo
echo "$size x $size cells; median of $runs runs after a warm-up, the two ways taking turns."
echo "two steps: cellport IMAGE g; gdal_translate -co TILED=YES -co COMPRESS=ZSTD -co PREDICTOR=P"
echo
printf '| %-12s | %9s | %10s | %10s | %8s | %8s | %12s | %12s | %9s |\n' \
  image "raw MB" "one step s" "two steps s" "two/one" "cpu t/o" "one step B" "two steps B" "raw/one"
echo "|--------------|----------:|-----------:|------------:|---------:|---------:|-------------:|-------------:|----------:|"
failed=()
mkdir -p "$scratch/images"
for entry in "${images[@]}"; do
  read -r name type layout pattern flag predictor <<<"$entry"
  make_image "$type" "$layout" "$pattern" "$flag" "$size" "$size" "$scratch/images/$name"
  : >"$scratch/one-$name"
  : >"$scratch/two-$name"
  for ((round = 0; round <= runs; round++)); do
    ways=(one two)
    ((round % 2)) && ways=(two one)
    for way in "${ways[@]}"; do
      result=$(run_way "$way" "$name" "$predictor")
      [ "$round" -gt 0 ] && echo "$result" >>"$scratch/$way-$name"
    done
  done
  # The same cells, place and no-data both ways.
  for way in one two; do
    gdalinfo -checksum "$scratch/$way.tif" | grep -E '^(Size|Origin|Pixel Size)|NoData|Checksum|Type=' \
      | sed 's/Block=[0-9x]* //' >"$scratch/info-$way"
  done
  cmp -s "$scratch/info-one" "$scratch/info-two" || { echo "$name: the two ways' files differ" >&2; exit 1; }
  raw_bytes=$((size * size * 4))
  one_s=$(column 1 "$scratch/one-$name") two_s=$(column 1 "$scratch/two-$name")
  one_cpu=$(column 2 "$scratch/one-$name") two_cpu=$(column 2 "$scratch/two-$name")
  one_b=$(column 3 "$scratch/one-$name") two_b=$(column 3 "$scratch/two-$name")
  awk -v n="$name" -v raw="$raw_bytes" -v os="$one_s" -v ts="$two_s" -v oc="$one_cpu" -v tc="$two_cpu" \
      -v ob="$one_b" -v tb="$two_b" 'BEGIN {
    printf "| %-12s | %9.1f | %10.3f | %11.3f | %8.2f | %8.2f | %12d | %12d | %9.1f |\n",
      n, raw / 1e6, os, ts, ts / os, tc / oc, ob, tb, raw / ob }'
  awk -v os="$one_s" -v ts="$two_s" 'BEGIN { exit !(os < ts) }' || failed+=("$name: one step not faster")
  [ "$one_b" -le "$two_b" ] || failed+=("$name: one step's file larger")
  if [ "$pattern" = runs ] && [ $((raw_bytes / one_b)) -lt 100 ]; then failed+=("$name: under 100 times smaller"); fi
  rm -rf "$scratch/images/$name".* "$scratch"/*.tif "$scratch/raw"
done
echo

# Peak memory of the one step: the image's width, and 50000 columns, each
# over three rows of tiles.
printf '| %-14s | %12s |\n' columns "peak one step"
echo "|---------------:|-------------:|"
for columns in "$size" 50000; do
  make_image byte packed runs 255 "$columns" 600 "$scratch/images/wide"
  peak=$(measured "$cellport" "$scratch/images/wide" "$scratch/wide.tif" | awk '{ print $2 }')
  printf '| %14s | %8.1f MiB |\n' "$columns x 600" "$(awk -v k="$peak" 'BEGIN { print k / 1024 }')"
  rm -f "$scratch/images/wide".* "$scratch/wide.tif"
done
echo
echo "load after: $(uptime)"
echo "bounds: one step faster than two, file no larger, runs images at least 100 times smaller than the raw grid"
if [ "$size" -lt 6000 ]; then
  echo "bounds are judged at 6000 x 6000 and above"
elif [ ${#failed[@]} -eq 0 ]; then
  echo "bounds met"
else
  printf 'NOT met: %s\n' "${failed[@]}"
  $check && exit 1
fi
exit 0
