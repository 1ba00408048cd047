#!/usr/bin/env bash
# Times `cellport IMAGE g.tif` against, side by side, run by run in turn on
# the same images (byte runs, integer runs, land-cover-like patches, real
# noise):
#   previous  the GDAL writer of commit eb3ddf3, built here in the scratch
#             folder (always ZSTD level 9, GDAL's default);
#   zstd -T1, zstd -T2  the zstd program at the same level over the raw
#             grid's bytes: what compressing alone costs, on one and two threads;
#   gdal_translate  the raw grid to a GeoTIFF with the same options;
#   cog       cellport with MDGRIDIO_GEOTIFF=cog: a Cloud-Optimized GeoTIFF;
#   two-step  cellport to the folder, then gdal_translate -of COG (nearest
#             overviews for integers, average for reals), as users did before.
# Reports wall and processor time and sizes; then, with --levels, cellport
# at each ZSTD level; then peak memory at the image's width and at 50000
# columns.
#
#   bench/geotiff_benchmark.sh [--size N|small] [--runs R] [--level L] [--levels "1 3 ..."]
#                              [--images "NAME ..."] [--no-previous] [--scratch DIR] [--check] [BUILD_DIR]
#
# BUILD_DIR (default: build) is a Release build with bench/ in it and the
# GeoTIFF module; nothing of it is built here. --check: exit 1 when a bound fails.
set -euo pipefail
shopt -s inherit_errexit

usage() {
  echo "usage: $0 [--size N|small] [--runs R] [--level L] [--levels \"L ...\"] [--images \"NAME ...\"] [--no-previous]" >&2
  echo "          [--scratch DIR] [--check] [BUILD_DIR]" >&2
  echo "  --size         images of N x N cells (default 6000); small: 500 x 500" >&2
  echo "  --runs         timed runs of each way after one warm-up (default 3)" >&2
  echo "  --level        ZSTD level of cellport, zstd and gdal_translate (default 9, the previous writer's)" >&2
  echo "  --levels       also time cellport and zstd -T1 at each of these levels" >&2
  echo "  --images       only these: byte-runs integer-runs land-cover real-noise" >&2
  echo "  --no-previous  do not build and time the previous writer" >&2
  echo "  --scratch      folder for images and grids (default /dev/shm if writable, else TMPDIR)" >&2
  echo "  --check        exit with status 1 when a bound is not met" >&2
  exit 2
}

size=6000
runs=3
level=9
levels=
only=
previous=true
scratch_parent=
check=false
build=build
while [ $# -gt 0 ]; do
  case $1 in
    --size) [ $# -ge 2 ] || usage; size=$2; shift 2 ;;
    --runs) [ $# -ge 2 ] || usage; runs=$2; shift 2 ;;
    --level) [ $# -ge 2 ] || usage; level=$2; shift 2 ;;
    --levels) [ $# -ge 2 ] || usage; levels=$2; shift 2 ;;
    --images) [ $# -ge 2 ] || usage; only=$2; shift 2 ;;
    --no-previous) previous=false; shift ;;
    --scratch) [ $# -ge 2 ] || usage; scratch_parent=$2; shift 2 ;;
    --check) check=true; shift ;;
    -*) usage ;;
    *) build=$1; shift ;;
  esac
done
[ "$size" = small ] && size=500
[[ $size =~ ^[0-9]+$ && $size -ge 4 ]] || { echo "--size: a whole number of 4 or more, or small" >&2; exit 2; }
[[ $runs =~ ^[0-9]+$ && $runs -ge 1 ]] || { echo "--runs: a whole number of 1 or more" >&2; exit 2; }
for l in $level $levels; do
  [[ $l =~ ^[0-9]+$ && $l -ge 1 && $l -le 19 ]] || { echo "--level, --levels: whole numbers 1 to 19" >&2; exit 2; }
done

repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$build" && pwd)
cellport=$build/cellport
make_image=$build/cellport-make-image
measure=$build/bench/measure_run
for file in "$cellport" "$make_image" "$measure" "$build/libmdgridio.so" "$build/libmdgridio_geotiff.so"; do
  [ -f "$file" ] || { echo "missing $file: build $build first (with libtiff-dev and libzstd-dev installed)" >&2; exit 1; }
