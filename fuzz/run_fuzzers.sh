#!/usr/bin/env bash
# Builds the fuzz targets in BUILD_DIR and runs each one for SECONDS on a
# scratch copy of its seed corpus. Exits non-zero on any crash, leak or
# sanitizer report; inputs that fail are kept in BUILD_DIR/fuzz-artifacts.
#
#   fuzz/run_fuzzers.sh BUILD_DIR [SECONDS]      (or FUZZ_SECONDS=N)
set -euo pipefail

if [[ $# -lt 1 ]]; then
    echo "usage: $0 BUILD_DIR [SECONDS]" >&2
    exit 2
fi
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$1
seconds=${2:-${FUZZ_SECONDS:-60}}

CC=clang CXX=clang++ cmake -S "$source_dir" -B "$build_dir" -DCELLPORT_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build_dir" --target fuzz_image_header fuzz_image_data -j "$(nproc)" >/dev/null
build_dir=$(cd "$build_dir" && pwd)

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# run_target NAME CORPUS_SUBDIR [LIBFUZZER_OPTIONS...]
run_target() {
    local name=$1 corpus=$2
    shift 2
    local artifacts=$build_dir/fuzz-artifacts/$name
    mkdir -p "$artifacts" "$scratch/$name"
    cp "$source_dir/fuzz/corpus/$corpus/"* "$scratch/$name/"
    local status=0
    "$build_dir/fuzz/$name" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$artifacts/" "$@" "$scratch/$name" >"$scratch/$name.log" 2>&1 || status=$?
    local runs rate
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$scratch/$name.log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$scratch/$name.log")
    if [[ $status -ne 0 ]]; then
        tail -n 60 "$scratch/$name.log"
        echo "$name: FAILED (exit $status), inputs kept in $artifacts" >&2
        return 1
    fi
    echo "$name: ${runs:-?} executions in ${seconds}s (${rate:-?}/s)"
}

failed=0
run_target fuzz_image_header header -dict="$source_dir/fuzz/image_header.dict" -max_len=8192 || failed=1
run_target fuzz_image_data data -max_len=8192 || failed=1
exit $failed
