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