done
gdal=$(command -v gdal_translate) || { echo "gdal_translate not found (Debian gdal-bin)" >&2; exit 1; }
zstd=$(command -v zstd) || { echo "zstd not found (Debian zstd)" >&2; exit 1; }

. "$(dirname "$0")/scratch_folder.sh"
make_scratch_folder cellport-geotiff-bench
log=$scratch/programs.log

# The previous writer, from its commit, built in the scratch folder.
previous_commit=eb3ddf3
previous_cellport=
if $previous; then
  if git -C "$repo" cat-file -e "$previous_commit^{commit}" 2>/dev/null; then
    echo "building the previous writer ($previous_commit) in the scratch folder..." >&2
    mkdir -p "$scratch/previous"
    git -C "$repo" archive "$previous_commit" | tar -x -C "$scratch/previous"
    if cmake -S "$scratch/previous" -B "$scratch/previous/build" -DCMAKE_BUILD_TYPE=Release \
         -DBUILD_TESTING=OFF >>"$log" 2>&1 &&
       cmake --build "$scratch/previous/build" -j"$(nproc)" --target cellport mdgridio mdgridio_geotiff \
         >>"$log" 2>&1 && [ -f "$scratch/previous/build/libmdgridio_geotiff.so" ]; then
      previous_cellport=$scratch/previous/build/cellport
    else
      echo "the previous writer did not build (libgdal-dev missing?); see $log" >&2
    fi
  else
    echo "commit $previous_commit not found: the previous writer is left out" >&2
  fi
fi

# name, cell type, data layout, pattern, --max-run, range, flag
images=(
  "byte-runs byte packed runs $((size / 4 > 1 ? size / 4 : 2)) 0:255 255"
  "integer-runs integer packed runs $((size / 4 > 1 ? size / 4 : 2)) -500:3000 -9999"
  "land-cover byte binary patches 40 1:20 255"
  "real-noise real binary noise 2 0:1000 -9999"
)

make_image() {
  local type=$1 layout=$2 pattern=$3 run=$4 range=$5 flag=$6 columns=$7 rows=$8 base=$9
  "$make_image" --type "$type" --layout "$layout" --columns "$columns" --rows "$rows" --pattern "$pattern" \
    --max-run "$run" --range "${range%:*}" "${range#*:}" --flag "$flag" --seed 1 "$base" >>"$log"
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

predictor_of() { [ "$1" = real ] && echo 3 || echo 2; }

# Prints "seconds cpu_seconds file_bytes" of one way at one level.
run_way() {
  local way=$1 name=$2 type=$3 at=$4 out=$scratch/out
  rm -f "$out"
  case $way in
    cellport) measured env MDGRIDIO_ZSTD_LEVEL="$at" "$cellport" "$scratch/images/$name" "$out.tif" ;;
    previous) measured "$previous_cellport" "$scratch/images/$name" "$out.tif" ;;
    zstd-T1 | zstd-T2) measured "$zstd" -q -f "-${way#zstd-}" "-$at" "$scratch/raw/cells.raw" -o "$out.tif" ;;
    cog) measured env MDGRIDIO_ZSTD_LEVEL="$at" MDGRIDIO_GEOTIFF=cog "$cellport" "$scratch/images/$name" "$out.tif" ;;
    two-step)
      rm -rf "$scratch/step"
      measured sh -c '"$1" "$2" "$3" && "$4" -q -of COG -co BLOCKSIZE=256 -co COMPRESS=ZSTD -co LEVEL="$5" \
        -co PREDICTOR=YES -co RESAMPLING="$6" -co BIGTIFF=IF_SAFER "$3/cells.raw" "$7"' two-step "$cellport" \
        "$scratch/images/$name" "$scratch/step" "$gdal" "$at" "$( [ "$type" = real ] && echo AVERAGE || echo NEAREST)" \
        "$out.tif" ;;
    gdal_translate)
      measured "$gdal" -q -co TILED=YES -co BLOCKXSIZE=256 -co BLOCKYSIZE=256 -co COMPRESS=ZSTD \
        -co ZSTD_LEVEL="$at" -co PREDICTOR="$(predictor_of "$type")" -co BIGTIFF=IF_SAFER \
        "$scratch/raw/cells.raw" "$out.tif" ;;
  esac | awk '{ printf "%s %s ", $1, $3 }'
  stat -c %s "$out.tif"
  rm -f "$out.tif"
}

