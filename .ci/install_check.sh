#!/usr/bin/env bash
# needs: binutils dpkg-dev file groff-base man-db
# Installs the build in build/ and checks what a user gets: the installed
# cellport converts exactly as the build tree's, from any working folder and
# after the installed tree is moved, finds its grid library only where it
# should, and the manual page and the Debian package are sound.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
build=$repo/build
unset LD_LIBRARY_PATH

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
  echo "install check failed: $*" >&2
  exit 1
}

[ -x "$build/cellport" ] || fail "no build in $build"
shopt -s nullglob
headers=("$repo"/examples/*.doc)
shopt -u nullglob
[ ${#headers[@]} -gt 0 ] || fail "no example images in examples/"
examples=()
for header in "${headers[@]}"; do examples+=("$(basename "$header" .doc)"); done

runpath_of() {
  readelf -d "$1" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]$/\1/p'
}

# Converts every example with the given cellport, run from the given working
# folder, into grids under the given folder.
convert_examples() {
  local program=$1 work=$2 grids=$3
  mkdir -p "$work" "$grids"
  for name in "${examples[@]}"; do
    local output
    output=$(cd "$work" && "$program" "$repo/examples/$name" "$grids/$name") ||
      fail "$program could not convert $name: $output"
  done
}

same_grids() {
  local grids=$1 what=$2
  for name in "${examples[@]}"; do
    for file in cells.raw cells.hdr; do
      cmp -s "$scratch/reference/$name/$file" "$grids/$name/$file" ||
        fail "$what: $name/$file differs from the build tree's"
    done
  done
}

echo "== build tree RUNPATH"
[ "$(runpath_of "$build/cellport")" = "\$ORIGIN" ] ||
  fail "build tree cellport has RUNPATH '$(runpath_of "$build/cellport")', not \$ORIGIN"
convert_examples "$build/cellport" "$repo" "$scratch/reference"

echo "== cmake --install"
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix"
for file in bin/cellport bin/cellport-batch lib/cellport/libmdgridio.so lib/cellport/libmdgridio_geotiff.so \
  lib/cellport/libmdgridio_srs.so share/man/man1/cellport.1 share/man/man1/cellport-batch.1; do
  [ -f "$prefix/$file" ] || fail "install lacks $file"
done
(cd "$scratch" && "$prefix/bin/cellport" "$repo/examples/landuse" installed.tif && gdalinfo installed.tif >/dev/null) ||
  fail "the installed cellport cannot write a GeoTIFF grid"
(cd "$scratch" && MDGRIDIO_SRS=EPSG:32633 "$prefix/bin/cellport" "$repo/examples/landuse" installed-utm &&
  grep -q '^map info = {UTM, .*, 33, North, WGS-84}$' installed-utm/cells.hdr) ||
  fail "the installed cellport cannot give a grid a coordinate system"
# RUNPATH, not RPATH: LD_LIBRARY_PATH must still come first.
readelf -d "$prefix/bin/cellport" | grep -q '(RPATH)' && fail "installed cellport has an RPATH"
[ "$(runpath_of "$prefix/bin/cellport")" = "\$ORIGIN/../lib/cellport" ] ||
  fail "installed cellport has RUNPATH '$(runpath_of "$prefix/bin/cellport")'"

convert_examples "$prefix/bin/cellport" "$scratch/elsewhere" "$scratch/installed"
same_grids "$scratch/installed" "installed cellport"

echo "== moved install"
moved=$scratch/moved/tree
mkdir -p "$scratch/moved"
mv "$prefix" "$moved"
convert_examples "$moved/bin/cellport" "$scratch/elsewhere-2" "$scratch/moved-grids"
same_grids "$scratch/moved-grids" "moved cellport"

echo "== moved cellport-batch, with no cellport on PATH"
batch_output=$(cd "$scratch/elsewhere" && PATH=/usr/bin:/bin "$moved/bin/cellport-batch" --quiet "$repo/examples" "$scratch/batch-grids" 2>&1) ||
  fail "installed cellport-batch failed: $batch_output"
same_grids "$scratch/batch-grids" "installed cellport-batch"

echo "== library search"
# A library that only leaves a mark shows which one the loader took.
mkdir -p "$scratch/stand-in" "$scratch/marked"
c++ -shared -fPIC -x c++ - -o "$scratch/stand-in/libmdgridio.so" <<'EOF'
#include <cstdio>
extern "C" int GridIOSetup() {
    if (std::FILE* mark = std::fopen("stand-in-loaded", "w")) std::fclose(mark);
    return 0;
}
EOF
(cd "$scratch/marked" &&
  LD_LIBRARY_PATH="$scratch/stand-in" "$moved/bin/cellport" "$repo/examples/${examples[0]}" grid >/dev/null) || true
[ -f "$scratch/marked/stand-in-loaded" ] ||
  fail "LD_LIBRARY_PATH does not come before the installed library"

# Without its library, the installed cellport must not take one from the
# working folder.
rm "$moved/lib/cellport/libmdgridio.so"
mkdir -p "$scratch/with-library"
cp "$build/libmdgridio.so" "$scratch/with-library/"
status=0
output=$(cd "$scratch/with-library" && "$moved/bin/cellport" "$repo/examples/${examples[0]}" grid) || status=$?
if [ "$status" -ne 1 ] || [[ $output != "Could not load MDGRIDIO.DLL"* ]]; then
  fail "without its library, cellport gave status $status: $output"
fi

echo "== manual page"
for page in cellport.1 cellport-batch.1; do
  warnings=$(man --warnings -l "$repo/docs/$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "manual page $page warnings: $warnings"
done

echo "== Debian package"
rm -f "$build"/cellport_*.deb
(cd "$build" && cpack -G DEB)
packages=("$build"/cellport_*.deb)
[ ${#packages[@]} -eq 1 ] || fail "expected one package, found ${packages[*]}"
package=${packages[0]}
dpkg-deb -I "$package"
contents=$(dpkg-deb -c "$package")
echo "$contents"
for file in ./usr/bin/cellport ./usr/bin/cellport-batch ./usr/lib/cellport/libmdgridio.so \
  ./usr/lib/cellport/libmdgridio_geotiff.so ./usr/lib/cellport/libmdgridio_srs.so ./usr/share/man/man1/cellport.1.gz ./usr/share/man/man1/cellport-batch.1.gz; do
  grep -q " $file\$" <<<"$contents" || fail "package lacks $file"
done

field() { dpkg-deb -f "$package" "$1"; }
[ "$(field Package)" = cellport ] || fail "package name $(field Package)"
[ "$(field Section)" = science ] || fail "section $(field Section)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture $(field Architecture)"
version=$(sed -n 's/^project(cellport VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[[ $(field Version) == "$version"-* ]] || fail "version $(field Version), project $version"
depends=$(field Depends)
[ -n "$depends" ] || fail "package has no Depends line"
while IFS= read -r dependency; do
  name=$(sed 's/^ *//; s/[ (].*//' <<<"$dependency")
  case $name in
    libc6 | libstdc++6 | libgcc-s1) ;;
    libtiff[0-9]* | libzstd[0-9]*) ;;  # the GeoTIFF module's
    libproj[0-9]*) ;;                  # the coordinate system module's
    *) fail "package depends on $name: $depends" ;;
  esac
done < <(tr ',|' '\n' <<<"$depends")
for library in libtiff libzstd libproj; do
  grep -q "$library[0-9]" <<<"$depends" || fail "package does not depend on $library, which a module links: $depends"
done

# The packed program and library, stripped, still convert exactly.
dpkg-deb -x "$package" "$scratch/unpacked"
convert_examples "$scratch/unpacked/usr/bin/cellport" "$scratch/elsewhere-3" "$scratch/unpacked-grids"
same_grids "$scratch/unpacked-grids" "packaged cellport"

echo "install check: ${#examples[@]} examples, all checks passed"
