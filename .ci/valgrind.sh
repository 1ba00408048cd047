#!/usr/bin/env bash
# One full conversion per layout under valgrind: no errors, no leaks.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
layouts=("byte binary" "byte packed" "integer binary" "integer packed" "real binary")
for layout in "${layouts[@]}"; do
  read -r type packing <<<"$layout"
  base="$work/$type-$packing"
  build/cellport-make-image --type "$type" --layout "$packing" --columns 300 --rows 200 \
    --pattern runs --flag 0 "$base"
  valgrind -q --error-exitcode=1 --leak-check=full --show-leak-kinds=all \
    --errors-for-leak-kinds=all build/cellport "$base" "$base-grid"
  test -f "$base-grid/cells.hdr"
  echo "valgrind: $layout: clean"
done

# The GeoTIFF writer's worker threads, plain and cloud-optimized, and the
# coordinate system module. Both modules stay loaded to the end, so what the
# loader keeps for them is still reachable; any other leak is an error.
if [ -f build/libmdgridio_geotiff.so ] && [ -f build/libmdgridio_srs.so ]; then
  base="$work/integer-binary"
  for cog in "" cog; do
    MDGRIDIO_THREADS=2 MDGRIDIO_GEOTIFF=$cog MDGRIDIO_SRS=EPSG:32633 \
      valgrind -q --error-exitcode=1 --leak-check=full \
      --show-leak-kinds=definite,indirect,possible --errors-for-leak-kinds=definite,indirect,possible \
      build/cellport "$base" "$base-grid${cog:+-$cog}.tif"
    test -s "$base-grid${cog:+-$cog}.tif"
    echo "valgrind: GeoTIFF ${cog:-plain} with a coordinate system: clean"
  done
fi