# Runs each way once to warm up, then `runs` rounds, the order turning
# round by round; medians go to $scratch/median-<way>.
time_ways() {
  local name=$1 type=$2 at=$3
  shift 3
  local ways=("$@") round way i n=$#
  for way in "${ways[@]}"; do : >"$scratch/times-$way"; done
  for ((round = 0; round <= runs; round++)); do
    for ((i = 0; i < n; i++)); do
      way=${ways[$(((i + round) % n))]}
      result=$(run_way "$way" "$name" "$type" "$at")
      [ "$round" -gt 0 ] && echo "$result" >>"$scratch/times-$way"
    done
  done
  for way in "${ways[@]}"; do
    echo "$(column 1 "$scratch/times-$way") $(column 2 "$scratch/times-$way") $(column 3 "$scratch/times-$way")" \
      >"$scratch/median-$way"
  done
}

column() { awk -v c="$1" '{ print $c }' "$2" | median; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
figure() { awk -v c="$2" '{ print $c }' "$scratch/median-$1"; }

echo "machine: $(lscpu | sed -n 's/^Model name: *//p' | head -n 1), $(nproc) cores"
echo "load before: $(cat /proc/loadavg)"
echo "gdal: $("$gdal" --version); $("$zstd" --version | head -n 1)"
echo "scratch: $scratch_parent"
echo
echo "$size x $size cells, ZSTD level $level; median of $runs runs after a warm-up, the ways taking turns."
echo "wall s / processor s / file MB; ratios of cellport's time to the others'"
ways=(cellport zstd-T1 zstd-T2 gdal_translate cog two-step)
[ -n "$previous_cellport" ] && ways+=(previous)
header="| image        |"
rule="|--------------|"
for way in "${ways[@]}"; do
  header+=$(printf ' %-22s |' "$way")
  rule+="-----------------------:|"
done
header+=" wall/T2 | cpu/T1 | prev/wall | size/prev |"
rule+="--------:|-------:|----------:|----------:|"
echo "$header"
echo "$rule"
failed=()
mkdir -p "$scratch/images"
for entry in "${images[@]}"; do
  read -r name type layout pattern run range flag <<<"$entry"
  [ -z "$only" ] || [[ " $only " == *" $name "* ]] || continue
  make_image "$type" "$layout" "$pattern" "$run" "$range" "$flag" "$size" "$size" "$scratch/images/$name"
  rm -rf "$scratch/raw"
  measured "$cellport" "$scratch/images/$name" "$scratch/raw" >/dev/null
  time_ways "$name" "$type" "$level" "${ways[@]}"
  row=$(printf '| %-12s |' "$name")
  for way in "${ways[@]}"; do
    row+=$(awk -v w="$(figure "$way" 1)" -v c="$(figure "$way" 2)" -v b="$(figure "$way" 3)" \
      'BEGIN { printf " %6.2f / %6.2f / %6.1f |", w, c, b / 1e6 }')
  done
  wall=$(figure cellport 1) cpu=$(figure cellport 2) bytes=$(figure cellport 3)
  t1=$(figure zstd-T1 2) t2=$(figure zstd-T2 1)
  prev_wall=$( [ -n "$previous_cellport" ] && figure previous 1 || echo 0)
  prev_bytes=$( [ -n "$previous_cellport" ] && figure previous 3 || echo 0)
  row+=$(awk -v w="$wall" -v c="$cpu" -v b="$bytes" -v t1="$t1" -v t2="$t2" -v pw="$prev_wall" -v pb="$prev_bytes" \
    'BEGIN { printf " %7.2f | %6.2f |", w / t2, c / t1;
             if (pw > 0) printf " %9.2f | %9.4f |", pw / w, b / pb; else printf " %9s | %9s |", "-", "-" }')
  echo "$row"
  if [ "$pattern" = patches ] || [ "$pattern" = noise ]; then
    awk -v w="$wall" -v t2="$t2" 'BEGIN { exit !(w <= 1.2 * t2) }' || failed+=("$name: wall over 1.2 x zstd -T2")
    if [ -n "$previous_cellport" ] && [ "$level" = 9 ]; then
      awk -v w="$wall" -v pw="$prev_wall" 'BEGIN { exit !(pw >= 1.8 * w) }' || failed+=("$name: not 1.8 x faster than the previous writer")
    fi
  fi
  awk -v c="$cpu" -v t1="$t1" 'BEGIN { exit !(c <= 1.1 * t1) }' || failed+=("$name: processor time over 1.1 x zstd -T1")
  awk -v c="$(figure cog 2)" -v p="$cpu" 'BEGIN { exit !(c <= 1.5 * p) }' || failed+=("$name: cog processor time over 1.5 x the plain .tif's")
  awk -v w="$(figure cog 1)" -v s="$(figure two-step 1)" 'BEGIN { exit !(w < s) }' || failed+=("$name: cog not faster than the two steps")
  if [ -n "$previous_cellport" ] && [ "$level" = 9 ]; then
    awk -v b="$bytes" -v pb="$prev_bytes" 'BEGIN { exit !(b <= 1.02 * pb) }' || failed+=("$name: file over 1.02 x the previous writer's")
  fi

  if [ -n "$levels" ]; then
    for l in $levels; do
      time_ways "$name" "$type" "$l" cellport zstd-T1
      echo "$name $l $(cat "$scratch/median-cellport") $(figure zstd-T1 2)" >>"$scratch/levels"
    done
  fi
  rm -rf "$scratch/images/$name".* "$scratch/raw"
done
echo

if [ -n "$levels" ]; then
  echo "cellport at each level (MDGRIDIO_ZSTD_LEVEL): wall s, processor s, file bytes, raw/file, zstd -T1's processor s"
  echo "| image        | level | wall s | cpu s | file bytes | raw/file | zstd -T1 cpu s |"
  echo "|--------------|------:|-------:|------:|-----------:|---------:|---------------:|"
  awk -v raw="$((size * size * 4))" '{ printf "| %-12s | %5d | %6.2f | %5.2f | %10d | %8.1f | %14.2f |\n", $1, $2, $3, $4, $5, raw / $5, $6 }' \
    "$scratch/levels"
  echo
fi

# Peak memory of cellport: the image's width, and 50000 columns, each over
# three rows of tiles.
printf '| %-14s | %12s |\n' columns "peak cellport"
echo "|---------------:|-------------:|"
for columns in "$size" 50000; do
  make_image byte packed runs 2000 0:255 255 "$columns" 600 "$scratch/images/wide"
  peak=$(measured "$cellport" "$scratch/images/wide" "$scratch/wide.tif" | awk '{ print $2 }')
  printf '| %14s | %8.1f MiB |\n' "$columns x 600" "$(awk -v k="$peak" 'BEGIN { print k / 1024 }')"
  rm -f "$scratch/images/wide".* "$scratch/wide.tif"
done
echo
echo "load after: $(cat /proc/loadavg)"
echo "bounds (land-cover and noise): wall within 1.2 x zstd -T2; at level 9, 1.8 x faster than the previous writer;"
echo "  every image: processor time within 1.1 x zstd -T1; at level 9, file within 1.02 x the previous writer's;"
echo "  cog: processor time within 1.5 x the plain .tif's, and faster than the two steps"
if [ "$size" -lt 6000 ]; then
  echo "bounds are judged at 6000 x 6000 and above"
elif [ ${#failed[@]} -eq 0 ]; then
  echo "bounds met"
else
  printf 'NOT met: %s\n' "${failed[@]}"
  $check && exit 1
fi
exit 0
