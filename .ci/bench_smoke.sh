#!/usr/bin/env bash
# needs: cmake g++ make libcli11-dev libtiff-dev libzstd-dev gdal-bin libgdal-dev zstd
# Builds a Release tree of its own and runs the benchmark once at the small
# size, so that it keeps working; its timings are not judged.
set -euo pipefail
cd "$(dirname "$0")/.."
build="build-bench-smoke"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
cmake --build "$build" -j2
bench/run_benchmark.sh --size small --runs 1 "$build"
bench/geotiff_benchmark.sh --size small --runs 1 "$build"
