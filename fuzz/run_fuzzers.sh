#!/usr/bin/env bash
# Builds the fuzz targets in BUILD_DIR and runs each for SECONDS (default 60)
# on a scratch copy of its seed corpus. Fails on any crash, leak or sanitizer
# report, keeping the failing input in BUILD_DIR/fuzz-artifacts.
#
#   fuzz/run_fuzzers.sh BUILD_DIR [SECONDS]      (or FUZZ_SECONDS=N)
set -euo pipefail
[[ $# -ge 1 ]] || { echo "usage: $0 BUILD_DIR [SECONDS]" >&2; exit 2; }
source_dir=$(cd "$(dirname "$0")/.." && pwd)
seconds=${2:-${FUZZ_SECONDS:-60}}
CC=clang CXX=clang++ cmake -S "$source_dir" -B "$1" -DCELLPORT_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$1" --target fuzz_image_header fuzz_image_data -j "$(nproc)" >/dev/null
build_dir=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failed=0
for kind in header data; do
    name=fuzz_image_$kind log=$scratch/$kind.log artifacts=$build_dir/fuzz-artifacts/fuzz_image_$kind/
    mkdir -p "$artifacts" "$scratch/$kind" && cp "$source_dir/fuzz/corpus/$kind/"* "$scratch/$kind/"
    # The readers' own messages go to stdout, closed here to keep the log legible.
    options=(-max_total_time="$seconds" -max_len=8192 -close_fd_mask=1 -print_final_stats=1
             -artifact_prefix="$artifacts")
    [[ $kind == header ]] && options+=(-dict="$source_dir/fuzz/image_header.dict")
    if "$build_dir/fuzz/$name" "${options[@]}" "$scratch/$kind" >"$log" 2>&1; then
        echo "$name: $(sed -n 's/^stat::number_of_executed_units: *//p' "$log") executions in ${seconds}s"
    else
        tail -n 60 "$log"
        echo "$name: FAILED, inputs kept in $artifacts" >&2
        failed=1
    fi
done
exit $failed
