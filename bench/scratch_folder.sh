# Sourced by the benchmark scripts: makes a scratch folder named after $1
# in $scratch_parent (memory, /dev/shm, unless the caller chose one), sets
# $scratch_parent and $scratch, and removes the folder when the script ends.
make_scratch_folder() {
  if [ -z "$scratch_parent" ]; then
    if [ -d /dev/shm ] && [ -w /dev/shm ]; then scratch_parent=/dev/shm; else scratch_parent=${TMPDIR:-/tmp}; fi
  fi
  scratch=$(mktemp -d "$scratch_parent/$1.XXXXXX")
  trap 'rm -rf "$scratch"' EXIT
}
