#!/usr/bin/env bash
# needs: cmake g++ make
# The converter and its grid library configure and build as if CLI11,
# libtiff, libzstd, PROJ and GoogleTest were not installed, as on a machine with only cmake, g++
# and make; what needs them is left out with a message.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-minimal
rm -rf "$build"
log=$(cmake -S . -B "$build" -DCMAKE_DISABLE_FIND_PACKAGE_CLI11=ON -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
  -DCMAKE_DISABLE_FIND_PACKAGE_TIFF=ON -DCMAKE_DISABLE_FIND_PACKAGE_zstd=ON -DCMAKE_DISABLE_FIND_PACKAGE_PkgConfig=ON \
  -DCMAKE_DISABLE_FIND_PACKAGE_PROJ=ON)
echo "$log"
grep -q "CLI11 not found" <<<"$log" || { echo "no message about CLI11" >&2; exit 1; }
grep -q "GoogleTest not found" <<<"$log" || { echo "no message about GoogleTest" >&2; exit 1; }
grep -q "libtiff or libzstd not found" <<<"$log" || { echo "no message about libtiff and libzstd" >&2; exit 1; }
grep -q "PROJ not found" <<<"$log" || { echo "no message about PROJ" >&2; exit 1; }
cmake --build "$build"
for built in cellport libmdgridio.so; do
  [ -f "$build/$built" ] || { echo "$build lacks $built" >&2; exit 1; }
done
for left_out in cellport-batch cellport-make-image; do
  [ ! -e "$build/$left_out" ] || { echo "$build has $left_out without CLI11" >&2; exit 1; }
done
"$build/cellport" examples/landuse "$build/landuse"
# Without the GeoTIFF module a GeoTIFF grid is refused, and nothing is left under its name.
if "$build/cellport" examples/landuse "$build/landuse.tif"; then echo "a .tif grid made without the GeoTIFF module" >&2; exit 1; fi
[ ! -e "$build/landuse.tif" ] && [ ! -e "$build/landuse.tif.partial" ] || { echo "a refused .tif left files" >&2; exit 1; }
# Without the coordinate system module a grid given one is refused, and nothing is left.
if MDGRIDIO_SRS=EPSG:32633 "$build/cellport" examples/landuse "$build/landuse-utm"; then
  echo "a grid given a coordinate system made without the module" >&2; exit 1
fi
[ ! -e "$build/landuse-utm" ] || { echo "a refused grid left files" >&2; exit 1; }
echo "minimal build: cellport and its grid library, without CLI11, libtiff, libzstd, PROJ and GoogleTest"
