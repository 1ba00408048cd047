#!/usr/bin/env bash
# Times cellport-batch -j 2 against the same conversions started by
# xargs -0 -n 2 -P 2 cellport over a ready list (grid folders made
# beforehand), taking turns run by run, on many tiny images, where the
# batch's own work per image shows most.
#
#   bench/batch_benchmark.sh [--images N] [--runs R] [--scratch DIR] [BUILD_DIR]
#
# BUILD_DIR (default: build) holds cellport, cellport-batch and
# cellport-make-image; nothing is built here.
set -euo pipefail
shopt -s inherit_errexit

usage() {
  echo "usage: $0 [--images N] [--runs R] [--scratch DIR] [BUILD_DIR]" >&2
  echo "  --images   images of 4 x 3 cells, 100 to a folder (default 2000)" >&2
  echo "  --runs     timed runs of each after one warm-up (default 5)" >&2
  echo "  --scratch  folder for images and grids (default /dev/shm if writable, else TMPDIR)" >&2
  exit 2
}

images=2000
runs=5
scratch_parent=
build=build
while [ $# -gt 0 ]; do
  case $1 in
    --images) [ $# -ge 2 ] || usage; images=$2; shift 2 ;;
    --runs) [ $# -ge 2 ] || usage; runs=$2; shift 2 ;;
    --scratch) [ $# -ge 2 ] || usage; scratch_parent=$2; shift 2 ;;
    -*) usage ;;
    *) build=$1; shift ;;
  esac
done
[[ $images =~ ^[0-9]+$ && $images -ge 1 ]] || { echo "--images: a whole number of 1 or more" >&2; exit 2; }
[[ $runs =~ ^[0-9]+$ && $runs -ge 1 ]] || { echo "--runs: a whole number of 1 or more" >&2; exit 2; }

build=$(cd "$build" && pwd)
for program in cellport cellport-batch cellport-make-image; do
  [ -x "$build/$program" ] || { echo "missing $build/$program: build it first" >&2; exit 1; }
done
. "$(dirname "$0")/scratch_folder.sh"
make_scratch_folder cellport-batch-bench
unset LD_LIBRARY_PATH

echo "making $images images of 4 x 3 cells in $scratch"
"$build/cellport-make-image" --type byte --columns 4 --rows 3 --pattern noise "$scratch/one"
list=$scratch/list
: >"$list"
for ((image = 0; image < images; image++)); do
  folder=$(printf 'f%03d' $((image / 100)))
  mkdir -p "$scratch/images/$folder"
  cp "$scratch/one.doc" "$scratch/images/$folder/$image.doc"
  cp "$scratch/one.img" "$scratch/images/$folder/$image.img"
  printf '%s\0%s\0' "$scratch/images/$folder/$image" "$scratch/xargs-grids/$folder/$image" >>"$list"
done
folders=$(cd "$scratch/images" && ls)

run_batch() {
  "$build/cellport-batch" -j 2 --quiet "$scratch/images" "$scratch/batch-grids"
}
run_xargs() {
  xargs -0 -n 2 -P 2 "$build/cellport" <"$list"
}
# Seconds one run takes, its grids removed and its grid folders (for xargs)
# made beforehand.
timed() {
  local which=$1
  rm -rf "$scratch/$which-grids"
  mkdir -p "$scratch/$which-grids"
  if [ "$which" = xargs ]; then
    for folder in $folders; do mkdir "$scratch/xargs-grids/$folder"; done
  fi
  local start=$EPOCHREALTIME
  "run_$which" || { echo "$which failed" >&2; exit 1; }
  local end=$EPOCHREALTIME
  echo "$start $end" | awk '{ printf "%.3f\n", $2 - $1 }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

timed batch >/dev/null
timed xargs >/dev/null
batch_times=() xargs_times=()
for ((run = 1; run <= runs; run++)); do
  if ((run % 2)); then
    batch_times+=("$(timed batch)"); xargs_times+=("$(timed xargs)")
  else
    xargs_times+=("$(timed xargs)"); batch_times+=("$(timed batch)")
  fi
done
converted=$(find "$scratch/batch-grids" -name cells.hdr | wc -l)
[ "$converted" -eq "$images" ] || { echo "cellport-batch made $converted grids of $images" >&2; exit 1; }

batch_median=$(printf '%s\n' "${batch_times[@]}" | median)
xargs_median=$(printf '%s\n' "${xargs_times[@]}" | median)
echo
echo "$images images of 4 x 3 cells, median of $runs runs, seconds"
printf '%-36s %8s   %s\n' "cellport-batch -j 2" "$batch_median" "${batch_times[*]}"
printf '%-36s %8s   %s\n' "xargs -0 -n 2 -P 2 cellport" "$xargs_median" "${xargs_times[*]}"
awk -v b="$batch_median" -v x="$xargs_median" 'BEGIN { printf "ratio batch / xargs: %.3f\n", b / x }'
