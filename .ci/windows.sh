#!/usr/bin/env bash
# needs: cmake make libcli11-dev googletest g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 wine64
# Builds cellport for 32-bit and 64-bit Windows with MinGW-w64, warnings as
# errors, checks that both need nothing beyond what Windows has and packs
# each as a zip, checking its contents. Runs the 64-bit tests under Wine, then
# converts every example with the 64-bit cellport.exe and compares each grid
# with the Linux build's in build/ (made by the main CI step), one with
# the 64-bit zip's program and all of them, twice, with its cellport-batch.exe.
# This kernel runs no 32-bit programs: the 32-bit
# build is only built and packed.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
linux_build=${CELLPORT_LINUX_BUILD:-$repo/build}
win32_build=${CELLPORT_WIN32_BUILD:-$repo/build-win32}
win64_build=${CELLPORT_WIN64_BUILD:-$repo/build-win64}
jobs=${CELLPORT_JOBS:-2}
unset LD_LIBRARY_PATH

fail() {
  echo "windows check failed: $*" >&2
  exit 1
}

[ -x "$linux_build/cellport" ] || fail "no Linux build in $linux_build"
wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
[ -x "$wine64" ] || fail "wine64 is missing"

scratch=$(mktemp -d)
# A fresh Wine prefix of our own, without a display, Mono, Gecko or chatter.
export WINEPREFIX=$scratch/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine keeps Windows names in Linux ones through the locale's character set:
# without UTF-8 there, names such as 日本 cannot be made.
export LC_ALL=C.UTF-8
cleanup() {
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

# Builds with one toolchain and checks that cellport.exe, cellport-batch.exe
# and mdgridio.dll import only libraries that come with Windows.
build_for_windows() {
  local triplet=$1 toolchain=$2 build=$3
  echo "== Windows build with $triplet"
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/toolchains/$toolchain.cmake" \
    -DCELLPORT_WERROR=ON -DCMAKE_BUILD_TYPE=Release "${@:4}"
  cmake --build "$build" -j"$jobs"
  local file dll imports
  for file in cellport.exe cellport-batch.exe mdgridio.dll; do
    [ -f "$build/$file" ] || fail "$build lacks $file"
    imports=$("$triplet-objdump" -p "$build/$file" | sed -n 's/^\s*DLL Name: //p')
    echo "$file imports:" $imports
    for dll in $imports; do
      echo "$dll" | grep -qixE 'kernel32\.dll|msvcrt\.dll|advapi32\.dll|user32\.dll|shell32\.dll' ||
        fail "$build/$file needs $dll, which Windows does not have"
    done
  done
}

# Packs a build and unpacks its zip into $scratch/<system>: one folder
# cellport-<version>-<system>/ holding exactly the programs and README.txt and
# the grid library in standalone/, where it cannot hide the vendor's;
# README.txt with CR LF line ends.
pack_for_windows() {
  local build=$1 system=$2
  echo "== zip for $system"
  rm -f "$build"/cellport-*.zip
  (cd "$build" && cpack -G ZIP >/dev/null) || fail "cpack failed in $build"
  local zip
  zip=$(echo "$build"/cellport-*-"$system".zip)
  [ -f "$zip" ] || fail "cpack made no cellport-*-$system.zip in $build"
  local files
  files=$(cmake -E tar tf "$zip" | { grep -v '/$' || true; } | LC_ALL=C sort | tr '\n' ' ') ||
    fail "cannot list $zip"
  local top
  top=$(basename "$zip" .zip)
  [ "$files" = "$top/README.txt $top/cellport-batch.exe $top/cellport.exe $top/standalone/mdgridio.dll " ] ||
    fail "$zip holds $files"
  mkdir -p "$scratch/unpacked-$system"
  (cd "$scratch/unpacked-$system" && cmake -E tar xf "$zip") || fail "cannot unpack $zip"
  [ "$(ls -A "$scratch/unpacked-$system")" = "$top" ] || fail "$zip unpacks into more than $top/"
  ln -s "unpacked-$system/$top" "$scratch/$system"
  local readme=$scratch/$system/README.txt
  [ -s "$readme" ] && ! grep -qv $'\r$' "$readme" && [ -z "$(tail -c 1 "$readme" | tr -d '\n')" ] ||
    fail "README.txt in $zip does not end every line with CR LF"
  echo "$(basename "$zip"): $files"
}

build_for_windows i686-w64-mingw32 mingw-w64-i686 "$win32_build"
pack_for_windows "$win32_build" win32
# The 64-bit tests check that the 32-bit grid library is passed over.
build_for_windows x86_64-w64-mingw32 mingw-w64-x86_64 "$win64_build" \
  -DCELLPORT_OTHER_MACHINE_LIBRARY="$win32_build/mdgridio.dll"
pack_for_windows "$win64_build" win64

echo "== 64-bit tests under Wine"
# Wine keeps its server's socket folder under TMPDIR: here, in the scratch.
export TMPDIR=$scratch/tmp
mkdir -p "$WINEPREFIX" "$TMPDIR"
# One server for every run, instead of one started and stopped per test.
"$wineserver" -p
"$wine64" wineboot --init 2>/dev/null || fail "Wine could not set up its prefix"
ctest --test-dir "$win64_build" --output-on-failure -j"$jobs"

echo "== examples: Windows grids against Linux grids"
shopt -s nullglob
headers=("$repo"/examples/*.doc)
shopt -u nullglob
[ ${#headers[@]} -gt 0 ] || fail "no example images in examples/"
mkdir -p "$scratch/linux" "$scratch/windows"
for header in "${headers[@]}"; do
  name=$(basename "$header" .doc)
  output=$("$linux_build/cellport" "$repo/examples/$name" "$scratch/linux/$name") ||
    fail "Linux cellport could not convert $name: $output"
  # Wine shows this system's root folder as drive Z:.
  output=$("$wine64" "$win64_build/cellport.exe" "Z:$repo/examples/$name" "Z:$scratch/windows/$name") ||
    fail "cellport.exe could not convert $name: $output"
  [ -z "$output" ] || fail "cellport.exe printed for $name: $output"
  cmp "$scratch/linux/$name/cells.raw" "$scratch/windows/$name/cells.raw" ||
    fail "$name: the cells differ"
  diff "$scratch/linux/$name/cells.hdr" "$scratch/windows/$name/cells.hdr" ||
    fail "$name: the headers differ"
  echo "$name: same grid"
done

echo "== the 64-bit zip's program, its library copied beside it as README.txt says"
cp "$scratch/win64/standalone/mdgridio.dll" "$scratch/win64/"
mkdir -p "$scratch/zip-run"
name=$(basename "${headers[0]}" .doc)
output=$(cd "$scratch/zip-run" && "$wine64" "$scratch/win64/cellport.exe" "Z:$repo/examples/$name" "$name") ||
  fail "the zip's cellport.exe could not convert $name: $output"
cmp "$scratch/linux/$name/cells.raw" "$scratch/zip-run/$name/cells.raw" || fail "zip, $name: the cells differ"
echo "$name: same grid"

echo "== the 64-bit zip's cellport-batch.exe over the examples, then a rerun"
for run in first rerun; do
  output=$(cd "$scratch/zip-run" && "$wine64" "$scratch/win64/cellport-batch.exe" --quiet --log log.txt \
    "Z:$repo/examples" batch 2>&1) || fail "the zip's cellport-batch.exe failed ($run): $output"
done
for header in "${headers[@]}"; do
  name=$(basename "$header" .doc)
  cmp "$scratch/linux/$name/cells.raw" "$scratch/zip-run/batch/$name/cells.raw" ||
    fail "zip batch, $name: the cells differ"
  grep -q "	kept	" <(grep -F "$name" "$scratch/zip-run/log.txt") || fail "zip batch rerun: $name not kept"
done
echo "every example: same grid, kept on the rerun"
